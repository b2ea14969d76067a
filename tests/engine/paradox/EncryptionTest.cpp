// Password checksums, block scrambling and the password dialogue of protected tables.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/core/Errors.h"
#include "engine/core/FileSystem.h"
#include "engine/paradox/Encryption.h"
#include "engine/paradox/ParadoxProperties.h"
#include "tests/engine/paradox/ParadoxTestSupport.h"
#include "tests/support/FaultyFileSystem.h"
#include "tests/support/TestSupport.h"

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
    for (std::size_t i = 0; i < passwords.toldWrong.size(); ++i)
        EXPECT_EQ(passwords.toldWrong[i], i > 0) << "prompt " << i;
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

// Forwards to the real file system and, before a sort's scratch file is removed, notes whether
// it holds a text in plain bytes.
class SpillWatcher : public ForwardingFileSystem {
  public:
    explicit SpillWatcher(std::string text) : text_(std::move(text)) {}
    std::uint64_t spilledBytes = 0;
    bool textSeen = false;

    void remove(const std::string& path) override {
        if (path.find(".sort") != std::string::npos && realFileSystem().exists(path)) {
            const auto bytes = readFileBytes(path);
            spilledBytes += bytes.size();
            textSeen = textSeen || std::search(bytes.begin(), bytes.end(), text_.begin(),
                                               text_.end()) != bytes.end();
        }
        realFileSystem().remove(path);
    }

  private:
    std::string text_;
};

// Records arriving out of key order with two secondary indexes over long texts: the sorts of
// the records and of both indexes spill to scratch files.
class SortSpills : public ::testing::TestWithParam<bool> {};

TEST_P(SortSpills, HoldTheKeysOfAProtectedTableOnlyEncrypted) {
    const bool protectedTable = GetParam();
    const std::string secret = "Kontoinhaber-";
    TempDir dir;
    TableSchema schema;
    schema.fields = {field("Nr", TFieldType::ftInteger),
                     field("Inhaber", TFieldType::ftString, 250),
                     field("Anschrift", TFieldType::ftString, 250)};
    schema.indexes = {primaryKey("Nr"), indexOn("Inhaber", "Inhaber"),
                      indexOn("Anschrift", "Anschrift")};
    std::vector<Record> rows;
    for (std::int64_t i = 0; i < 26000; ++i) {
        const std::int64_t nr = (i * 7919) % 26000 + 1;
        rows.push_back({nr, secret + std::to_string(nr) + std::string(200, 'x'),
                        secret + std::to_string(nr * 3) + std::string(200, 'y')});
    }
    auto props = std::make_shared<paradox::ParadoxProperties>();
    if (protectedTable) props->encryption = paradox::passwordChecksum("kx4");
    SpillWatcher watcher(secret);
    writeParadox(dir.file("KONTEN.DB"), schema, rows, props, watcher);
    EXPECT_GT(watcher.spilledBytes, 3u * 6 * 1024 * 1024);
    EXPECT_EQ(watcher.textSeen, !protectedTable);
    ScriptedPasswords passwords({"kx4"});
    auto table = openParadox(dir.file("KONTEN.DB"), false, &passwords);
    for (const auto& problem : table->check()) ADD_FAILURE() << problem;
}

INSTANTIATE_TEST_SUITE_P(Tables, SortSpills, ::testing::Bool(), [](const auto& info) {
    return std::string(info.param ? "Protected" : "Plain");
});

}  // namespace
}  // namespace kx4::test
