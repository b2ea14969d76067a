// Tables whose header names no code page are read in the code page their alias sets (CODEPAGE)
// or the command line gives (kx4table --codepage); what is written keeps the table's bytes.
#include <gtest/gtest.h>

#include <fstream>
#include <tuple>

#include "engine/Session.h"
#include "engine/Table.h"
#include "engine/TableMaintenance.h"
#include "engine/core/FileTransaction.h"
#include "engine/core/TextCodec.h"
#include "engine/dbase/DbaseProperties.h"
#include "engine/paradox/ParadoxProperties.h"
#include "tests/support/TestSupport.h"

namespace kx4 {
namespace {

using test::readFileBytes;
using test::runCommand;
using test::TempDir;

struct CodePageCase {
    const char* label;
    const char* setting;  // as written after CODEPAGE= and --codepage
    int codePage;
    const char* python;  // Python's codec of the same code page, the independent encoder
    const char* fieldName;
    const char* value;
    const char* appended;
};

std::ostream& operator<<(std::ostream& os, const CodePageCase& c) { return os << c.label; }

enum class Kind { Paradox, DBase };

using Param = std::tuple<Kind, CodePageCase>;

// The bytes Python's codec gives for `text`.
std::string pythonEncoded(const std::string& text, const char* codec, const TempDir& dir) {
    std::ofstream(dir.file("text.txt"), std::ios::binary) << text;
    std::string out;
    const int status = runCommand(
        std::string(KX4_DEBIAN_PYTHON) +
            " -c \"import sys; sys.stdout.buffer.write(open(sys.argv[1], encoding='utf-8')"
            ".read().encode(sys.argv[2]))\" " +
            dir.file("text.txt") + " " + codec,
        out);
    EXPECT_EQ(status, 0) << text;
    return out;
}

bool contains(const std::vector<char>& bytes, const std::string& part) {
    return std::search(bytes.begin(), bytes.end(), part.begin(), part.end()) != bytes.end();
}

class CodePageSetting : public ::testing::TestWithParam<Param> {
  protected:
    Kind kind() const { return std::get<0>(GetParam()); }
    const CodePageCase& cp() const { return std::get<1>(GetParam()); }
    std::string tableName() const { return kind() == Kind::Paradox ? "T.DB" : "T.DBF"; }
    std::string tables() const { return dir_.file("tables"); }
    std::string tablePath() const { return tables() + "/" + tableName(); }

    void SetUp() override {
        std::filesystem::create_directory(tables());
        writeUnnamedTable();
        useConfiguration(true);
    }

    void TearDown() override {
        Session().setCodePageForRun(0);
        Session().setConfigPath(TSession::defaultConfigPath());
    }

    void useConfiguration(bool withCodePage) {
        std::ofstream(dir_.file("engine.ini"))
            << "[CP]\nTYPE=STANDARD\nPATH=" << tables() << "\n"
            << (withCodePage ? std::string("CODEPAGE=") + cp().setting + "\n" : "");
        Session().setConfigPath(dir_.file("engine.ini"));
    }

    // A table in the case's code page whose header names none: a dBase III table with language
    // driver byte 0, a Paradox table with code page field 0 and a sort order the engine does not
    // know.
    void writeUnnamedTable() {
        TableFormat& format = formatFor(TTableType::ttDefault, tableName());
        TableSchema schema;
        schema.fields = {fieldForCreate(format, cp().fieldName, TFieldType::ftString, 20, false)};
        std::shared_ptr<FormatProperties> properties;
        if (kind() == Kind::DBase) {
            auto p = std::make_shared<dbase::DbaseProperties>();
            p->level = dbase::DbfLevel::III;
            p->ldid = 0;
            p->codePage = cp().codePage;
            properties = p;
        } else {
            auto p = std::make_shared<paradox::ParadoxProperties>();
            p->codePage = cp().codePage;
            p->namesCodePage = false;
            p->sortOrder = {0x4C, "UNKNOWN"};
            properties = p;
        }
        const TablePath path{tables(), tableName()};
        FileTransaction tx(defaultFileSystem(), path.full());
        auto builder = format.build(path, schema, properties, tx);
        builder->append({std::string(cp().value)});
        builder->finish();
        tx.commit();
    }

    // The header still names no code page.
    void expectHeaderNamesNone() {
        const auto bytes = readFileBytes(tablePath());
        ASSERT_GT(bytes.size(), 0x6Bu);
        if (kind() == Kind::DBase) {
            EXPECT_EQ(bytes[29], 0) << "language driver byte";
        } else {
            EXPECT_EQ(bytes[0x6A], 0) << "code page field";
            EXPECT_EQ(bytes[0x6B], 0) << "code page field";
        }
    }

    std::vector<std::string> values(TTable& table) {
        std::vector<std::string> out;
        auto records = table.Records();
        Record record;
        while (records->next(record)) out.push_back(formatValue(record[0]));
        return out;
    }

