// Every corpus table opens and reads, and its values agree with dbfread.
#include <gtest/gtest.h>

#include "engine/core/Errors.h"
#include "engine/core/FieldType.h"
#include "engine/dbase/DbaseProperties.h"
#include "tests/engine/dbase/DbaseTestSupport.h"
#include "tests/support/PositionCheck.h"

namespace kx4::test {
namespace {

class CorpusTable : public ::testing::TestWithParam<std::string> {};

std::string testName(const ::testing::TestParamInfo<std::string>& info) {
    std::string name = info.param;
    for (auto& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

// Tables that cannot be read by design, with the error they give.
DBIResult expectedRefusal(const std::string& relative) {
    if (relative.ends_with("dbase_02.dbf")) return DBIERR_NOTSUPPORTED;  // dBase II
    return DBIERR_NONE;
}

// dbfread does not know the level-7 header, nor a header without its end marker.
bool dbfreadUnderstands(const TableFile& table, const std::string& relative) {
    return table.info().version != 7 && !relative.ends_with("no_header_record_terminator.dbf");
}

// dbfread reads a dBase IV memo 8 bytes too long and cuts it at the first 0x1F.
bool sameIVMemo(const std::string& ours, const std::string& theirs) {
    const std::string head = ours.substr(0, ours.find('\x1f'));
    return theirs.rfind(head, 0) == 0 && theirs.size() <= ours.size() + 8 * 2;
}

TEST_P(CorpusTable, OpensAndAgreesWithDbfread) {
    KX4_SKIP_WITHOUT_CORPUS(GetParam());
    TempDir dir;
    const std::string path = copyCorpusTable(GetParam(), dir.path());
    if (const DBIResult refusal = expectedRefusal(GetParam())) {
        try {
            openDbase(path);
            FAIL() << "opened a table that should be refused";
        } catch (const EDBEngineError& e) {
            EXPECT_EQ(e.errorCode(), refusal) << e.what();
            EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
        }
        return;
    }
    auto table = openDbase(path);
    std::vector<Record> records;
    try {
        records = readAll(*table->scan());
    } catch (const EDBEngineError& e) {
        // Only a missing memo file may stop reading, and it is named.
        ASSERT_NE(std::string(e.what()).find("memo file"), std::string::npos) << e.what();
        return;
    }
    EXPECT_EQ(records.size(), table->info().recordCount);
    for (const auto& r : records) ASSERT_EQ(r.size(), table->schema().fields.size());
    expectPositionsAgreeWithCursors(*table);
    if (!dbfreadUnderstands(*table, GetParam())) return;

    const auto theirs = dbfreadRecords(path, table->info().codePage);
    if (theirs.size() == 1 && theirs[0].size() == 1 && theirs[0][0].starts_with("UNSUPPORTED"))
        return;
    // dbfread reads dBase IV memos in 512-byte blocks whatever the memo file says.
    const int blockSize =
        std::static_pointer_cast<const dbase::DbaseProperties>(table->properties())->memoBlockSize;
    ASSERT_EQ(theirs.size(), records.size());
    for (std::size_t r = 0; r < records.size(); ++r) {
        ASSERT_EQ(theirs[r].size(), records[r].size()) << "record " << r + 1;
        for (std::size_t f = 0; f < records[r].size(); ++f) {
            if (theirs[r][f] == "!") continue;  // dbfread could not parse the value
            const std::string ours = dumpValue(records[r][f]);
            const FieldDef& def = table->schema().fields[f];
            const bool ivMemo = table->info().version == 4 && def.logicalType == fldBLOB;
            if (ivMemo && (sameIVMemo(ours, theirs[r][f]) || blockSize != 512)) continue;
            EXPECT_TRUE(sameDumpedValue(ours, theirs[r][f]))
                << "record " << r + 1 << ", field " << table->schema().fields[f].name << ": ours "
                << ours << ", dbfread " << theirs[r][f];
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusTable, ::testing::ValuesIn(corpusTables("dbase", {".DBF"})),
                         testName);

}  // namespace
}  // namespace kx4::test
