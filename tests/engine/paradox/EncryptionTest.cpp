// Password checksums, block scrambling and the password dialogue of protected tables.
#include <gtest/gtest.h>

#include "Encryption.h"
#include "Errors.h"
#include "ParadoxTestSupport.h"
#include "TestSupport.h"

namespace kx4::test {
namespace {

struct ChecksumCase {
    const char* password;
    std::uint32_t checksum;
};

class Checksum : public ::testing::TestWithParam<ChecksumCase> {};

TEST_P(Checksum, MatchesKnownValue) {
    EXPECT_EQ(paradox::passwordChecksum(GetParam().password), GetParam().checksum);
}

// "123" and "rparadox" protect real tables; the others are published derivations.
INSTANTIATE_TEST_SUITE_P(
    Paradox, Checksum,
    ::testing::Values(ChecksumCase{"123", 0x0A25E09A}, ChecksumCase{"rparadox", 0x8848F16E},
                      ChecksumCase{"A", 0x2B0496B0}, ChecksumCase{"Paradox", 0x06D1CC58},
                      ChecksumCase{"0123456789", 0x93C9E5D2}, ChecksumCase{"", 0}));

TEST(BlockScrambling, DecryptUndoesEncryptAndDependsOnBlockNumber) {
    std::vector<std::uint8_t> plain(2048);
    for (std::size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<std::uint8_t>(i * 7);
    auto a = plain, b = plain;
    paradox::encryptBlock(0x8848F16E, 1, a.data(), a.size());
    paradox::encryptBlock(0x8848F16E, 2, b.data(), b.size());
    EXPECT_NE(a, plain);
    EXPECT_NE(a, b);
    paradox::decryptBlock(0x8848F16E, 1, a.data(), a.size());
    EXPECT_EQ(a, plain);
}

TEST(ProtectedTable, ReadsLikeItsPlainTwin) {
    KX4_SKIP_WITHOUT_CORPUS();
    TempDir dir;
    const auto plainPath = copyCorpusTable("paradox/rparadox/TypSammlung.DB", dir.path());
    const auto securePath =
        copyCorpusTable("paradox/rparadox/TypSammlung_encrypted.DB", dir.path());
    ScriptedPasswords passwords({"rparadox"});
    auto plain = openParadox(plainPath);
    auto secure = openParadox(securePath, false, &passwords);
    EXPECT_TRUE(secure->info().encrypted);
    EXPECT_EQ(readAll(*secure), readAll(*plain));
}

struct PromptCase {
    const char* label;
    std::vector<std::string> session;
    std::vector<std::optional<std::string>> answers;
    bool opens;
    int prompts;
};

class PasswordPrompt : public ::testing::TestWithParam<PromptCase> {};

TEST_P(PasswordPrompt, AsksOnlyWhenTheSessionLacksThePassword) {
    KX4_SKIP_WITHOUT_CORPUS();
    const auto& c = GetParam();
    TempDir dir;
    const auto path = copyCorpusTable("paradox/rparadox/empty_encrypted.db", dir.path());
    const std::string before = directorySnapshot(dir.path());
    ScriptedPasswords passwords(c.session, c.answers);
    if (c.opens) {
        EXPECT_NO_THROW(openParadox(path, true, &passwords));
    } else {
        try {
            openParadox(path, true, &passwords);
            FAIL() << "opened";
        } catch (const EDBEngineError& e) {
            EXPECT_EQ(e.errorCode(), DBIERR_INVALIDPASSWORD);
            EXPECT_NE(std::string(e.what()).find("empty_encrypted.db"), std::string::npos);
        }
    }
    EXPECT_EQ(passwords.asked, c.prompts);
    EXPECT_EQ(directorySnapshot(dir.path()), before);
}

INSTANTIATE_TEST_SUITE_P(
    Paradox, PasswordPrompt,
    ::testing::Values(PromptCase{"in_session", {"other", "rparadox"}, {}, true, 0},
                      PromptCase{"answered", {"other"}, {"rparadox"}, true, 1},
                      PromptCase{"declined", {}, {std::nullopt}, false, 1},
                      PromptCase{"wrong_three_times", {}, {"a", "b", "c", "rparadox"}, false, 3},
                      PromptCase{"case_matters", {"RPARADOX"}, {std::nullopt}, false, 1}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace kx4::test
