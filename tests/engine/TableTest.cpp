#include <gtest/gtest.h>

#include "engine/Dbi.h"
#include "engine/Query.h"
#include "engine/Session.h"
#include "engine/Table.h"
#include "tests/support/DemoAlias.h"

namespace kx4 {
namespace {

using test::DemoAlias;
using test::directorySnapshot;
using test::dumpTable;

class TableTest : public ::testing::Test {
  protected:
    DemoAlias demo_;

    void exec(const std::string& sql) {
        TQuery query;
        query.DatabaseName = "DEMO";
        query.SQL = {sql};
        query.ExecSQL();
    }

    // Runs a statement that must be refused, and checks that no file changed.
    std::string refused(const std::string& sql) {
        const std::string before = directorySnapshot(demo_.tables());
        try {
            exec(sql);
        } catch (const EDBEngineError& e) {
            EXPECT_EQ(directorySnapshot(demo_.tables()), before);
            return e.what();
        }
        ADD_FAILURE() << "accepted: " << sql;
        return {};
    }
};

TEST_F(TableTest, ParadoxFieldsAndPrimaryIndex) {
    TTable table;
    table.DatabaseName = "DEMO";
    table.TableName = "KUNDEN.DB";
    table.Open();
    ASSERT_EQ(table.FieldCount(), 8);
    EXPECT_EQ(table.FieldByName("name").DataType(), TFieldType::ftString);
    EXPECT_EQ(table.FieldByName("NAME").Size(), 30);
    EXPECT_EQ(table.FieldByName("UMSATZ").DataType(), TFieldType::ftCurrency);
    EXPECT_EQ(table.FieldByName("BEMERKUNG").DataType(), TFieldType::ftMemo);
    EXPECT_TRUE(table.FieldByName("KUNDENNR").IsIndexField());
    EXPECT_FALSE(table.FieldByName("NAME").IsIndexField());
    ASSERT_EQ(table.IndexDefs().Count(), 1);
    EXPECT_EQ(table.IndexDefs()[0].fields, "KUNDENNR");
    EXPECT_TRUE(table.IndexDefs()[0].options.has(IndexOption::ixPrimary));
    EXPECT_THROW(table.FieldByName("PLZ"), EDatabaseError);
}

TEST_F(TableTest, ProtectedTableOpensOnlyWithItsPassword) {
    TTable table;
    table.DatabaseName = "DEMO";
    table.TableName = "KONTEN.DB";
    try {
        table.Open();
        FAIL() << "opened without a password";
    } catch (const EDBEngineError& e) {
        EXPECT_EQ(e.errorCode(), DBIERR_INVALIDPASSWORD);
    }
    for (const char* p : {"86Gm2yB3E7", "Rq58Tn204K", "362VN4Qc81", "hW714kP9j3"})
        Session().AddPassword(p);
    table.Open();
    EXPECT_NE(dumpTable("DEMO", "KONTEN.DB").find("DE-1002-01;1002;-80;2024-07-01T14:00:00.000;"),
              std::string::npos);
    table.Close();
    Session().RemoveAllPasswords();
    int asked = 0;
    Session().OnPassword = [&](const std::string&, bool) {
        ++asked;
        return std::optional<std::string>("86Gm2yB3E7");
    };
    table.Open();
    Session().OnPassword = nullptr;
    EXPECT_EQ(asked, 1);
}

TEST_F(TableTest, DBaseTagsIncludingAnExpressionTag) {
    TTable table;
    table.DatabaseName = "DEMO";
    table.TableName = "ARTIKEL.DBF";
    table.TableType = TTableType::ttDBase;
    table.Open();
    ASSERT_EQ(table.IndexDefs().Count(), 2);
    EXPECT_EQ(table.IndexDefs()[0].fields, "ARTNR");
    EXPECT_EQ(table.IndexDefs()[1].fields, "");
    for (int i = 0; i < table.FieldCount(); ++i) EXPECT_FALSE(table.Fields(i).IsIndexField());
}

TEST_F(TableTest, IndexesChangeOnTheExclusivelyOpenTable) {
    TTable table;
    table.DatabaseName = "DEMO";
    table.TableName = "KUNDEN.DB";
    table.Open();
    EXPECT_THROW(table.AddIndex("_ORT", "ORT", IndexOption::ixCaseInsensitive), EDBEngineError);
    table.Close();
    table.Exclusive = true;
    table.Open();
    table.AddIndex("_ORT", "ORT", IndexOption::ixCaseInsensitive);
    ASSERT_TRUE(table.Active());
    ASSERT_EQ(table.IndexDefs().Count(), 2);
    EXPECT_EQ(table.IndexDefs()[1].name, "_ORT");
    table.DeleteIndex("_ORT");
    EXPECT_EQ(table.IndexDefs().Count(), 1);
    table.Close();

    TTable articles;
    articles.DatabaseName = "DEMO";
    articles.TableName = "ARTIKEL.DBF";
    articles.Exclusive = true;
    articles.Open();
    articles.DeleteIndex("BEZEICH");
    ASSERT_EQ(articles.IndexDefs().Count(), 1);
    EXPECT_EQ(articles.IndexDefs()[0].name, "ARTNR");
}

// An index over a field the table lacks is refused in the toolkit's words, whatever the format
// and the kind of index, and nothing changes.
TEST_F(TableTest, AnIndexOverAMissingFieldIsRefusedInTheToolkitsWords) {
    TTable unkeyed;
    unkeyed.DatabaseName = "DEMO";
    unkeyed.TableName = "OHNE.DB";
    unkeyed.FieldDefs.Add("NAME", TFieldType::ftString, 10, false);
    unkeyed.CreateTable();
    struct Case {
        const char* table;
        const char* name;
        TIndexOptions options;
    };
    for (const Case& c :
         {Case{"KUNDEN.DB", "_FEHLT", IndexOption::ixCaseInsensitive},
          Case{"OHNE.DB", "", IndexOption::ixPrimary}, Case{"ARTIKEL.DBF", "FEHLT", {}}}) {
        const std::string before = directorySnapshot(demo_.tables());
        TTable table;
        table.DatabaseName = "DEMO";
        table.TableName = c.table;
        try {
            table.AddIndex(c.name, "FEHLT", c.options);
            ADD_FAILURE() << c.table << " " << c.name << " accepted";
        } catch (const EDatabaseError& e) {
            EXPECT_STREQ(e.what(), "Das Feld 'FEHLT' wurde nicht gefunden")
                << c.table << " " << c.name;
        }
        EXPECT_EQ(directorySnapshot(demo_.tables()), before);
    }
}

// The database handle a table gives stays valid after the table is closed, as a restructure
// called after closing the table needs it.
TEST_F(TableTest, TheDatabaseHandleOutlivesTheTable) {
    TTable table;
    table.DatabaseName = "DEMO";
    table.TableName = "KUNDEN.DB";
    table.Open();
    hDBIObj database = nullptr;
    ASSERT_EQ(DbiGetObjFromObj(table.Handle(), objDATABASE, &database), DBIERR_NONE);
    table.Close();
    char directory[DBIMAXPATHLEN + 1] = {};
    ASSERT_EQ(DbiGetDirectory(static_cast<hDBIDb>(database), false, directory), DBIERR_NONE);
    EXPECT_EQ(std::string(directory), demo_.tables() + "/");
    hDBIDb handle = static_cast<hDBIDb>(database);
    EXPECT_EQ(DbiCloseDatabase(&handle), DBIERR_NONE);
    EXPECT_EQ(DbiGetDirectory(static_cast<hDBIDb>(database), false, directory), DBIERR_NONE);
}

TEST_F(TableTest, ExclusiveAndSharedOpensExcludeEachOther) {
    TTable reader, writer;
    for (TTable* t : {&reader, &writer}) {
        t->DatabaseName = "DEMO";
        t->TableName = "KUNDEN.DB";
    }
    reader.Open();
    writer.Exclusive = true;
    EXPECT_THROW(writer.Open(), EDBEngineError);
    reader.Close();
    writer.Open();
    EXPECT_THROW(reader.Open(), EDBEngineError);
}

TEST_F(TableTest, AddAndDropFieldsKeepEveryRecord) {
    const std::string before = dumpTable("DEMO", "KUNDEN.DB");
    exec(R"(ALTER TABLE "KUNDEN.DB" ADD "KUNDEN.DB"."PLZ" CHARACTER(10))");
    const std::string added = dumpTable("DEMO", "KUNDEN.DB");
    EXPECT_NE(added.find("BEMERKUNG;PLZ;"), std::string::npos);
    EXPECT_NE(added.find("Müller;Jürgen;Köln;15230.5;1994-03-01;true;Zahlt pünktlich"),
              std::string::npos);
    exec(R"(ALTER TABLE "KUNDEN.DB" DROP "KUNDEN.DB"."PLZ")");
    EXPECT_EQ(dumpTable("DEMO", "KUNDEN.DB"), before);

    exec(R"(ALTER TABLE "ARTIKEL.DBF" ADD "ARTIKEL.DBF"."BESTELLT" DATE)");
    exec(R"(ALTER TABLE "ARTIKEL.DBF" DROP "ARTIKEL.DBF"."NOTIZ")");
    const std::string articles = dumpTable("DEMO", "ARTIKEL.DBF");
    EXPECT_NE(articles.find("ARTNR;BEZEICH;PREIS;LAGER;GEAENDERT;BESTELLT;"), std::string::npos);
    EXPECT_NE(articles.find("B-2000;Dübel 6 mm;0.08;5400;2004-01-15;;"), std::string::npos);
}

TEST_F(TableTest, StatementsThatWouldLoseSomethingAreRefused) {
    EXPECT_NE(refused(R"(ALTER TABLE "KUNDEN.DB" DROP "KUNDEN.DB"."KUNDENNR")").find("primary key"),
              std::string::npos);
    EXPECT_NE(refused(R"(ALTER TABLE "ARTIKEL.DBF" DROP "ARTIKEL.DBF"."ARTNR")").find("ARTNR"),
              std::string::npos);
    EXPECT_NE(refused(R"(ALTER TABLE "KUNDEN.DB" ADD "KUNDEN.DB"."NAME" DATE)").find("already"),
              std::string::npos);
    EXPECT_NE(refused(R"(ALTER TABLE "KUNDEN.DB" DROP "KUNDEN.DB"."PLZ")").find("PLZ"),
              std::string::npos);
    EXPECT_NE(refused(R"(ALTER TABLE "KUNDEN.DB" ADD "KUNDEN.DB"."X" WIDGET)").find("position"),
              std::string::npos);
}

TEST_F(TableTest, QuotesInNamesCannotChangeTheStatement) {
    exec(R"(ALTER TABLE "KUNDEN.DB" ADD "KUNDEN.DB"."A""B" DATE)");
    TTable table;
    table.DatabaseName = "DEMO";
    table.TableName = "KUNDEN.DB";
    table.Open();
    EXPECT_NE(table.FindField("A\"B"), nullptr);
    EXPECT_EQ(table.FieldCount(), 9);
}

}  // namespace
}  // namespace kx4
