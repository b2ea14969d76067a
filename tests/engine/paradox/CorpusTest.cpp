// Every real Paradox table of the corpus opens, reads completely and agrees with pxlib.
#include <gtest/gtest.h>

#include "engine/core/Errors.h"
#include "engine/core/MemoSalvage.h"
#include "tests/engine/paradox/ParadoxTestSupport.h"
#include "tests/engine/paradox/PxlibReader.h"
#include "tests/support/PositionCheck.h"
#include "tests/support/TestSupport.h"

namespace kx4::test {
namespace {

// Passwords of the protected corpus tables ("123" derives the checksum 0x0A25E09A).
ScriptedPasswords corpusPasswords() { return ScriptedPasswords({"123", "rparadox"}); }

class CorpusTable : public ::testing::TestWithParam<std::string> {};

TEST_P(CorpusTable, ReadsEveryRecordAsPxlibDoes) {
    KX4_SKIP_WITHOUT_CORPUS(GetParam());
    TempDir dir;
    const std::string path = copyCorpusTable(GetParam(), dir.path());
    auto passwords = corpusPasswords();
    auto table = openParadox(path, false, &passwords);
    // Blobs are not compared; some tables were published without their .MB.
    MemoSalvage salvage;
    const auto records = readAll(*table);
    EXPECT_EQ(records.size(), table->info().recordCount);

    const PxlibTable px = readWithPxlib(path);
    ASSERT_EQ(px.records.size(), records.size()) << px.error;
    ASSERT_EQ(px.fieldNames.size(), table->schema().fields.size());
    for (std::size_t r = 0; r < records.size(); ++r) {
        for (std::size_t f = 0; f < px.fieldNames.size(); ++f) {
            if (px.records[r][f] == "<blob>") continue;
            // pxlib prints BCD nibbles as they are, without the inversion of negative values.
            if (px.fieldTypes[f] == 0x17 &&
                px.records[r][f].find_first_not_of("-.0123456789") != std::string::npos)
                continue;
            // Without a code page in the header pxlib leaves text unconverted.
            if (px.fieldTypes[f] == 0x01 && px.codePage == 0) continue;
            EXPECT_EQ(canonical(records[r][f]), px.records[r][f])
                << "record " << r + 1 << ", field " << px.fieldNames[f];
        }
    }
}

TEST_P(CorpusTable, ReadsByPositionAndIndexOrderAsTheCursorsDo) {
    KX4_SKIP_WITHOUT_CORPUS(GetParam());
    TempDir dir;
    const std::string path = copyCorpusTable(GetParam(), dir.path());
    auto passwords = corpusPasswords();
    auto table = openParadox(path, false, &passwords);
    MemoSalvage salvage;  // some tables were published without their .MB
    expectPositionsAgreeWithCursors(*table);
}

// Companions some corpus tables were published without.
bool missingInCorpus(const std::string& problem) {
    return problem.find("is missing") != std::string::npos;
}

TEST_P(CorpusTable, ChecksCleanApartFromMissingCompanions) {
    KX4_SKIP_WITHOUT_CORPUS(GetParam());
    TempDir dir;
    const std::string path = copyCorpusTable(GetParam(), dir.path());
    auto passwords = corpusPasswords();
    auto table = openParadox(path, false, &passwords);
    for (const auto& problem : table->check())
        if (!missingInCorpus(problem)) ADD_FAILURE() << problem;
}

std::string testName(const ::testing::TestParamInfo<std::string>& info) {
    std::string name;
    for (char c : info.param) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Paradox, CorpusTable,
                         ::testing::ValuesIn(corpusTables("paradox", {".DB"})), testName);

}  // namespace
}  // namespace kx4::test
