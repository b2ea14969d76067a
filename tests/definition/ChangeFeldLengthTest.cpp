// A new length for a character field through the definition window's ChangeFeldLength.
#include <filesystem>

#include "engine/Session.h"
#include "engine/Table.h"
#include "engine/core/Errors.h"
#include "tests/definition/DefinitionTestSupport.h"

namespace kx4 {
namespace {

using test::DefinitionTest;
using test::directorySnapshot;
using test::dumpTable;

class ChangeFeldLengthTest : public DefinitionTest {
  protected:
    void change(const char* table, const char* field, int length) {
        const auto form = createForm();
        form->ChangeFeldLength("DEMO", table, field, length);
    }

    std::string fieldOf(const std::string& table, const std::string& field) {
        for (const std::string& f : engineFields(table)) {
            if (f.rfind(field + ":", 0) == 0) return f;
        }
        return "";
    }

    // Nothing holds the table afterwards: it opens exclusively.
    void expectReleased(const std::string& table) {
        TTable t;
        t.DatabaseName = "DEMO";
        t.TableName = table;
        t.Exclusive = true;
        EXPECT_NO_THROW(t.Open());
        EXPECT_TRUE(Session().passwords().empty());
    }
};

struct WidenCase {
    const char* table;
    const char* field;
    int length;
    const char* before;
    const char* after;
};

class Widens : public ChangeFeldLengthTest, public testing::WithParamInterface<WidenCase> {};

TEST_P(Widens, AndKeepsEveryValue) {
    const std::string data = dumpTable("DEMO", GetParam().table);
    ASSERT_EQ(fieldOf(GetParam().table, GetParam().field), GetParam().before);
    change(GetParam().table, GetParam().field, GetParam().length);
    EXPECT_EQ(fieldOf(GetParam().table, GetParam().field), GetParam().after);
    EXPECT_EQ(dumpTable("DEMO", GetParam().table), data);
    expectReleased(GetParam().table);
}

INSTANTIATE_TEST_SUITE_P(
    Tables, Widens,
    testing::Values(WidenCase{"KUNDEN.DB", "NAME", 40, "NAME:A:30", "NAME:A:40"},
                    // The type follows the upper-cased name, so every spelling of .dbf counts.
                    WidenCase{"ARTIKEL.DBF", "BEZEICH", 50, "BEZEICH:A:30", "BEZEICH:A:50"},
                    // 0 keeps the length; the restructure still runs.
                    WidenCase{"KUNDEN.DB", "ORT", 0, "ORT:A:25", "ORT:A:25"},
                    // Only the low 16 bits count: 65536 + 35.
                    WidenCase{"KUNDEN.DB", "ORT", 65571, "ORT:A:25", "ORT:A:35"}));

TEST_F(ChangeFeldLengthTest, TextTablesCannotBeRestructured) {
    const std::string files = test::directorySnapshot(demo.tables());
    try {
        change("PREISE.TXT", "ARTNR", 12);
        FAIL() << "a text table was restructured";
    } catch (const EDBEngineError& e) {
        EXPECT_EQ(e.errorCode(), DBIERR_NOTSUPPORTED);
    }
    EXPECT_EQ(test::directorySnapshot(demo.tables()), files);
    expectReleased("PREISE.TXT");
}

TEST_F(ChangeFeldLengthTest, LowerCaseDbfNameIsADbaseTable) {
    std::filesystem::rename(demo.table("ARTIKEL.DBF"), demo.table("artikel.dbf"));
    change("artikel.dbf", "BEZEICH", 44);
    EXPECT_EQ(fieldOf("artikel.dbf", "BEZEICH"), "BEZEICH:A:44");
    EXPECT_EQ(test::dbfreadFields(demo.table("artikel.dbf"))[1], "BEZEICH:C:44");
}

TEST_F(ChangeFeldLengthTest, UnknownFieldOrTableRaisesAndReleasesEverything) {
    EXPECT_THROW(change("KUNDEN.DB", "GIBTESNICHT", 10), EDatabaseError);
    expectReleased("KUNDEN.DB");
    EXPECT_THROW(change("FEHLT.DB", "NAME", 10), EDatabaseError);
    EXPECT_TRUE(Session().passwords().empty());
}

TEST_F(ChangeFeldLengthTest, ATableInUseCannotBeChanged) {
    TTable other;
    other.DatabaseName = "DEMO";
    other.TableName = "KUNDEN.DB";
    other.Open();
    const std::string before = directorySnapshot(demo.tables());
    EXPECT_THROW(change("KUNDEN.DB", "NAME", 40), EDatabaseError);
    other.Close();
    EXPECT_EQ(directorySnapshot(demo.tables()), before);
    expectReleased("KUNDEN.DB");
}

}  // namespace
}  // namespace kx4