    TempDir dir_;
};

TEST_P(CodePageSetting, AliasSettingReadsAndWritesTheTablesOwnBytes) {
    {
        TTable table;
        table.DatabaseName = "CP";
        table.TableName = tableName();
        table.Exclusive = true;
        table.Open();
        const TableInfo info = table.File().info();
        EXPECT_EQ(info.codePage, cp().codePage);
        EXPECT_EQ(info.codePageOrigin, CodePageOrigin::Setting);
        EXPECT_EQ(table.Fields(0).FieldName(), cp().fieldName);
        EXPECT_EQ(values(table), std::vector<std::string>{cp().value});
        table.File().appendRecord({std::string(cp().appended)});
        table.Close();
    }
    // The stored bytes are the code page's, as Python's codec encodes them.
    const auto bytes = readFileBytes(tablePath());
    EXPECT_TRUE(contains(bytes, pythonEncoded(cp().fieldName, cp().python, dir_)));
    EXPECT_TRUE(contains(bytes, pythonEncoded(cp().value, cp().python, dir_)));
    EXPECT_TRUE(contains(bytes, pythonEncoded(cp().appended, cp().python, dir_)));
    expectHeaderNamesNone();

    // A pack copies the records and keeps the header naming no code page.
    {
        TableFormat& format = formatFor(TTableType::ttDefault, tableName());
        const TablePath path{tables(), tableName()};
        auto file = format.open(path, Session().openOptions(path, true));
        packTable(format, *file);
    }
    expectHeaderNamesNone();
    TTable again;
    again.DatabaseName = "CP";
    again.TableName = tableName();
    again.Open();
    EXPECT_EQ(values(again), (std::vector<std::string>{cp().value, cp().appended}));
}

TEST_P(CodePageSetting, WithoutASettingTheDefaultIsUsedAndSaidSo) {
    useConfiguration(false);
    TTable table;
    table.DatabaseName = "CP";
    table.TableName = tableName();
    table.Open();
    const TableInfo info = table.File().info();
    EXPECT_EQ(info.codePageOrigin, CodePageOrigin::Default);
    if (info.codePage != cp().codePage) {
        EXPECT_NE(values(table)[0], cp().value);
    }
}

TEST_P(CodePageSetting, CommandLineCodePageGoesBeforeTheAlias) {
    const std::string tool = std::string(KX4_BINARY_DIR) + "/bin/kx4table";
    if (!std::filesystem::exists(tool)) GTEST_SKIP() << tool << " is not built";
    useConfiguration(false);
    const std::string env = "KX4_ENGINE_CONFIG=" + dir_.file("engine.ini") + " ";
    std::string out;
    ASSERT_EQ(
        runCommand(env + tool + " describe --codepage " + cp().setting + " " + tablePath(), out),
        0);
    EXPECT_EQ(out.rfind(std::string(cp().fieldName) + "\t", 0), 0u) << out;
    EXPECT_NE(out.find(std::string("codepage\t") + cp().setting + "\tsetting\n"), std::string::npos)
        << out;
    ASSERT_EQ(runCommand(env + tool + " dump --codepage=" + cp().setting + " " + tablePath(), out),
              0);
    EXPECT_EQ(out, std::string(cp().fieldName) + "\r\n" + cp().value + "\r\n");

    ASSERT_EQ(runCommand(env + tool + " describe " + tablePath(), out), 0);
    EXPECT_NE(out.find("\tdefault\n"), std::string::npos) << out;
}

const CodePageCase kCases[] = {
    {"cp437", "437", 437, "cp437", "GRÖSSE", "Größe ½ für Ärzte", "Übermaß"},
    {"cp850", "850", 850, "cp850", "AÑO", "Café Ñandú øre", "Élan"},
    {"cp852", "852", 852, "cp852", "MĚSTO", "Łódź Żółć", "Příliš"},
    {"cp866", "866", 866, "cp866", "ГОРОД", "Москва Ёж", "Щука"},
    {"cp1250", "1250", 1250, "cp1250", "KRAJ", "Jihočeský kraj", "Łódź"},
    {"cp1251", "1251", 1251, "cp1251", "МІСТО", "Київ Ґанок", "Ёлка"},
    {"cp1252", "1252", 1252, "cp1252", "FÆLT", "Ærø € œuvre", "Señor"},
    {"utf8", "UTF-8", 65001, "utf-8", "ГОРОД", "Ж€漢字", "Ölçü"},
};

std::string caseName(const ::testing::TestParamInfo<Param>& info) {
    return std::string(std::get<0>(info.param) == Kind::Paradox ? "Paradox_" : "DBase_") +
           std::get<1>(info.param).label;
}

INSTANTIATE_TEST_SUITE_P(CodePages, CodePageSetting,
                         ::testing::Combine(::testing::Values(Kind::Paradox, Kind::DBase),
                                            ::testing::ValuesIn(kCases)),
                         caseName);

TEST(CodePageSettingValue, AnAliasSettingNoCodePageIsRefusedByName) {
    TempDir dir;
    std::ofstream(dir.file("engine.ini"))
        << "[BAD]\nTYPE=STANDARD\nPATH=" << dir.path().string() << "\nCODEPAGE=klingon\n";
    Session().setConfigPath(dir.file("engine.ini"));
    try {
        Session().codePageFor(dir.path().string());
        ADD_FAILURE() << "accepted CODEPAGE=klingon";
    } catch (const EDBEngineError& e) {
        EXPECT_NE(std::string(e.what()).find("CODEPAGE=klingon"), std::string::npos) << e.what();
    }
    Session().setConfigPath(TSession::defaultConfigPath());
}

}  // namespace
}  // namespace kx4
