#include <gtest/gtest.h>

#include <fstream>

#include "engine/Dbi.h"
#include "engine/Session.h"
#include "tests/support/TestSupport.h"

namespace kx4 {
namespace {

class SessionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        config_ = dir_.file("engine.ini");
        std::ofstream(config_) << "; aliases of this machine\n"
                                  "[ZULU]\nTYPE=STANDARD\nPATH="
                               << dir_.file("zulu")
                               << "\n\n"
                                  "[MORVANE]\npath = "
                               << dir_.file("morvane")
                               << "\n"
                                  "[REMOTE]\nTYPE=INTRBASE\nSERVER NAME=db.example:/data/x.gdb\n";
        std::filesystem::create_directory(dir_.file("morvane"));
        session_.setConfigPath(config_);
    }

    test::TempDir dir_;
    std::string config_;
    TSession session_;
};

TEST_F(SessionTest, AliasesInTheConfigurationsOrderWithTheirParameters) {
    std::vector<std::string> names;
    session_.GetAliasNames(names);
    EXPECT_EQ(names, (std::vector<std::string>{"ZULU", "MORVANE", "REMOTE"}));
    std::vector<std::string> params;
    session_.GetAliasParams("morvane", params);
    EXPECT_EQ(params, (std::vector<std::string>{"PATH=" + dir_.file("morvane")}));
    session_.GetAliasParams("REMOTE", params);
    EXPECT_EQ(params,
              (std::vector<std::string>{"TYPE=INTRBASE", "SERVER NAME=db.example:/data/x.gdb"}));
}

TEST_F(SessionTest, UnknownAliasIsAnEngineError) {
    std::vector<std::string> params;
    try {
        session_.GetAliasParams("NOWHERE", params);
        FAIL();
    } catch (const EDBEngineError& e) {
        EXPECT_EQ(e.errorCode(), DBIERR_UNKNOWNDB);
        EXPECT_NE(std::string(e.what()).find("NOWHERE"), std::string::npos);
    }
}

TEST_F(SessionTest, MissingConfigurationMeansNoAliases) {
    session_.setConfigPath(dir_.file("absent.ini"));
    std::vector<std::string> names{"stale"};
    session_.GetAliasNames(names);
    EXPECT_TRUE(names.empty());
}

TEST_F(SessionTest, TableNamesAreTheTableFilesWithExtensions) {
    // A text file without its schema (a report, an index definition file) is no table.
    for (const char* name :
         {"KUNDEN.DB", "KUNDEN.PX", "KUNDEN.MB", "artikel.dbf", "ARTIKEL.MDX", "PREISE.TXT",
          "preise.sch", "notes.doc", "KUNDEN.DB.Index.txt", "KUNDEN.DB.txt"})
        std::ofstream(dir_.file("morvane/") + name) << "x";
    std::vector<std::string> names;
    session_.GetTableNames("MORVANE", "", true, false, names);
    EXPECT_EQ(names, (std::vector<std::string>{"KUNDEN.DB", "PREISE.TXT", "artikel.dbf"}));
    session_.GetTableNames("MORVANE", "k*", false, false, names);
    EXPECT_EQ(names, (std::vector<std::string>{"KUNDEN"}));
}

TEST_F(SessionTest, PasswordsAreKeptInOrderUntilAllAreRemoved) {
    session_.AddPassword("86Gm2yB3E7");
    session_.AddPassword("Rq58Tn204K");
    EXPECT_EQ(session_.passwords(), (std::vector<std::string>{"86Gm2yB3E7", "Rq58Tn204K"}));
    session_.RemoveAllPasswords();
    EXPECT_TRUE(session_.passwords().empty());
}

TEST_F(SessionTest, PasswordPromptAddsTheAnswer) {
    EXPECT_EQ(session_.askPassword("X.DB", false), std::nullopt);
    session_.OnPassword = [](const std::string& table, bool) {
        return std::optional<std::string>("pw-" + table);
    };
    EXPECT_EQ(session_.askPassword("X.DB", false), std::optional<std::string>("pw-X.DB"));
    EXPECT_EQ(session_.passwords(), (std::vector<std::string>{"pw-X.DB"}));
}

TEST(DatabaseDesc, StandardAliasGivesItsDirectory) {
    test::TempDir dir;
    std::ofstream(dir.file("engine.ini")) << "[MORVANE]\nTYPE=STANDARD\nPATH=/srv/morvane\n";
    Session().setConfigPath(dir.file("engine.ini"));
    DBDesc desc;
    Check(DbiGetDatabaseDesc("MORVANE", &desc));
    EXPECT_STREQ(desc.szDbType, "STANDARD");
    EXPECT_STREQ(desc.szPhyName, "/srv/morvane");
    EXPECT_NE(DbiGetDatabaseDesc("NONE", &desc), DBIERR_NONE);
    EXPECT_THROW(Check(DbiGetDatabaseDesc("NONE", &desc)), EDBEngineError);
}

}  // namespace
}  // namespace kx4
