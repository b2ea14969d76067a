// The index definition file: its place beside the table, CR LF lines, the crash-safe
// replacement with a backup of the previous file, and clear errors naming the file.
#include <gtest/gtest.h>

#include <QDir>
#include <filesystem>
#include <fstream>

#include "engine/core/Errors.h"
#include "maintenance/IndexDefinitionFile.h"
#include "tests/app/AppTestSupport.h"

namespace kx4 {
namespace {

std::string bytesOf(const std::string& path) {
    const std::vector<char> bytes = test::readFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

class DefinitionFile : public testing::Test {
  protected:
    QString path(const char* name) const { return QString::fromStdString(dir.file(name)); }
    test::TempDir dir;
};

TEST_F(DefinitionFile, LiesBesideTheTableUnderItsFileNameWithExtension) {
    EXPECT_EQ(indexDefinitionFilePath("/data/morvane", "KUNDEN.DB"),
              "/data/morvane/KUNDEN.DB.Index.txt");
    EXPECT_EQ(indexDefinitionFilePath("/data/morvane/", "artikel.dbf"),
              "/data/morvane/artikel.dbf.Index.txt");
}

TEST_F(DefinitionFile, OneDefinitionALineEndedByCarriageReturnAndLineFeed) {
    writeIndexDefinitionFile(path("T.DB.Index.txt"), {"NR;POS*", "ORT", "NAME;VORNAME", "STRAßE"});
    // In the Windows ANSI code page: "ß" is the one byte 0xDF.
    EXPECT_EQ(bytesOf(dir.file("T.DB.Index.txt")),
              "NR;POS*\r\nORT\r\nNAME;VORNAME\r\nSTRA\xDF"
              "E\r\n");
    EXPECT_EQ(readIndexDefinitionFile(path("T.DB.Index.txt")),
              QStringList({"NR;POS*", "ORT", "NAME;VORNAME", QStringLiteral("STRAßE")}));
}

// A file written by the original tool holds "ä" as the byte 0xE4 and "€" as 0x80.
TEST_F(DefinitionFile, ReadsTheWindowsAnsiCodePage) {
    std::ofstream(dir.file("A.DB.Index.txt"), std::ios::binary) << "Stra\xDF"
                                                                   "e;H\xE4user*\r\nPreis\x80\r\n";
    EXPECT_EQ(readIndexDefinitionFile(path("A.DB.Index.txt")),
              QStringList({QStringLiteral("Straße;Häuser*"), QStringLiteral("Preis€")}));
}

TEST_F(DefinitionFile, ACharacterOutsideTheCodePageIsRefusedBeforeWriting) {
    EXPECT_THROW(writeIndexDefinitionFile(path("B.DB.Index.txt"), {QStringLiteral("Ωmega*")}),
                 EInOutError);
    EXPECT_FALSE(std::filesystem::exists(dir.file("B.DB.Index.txt")));
}

TEST_F(DefinitionFile, ReadsLineFeedEndingsAndKeepsEmptyLines) {
    std::ofstream(dir.file("a.txt"), std::ios::binary) << "NR*\n\nORT";
    EXPECT_EQ(readIndexDefinitionFile(path("a.txt")), QStringList({"NR*", "", "ORT"}));
    std::ofstream(dir.file("b.txt"), std::ios::binary) << "";
    EXPECT_TRUE(readIndexDefinitionFile(path("b.txt")).isEmpty());
    std::ofstream(dir.file("c.txt"), std::ios::binary) << "\r\nORT\r\n";
    EXPECT_EQ(readIndexDefinitionFile(path("c.txt")), QStringList({"", "ORT"}));
}

TEST_F(DefinitionFile, ThePreviousFileIsKeptAsBackup) {
    const QString file = path("T.DB.Index.txt");
    writeIndexDefinitionFile(file, {"NR*", "ORT"});
    EXPECT_FALSE(std::filesystem::exists(dir.file("T.DB.Index.txt.bak")));
    writeIndexDefinitionFile(file, {"NR*"});
    EXPECT_EQ(bytesOf(dir.file("T.DB.Index.txt")), "NR*\r\n");
    EXPECT_EQ(bytesOf(dir.file("T.DB.Index.txt.bak")), "NR*\r\nORT\r\n");
    // Nothing else is left behind: no temporary file.
    EXPECT_EQ(QDir(QString::fromStdString(dir.path().string())).entryList(QDir::Files).size(), 2);
}

TEST_F(DefinitionFile, AMissingFileIsNamedInTheError) {
    try {
        readIndexDefinitionFile(path("FEHLT.DB.Index.txt"));
        FAIL() << "no error";
    } catch (const EInOutError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "Datei " + dir.file("FEHLT.DB.Index.txt") + " kann nicht geöffnet werden");
    }
}

TEST_F(DefinitionFile, AFileThatCannotBeWrittenIsNamedAndTheOldOneStays) {
    std::filesystem::create_directory(dir.file("busy.Index.txt"));  // a directory in its place
    try {
        writeIndexDefinitionFile(path("busy.Index.txt"), {"NR*"});
        FAIL() << "no error";
    } catch (const EInOutError& error) {
        EXPECT_NE(std::string(error.what()).find(dir.file("busy.Index.txt")), std::string::npos)
            << error.what();
    }
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("busy.Index.txt")));
}

// A text table that happens to bear the definition file's name keeps its data and schema.
TEST_F(DefinitionFile, NeverReplacesATableOrItsCompanion) {
    std::ofstream(dir.file("T.DB.Index.txt"), std::ios::binary) << "Meier\r\n";
    std::ofstream(dir.file("T.DB.Index.SCH"), std::ios::binary)
        << "[T.DB.Index]\r\nFiletype=VARYING\r\nField1=NAME,CHAR,20,00,00\r\n";
    std::ofstream(dir.file("U.DB"), std::ios::binary) << "not even a table";
    const std::string data = bytesOf(dir.file("T.DB.Index.txt"));
    const std::string schema = bytesOf(dir.file("T.DB.Index.SCH"));
    for (const char* name : {"T.DB.Index.txt", "t.db.index.sch", "U.DB"}) {
        try {
            writeIndexDefinitionFile(path(name), {"NR*"});
            ADD_FAILURE() << name << ": no error";
        } catch (const EInOutError& error) {
            EXPECT_NE(std::string(error.what()).find("gehört zur Tabelle"), std::string::npos)
                << error.what();
        }
    }
    EXPECT_EQ(bytesOf(dir.file("T.DB.Index.txt")), data);
    EXPECT_EQ(bytesOf(dir.file("T.DB.Index.SCH")), schema);
    EXPECT_EQ(bytesOf(dir.file("U.DB")), "not even a table");
    EXPECT_EQ(QDir(QString::fromStdString(dir.path().string())).entryList(QDir::Files).size(), 3);
}

TEST_F(DefinitionFile, AnOversizedFileIsRefused) {
    std::ofstream(dir.file("big.txt"), std::ios::binary) << std::string(2 << 20, 'A');
    EXPECT_THROW(readIndexDefinitionFile(path("big.txt")), EInOutError);
}

}  // namespace
}  // namespace kx4
