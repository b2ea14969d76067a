// kx4table dump writes CSV that a strict reader (Python's csv module) reads back field for
// field, including a record whose only field is empty.
#include <gtest/gtest.h>

#include <fstream>

#include "engine/TableMaintenance.h"
#include "engine/core/TableFormat.h"
#include "tests/support/TestSupport.h"

namespace kx4::test {
namespace {

const std::string kTool = std::string(KX4_BINARY_DIR) + "/bin/kx4table";

// Rows read back by Python's csv module, fields separated by \x1f, rows ended by \x1e.
std::vector<std::vector<std::string>> readBackWithPython(const std::string& csvFile) {
    std::string out;
    const std::string script =
        "import csv,sys\n"
        "for row in csv.reader(open(sys.argv[1], newline='', encoding='utf-8'), strict=True):\n"
        "    sys.stdout.write('\\x1f'.join(row) + '\\x1e')\n";
    std::ofstream(csvFile + ".py") << script;
    EXPECT_EQ(runCommand(std::string(KX4_DEBIAN_PYTHON) + " " + csvFile + ".py " + csvFile, out),
              0);
    std::vector<std::vector<std::string>> rows;
    std::size_t start = 0;
    for (std::size_t end; (end = out.find('\x1e', start)) != std::string::npos; start = end + 1) {
        std::vector<std::string> row;
        const std::string line = out.substr(start, end - start);
        std::size_t from = 0;
        for (std::size_t sep; (sep = line.find('\x1f', from)) != std::string::npos; from = sep + 1)
            row.push_back(line.substr(from, sep - from));
        row.push_back(line.substr(from));
        rows.push_back(row);
    }
    return rows;
}

struct CsvCase {
    const char* label;
    std::vector<std::string> fieldNames;
    std::vector<std::vector<std::string>> rows;
};

std::ostream& operator<<(std::ostream& os, const CsvCase& c) { return os << c.label; }

class CsvDump : public ::testing::TestWithParam<CsvCase> {};

TEST_P(CsvDump, ReadsBackAsWrittenWithCrLfAfterEveryRecord) {
    const CsvCase& c = GetParam();
    TempDir dir;
    TableFormat& format = formatFor(TTableType::ttParadox, "T.DB");
    TableSchema schema;
    for (const auto& name : c.fieldNames)
        schema.fields.push_back(fieldForCreate(format, name, TFieldType::ftString, 20, false));
    std::vector<Record> records;
    for (const auto& row : c.rows) {
        Record record;
        for (const auto& text : row) record.push_back(text.empty() ? FieldValue(Blank{}) : text);
        records.push_back(record);
    }
    createTable(format, TablePath{dir.path().string(), "T.DB"}, schema, records);

    std::string csv;
    ASSERT_EQ(runCommand(kTool + " dump " + dir.file("T.DB"), csv), 0);
    std::ofstream(dir.file("t.csv"), std::ios::binary) << csv;

    std::vector<std::vector<std::string>> expected = {c.fieldNames};
    expected.insert(expected.end(), c.rows.begin(), c.rows.end());
    EXPECT_EQ(readBackWithPython(dir.file("t.csv")), expected) << csv;
    // Every record ends in CRLF and no bare LF is left outside a quoted field.
    ASSERT_TRUE(csv.ends_with("\r\n")) << csv;
}

INSTANTIATE_TEST_SUITE_P(
    Tables, CsvDump,
    ::testing::Values(CsvCase{"one_column_with_blanks", {"NOTIZ"}, {{"x"}, {""}, {""}, {"y"}}},
                      CsvCase{"one_column_blank_last", {"NOTIZ"}, {{"x"}, {""}}},
                      CsvCase{"separators_and_quotes",
                              {"A", "B"},
                              {{"a,b", "say \"hi\""}, {"", ""}, {"\"", ","}, {" lead", "trail "}}},
                      CsvCase{"line_breaks_inside", {"A", "B"}, {{"one\r\ntwo", "three\nfour"}}}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace kx4::test
