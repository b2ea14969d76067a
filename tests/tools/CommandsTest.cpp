// The command-line companion's dump and describe, on a keyed Paradox table with secondary
// indexes: dump --index gives the records in that index's order.
#include <gtest/gtest.h>

#include <sstream>

#include "engine/core/FileTransaction.h"
#include "engine/paradox/ParadoxFormat.h"
#include "tests/support/TestSupport.h"
#include "tools/kx4table/Commands.h"

namespace kx4::test {
namespace {

FieldDef field(const std::string& name, TFieldType type, int size = 0) {
    FieldDef f;
    f.name = name;
    f.type = type;
    f.size = size;
    return f;
}

// Nr (key), Name with a case-sensitive index (.X02) and a case-insensitive one, Betrag.
std::string writeTable(const TempDir& dir) {
    TableSchema s;
    s.fields = {field("Nr", TFieldType::ftInteger), field("Name", TFieldType::ftString, 10),
                field("Betrag", TFieldType::ftFloat)};
    s.indexes = {
        indexOn("", "Nr", TIndexOptions(IndexOption::ixPrimary).add(IndexOption::ixUnique)),
        indexOn("", "Name"), indexOn("_Name", "Name", IndexOption::ixCaseInsensitive)};
    const std::string path = dir.file("KONTEN.DB");
    const TablePath at{dir.path().string(), "KONTEN.DB"};
    FileTransaction tx(defaultFileSystem(), path);
    auto builder = paradoxFormat().build(at, s, nullptr, tx);
    builder->append({std::int64_t{1}, std::string("beta"), 33000000.0});
    builder->append({std::int64_t{2}, std::string("Alpha"), 100000.0});
    builder->append({std::int64_t{3}, std::string("alpha"), -0.000025});
    builder->append({std::int64_t{4}, std::string("Beta"), 1.5});
    builder->finish();
    tx.commit();
    return path;
}

struct DumpCase {
    const char* label;
    std::optional<std::string> index;
    const char* keys;  // the Nr column, in dump order
};

class DumpOrder : public ::testing::TestWithParam<DumpCase> {};

TEST_P(DumpOrder, FollowsTheIndex) {
    TempDir dir;
    tool::Options options;
    options.command = "dump";
    options.file = writeTable(dir);
    options.index = GetParam().index;
    std::ostringstream out, problems;
    ASSERT_EQ(tool::dump(options, out, problems), 0);
    std::istringstream lines(out.str());
    std::string line, keys;
    std::getline(lines, line);
    EXPECT_EQ(line, "Nr,Name,Betrag\r");
    while (std::getline(lines, line)) keys += line.substr(0, line.find(','));
    EXPECT_EQ(keys, GetParam().keys);
}

INSTANTIATE_TEST_SUITE_P(Paradox, DumpOrder,
                         ::testing::Values(DumpCase{"physical", std::nullopt, "1234"},
                                           DumpCase{"primary", std::string(), "1234"},
                                           DumpCase{"case_sensitive", std::string("Name"), "2431"},
                                           DumpCase{"case_insensitive", std::string("_Name"),
                                                    "2314"}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(Dump, NumbersArePlainDecimalAndAnUnknownIndexFails) {
    TempDir dir;
    tool::Options options;
    options.command = "dump";
    options.file = writeTable(dir);
    std::ostringstream out, problems;
    ASSERT_EQ(tool::dump(options, out, problems), 0);
    EXPECT_NE(out.str().find("1,beta,33000000\r\n"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("2,Alpha,100000\r\n"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("3,alpha,-0.000025\r\n"), std::string::npos) << out.str();
    options.index = "Nirgends";
    EXPECT_ANY_THROW(tool::dump(options, out, problems));
}

TEST(Describe, MarksTheCaseInsensitiveIndex) {
    TempDir dir;
    tool::Options options;
    options.command = "describe";
    options.file = writeTable(dir);
    std::ostringstream out;
    ASSERT_EQ(tool::describe(options, out), 0);
    EXPECT_NE(out.str().find("index\t_Name\tName\tcase-insensitive\n"), std::string::npos)
        << out.str();
    EXPECT_NE(out.str().find("index\tName\tName\t\n"), std::string::npos) << out.str();
}

}  // namespace
}  // namespace kx4::test
