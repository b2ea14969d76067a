#include <gtest/gtest.h>

#include <QDir>
#include <QPrinterInfo>
#include <filesystem>
#include <map>

#include "report/StructureReport.h"
#include "tests/report/ReportTestSupport.h"

namespace kx4 {
namespace {

using test::runReport;
using test::toFile;

const QString kRule = QString(66, u'=') + u' ';
const QString kFileHeader =
    QStringLiteral("Feldname                 Typ          Grösse     Primaer  Index ");

class DruckTabTest : public testing::Test {
  protected:
    QString tablePath(const QString& table) const {
        return QString::fromStdString(alias.directory()) + QDir::separator() + table;
    }
    QString file(const std::string& name) const { return QString::fromStdString(alias.file(name)); }

    void createBeleg() { test::createBeleg(alias); }

    test::LocaleScope german{"de_DE.UTF-8"};
    test::ScriptedPromptsScope prompts;
    test::ReportAlias alias;
    test::ReportWindow window;
    TTabellenForm& form = *window.form;
};

struct FileCase {
    const char* label;
    const char* table;
    std::function<void(test::ReportAlias&)> create;
    std::vector<const char*> body;
};

class FileReport : public DruckTabTest, public testing::WithParamInterface<FileCase> {};

// The whole file, character for character, against the layout worked out by hand.
TEST_P(FileReport, MatchesTheLayoutLineByLine) {
    const FileCase& c = GetParam();
    c.create(alias);
    window.choose(QString::fromLatin1(c.table));
    const QString target = file("bericht.txt");

    const QDateTime before = QDateTime::currentDateTime();
    ASSERT_TRUE(runReport(form, toFile(target)));
    const QDateTime after = QDateTime::currentDateTime();
    ASSERT_TRUE(prompts.errorBoxes.empty()) << prompts.errorBoxes.front().toStdString();

    QStringList expected = {
        kRule,
        QStringLiteral("Table: - :REPORT: - \"") + tablePath(QString::fromLatin1(c.table)) + u'"',
        kRule, kFileHeader, kRule};
    for (const char* line : c.body) expected << QString::fromUtf8(line);
    expected << kRule << QStringLiteral("Code page: 1252 (table)");
    const QStringList lines = test::readCrLfLines(target.toStdString());
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.mid(1), expected);
    EXPECT_TRUE(lines[0] == reportTimestamp(before) || lines[0] == reportTimestamp(after))
        << lines[0].toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Tables, FileReport,
    testing::Values(
        // More index definitions than fields: the fourth and fifth stand alone.
        FileCase{"ParadoxThreeFieldsFiveIndexes",
                 "BELEG.DB",
                 test::createBeleg,
                 {"Nr                       Unknown      Size=4     (*)      Nr      ",
                  "Betrag                   BCD          Size=34  :2          Betrag  ",
                  "Kunde                    String       Size=30              Kunde   ",
                  "Kunde;Betrag", "Betrag;Nr"}},
        // More fields than index definitions, a dBase table (lower-case extension).
        FileCase{"DbaseMoreFieldsThanIndexes",
                 "artikel.dbf",
                 [](test::ReportAlias& alias) {
                     alias.createTable(TTableType::ttDBase, "artikel.dbf",
                                       {{"BEZ", TFieldType::ftString, 40},
                                        {"PREIS", TFieldType::ftFloat, 0},
                                        {"DATUM", TFieldType::ftDate, 0},
                                        {"AKTIV", TFieldType::ftBoolean, 0},
                                        {"NOTIZ", TFieldType::ftMemo, 10}},
                                       {indexOn("BEZ", "BEZ")});
                 },
                 {"BEZ                      String       Size=40              BEZ     ",
                  "PREIS                    Float        Size=8                      ",
                  "DATUM                    Date         Size=4                      ",
                  "AKTIV                    Boolean      Size=2                      ",
                  "NOTIZ                    Memo         Size=10                      "}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(DruckTabTest, DialogShowsTheRuntimeTextsAndTheDefaultFileName) {
    createBeleg();
    window.choose(QStringLiteral("BELEG.DB"));
    const bool shown = runReport(form, [&](TDruckForm& dialog) {
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Drucken"));
        EXPECT_EQ(dialog.Label1->text(), QStringLiteral("Druck-Ziel auswählen"));
        EXPECT_EQ(dialog.aktuellRadio->text(), QStringLiteral("Drucker"));
        EXPECT_EQ(dialog.alleRadio->text(), QStringLiteral("Datei"));
        EXPECT_TRUE(dialog.aktuellRadio->isChecked());
        // The table's own extension stays before ".txt".
        EXPECT_EQ(dialog.DateiEdit->text(), tablePath(QStringLiteral("BELEG.DB.txt")));
        EXPECT_FALSE(dialog.CustReport->isVisible());
        EXPECT_TRUE(dialog.OKBtn->isVisible());
        EXPECT_FALSE(dialog.HelpBtn->isVisible());
        EXPECT_FALSE(dialog.CancelBtn->isVisible());
        EXPECT_EQ(dialog.OKBtn->icon().cacheKey(), form.DruckBtn->icon().cacheKey());

        // updateAnsicht: the file name only while "Datei" is chosen.
        EXPECT_FALSE(dialog.DateiLabel->isVisible());
        EXPECT_FALSE(dialog.DateiEdit->isVisible());
        dialog.alleRadio->click();
        EXPECT_TRUE(dialog.DateiLabel->isVisible());
        EXPECT_TRUE(dialog.DateiEdit->isVisible());
        dialog.aktuellRadio->click();
        EXPECT_FALSE(dialog.DateiLabel->isVisible());
        EXPECT_FALSE(dialog.DateiEdit->isVisible());
        dialog.alleRadio->click();
        dialog.DateiEdit->setText(file("x.txt"));
    });
    EXPECT_TRUE(shown);
    EXPECT_TRUE(QFile::exists(file("x.txt")));
}

// There is no way to cancel: closing the dialog by its frame reports to the chosen target.
TEST_F(DruckTabTest, ClosingTheDialogByItsFrameStillWritesTheFile) {
    createBeleg();
    window.choose(QStringLiteral("BELEG.DB"));
    ASSERT_TRUE(runReport(form, [](TDruckForm& dialog) {
        dialog.alleRadio->click();
        dialog.close();
    }));
    EXPECT_TRUE(prompts.errorBoxes.empty());
    EXPECT_EQ(test::readCrLfLines(alias.file("BELEG.DB.txt")).size(), 13);
}

TEST_F(DruckTabTest, AnExistingFileIsReplacedOnlyAfterTheUserAgrees) {
    createBeleg();
    window.choose(QStringLiteral("BELEG.DB"));
    const std::string old = std::string(5000, 'x') + "\n";
    std::ofstream(alias.file("alt.txt")) << old;

    prompts.messageAnswers = {mrNo};
    ASSERT_TRUE(runReport(form, toFile(file("alt.txt"))));
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].type, TMsgDlgType::mtConfirmation);
    EXPECT_EQ(prompts.messages[0].buttons, mbYes | mbNo);
    EXPECT_TRUE(prompts.messages[0].text.contains(file("alt.txt")));
    const std::vector<char> kept = test::readFileBytes(alias.file("alt.txt"));
    EXPECT_EQ(std::string(kept.begin(), kept.end()), old);

    prompts.messageAnswers = {mrYes};
    ASSERT_TRUE(runReport(form, toFile(file("alt.txt"))));
    const QStringList lines = test::readCrLfLines(alias.file("alt.txt"));
    ASSERT_EQ(lines.size(), 13);
    EXPECT_EQ(lines[10], QStringLiteral("Betrag;Nr"));
    EXPECT_TRUE(prompts.errorBoxes.empty());
}

// Every file of the alias directory, with its bytes.
std::map<std::string, std::vector<char>> directoryBytes(const std::string& directory) {
    std::map<std::string, std::vector<char>> files;
    for (const auto& entry : std::filesystem::directory_iterator(directory))
        files[entry.path().filename().string()] = test::readFileBytes(entry.path().string());
    return files;
}

// Tables of every kind with companions: Paradox with primary and secondary indexes, dBase with
// memo and production index, a text table with its schema.
void createTablesWithCompanions(test::ReportAlias& alias) {
    test::createBeleg(alias);
    alias.createTable(TTableType::ttDBase, "artikel.dbf",
                      {{"BEZ", TFieldType::ftString, 40}, {"NOTIZ", TFieldType::ftMemo, 10}},
                      {indexOn("BEZ", "BEZ")});
    alias.createTable(TTableType::ttASCII, "LISTE.TXT", {{"NAME", TFieldType::ftString, 20}}, {});
}

class TableFileTarget : public DruckTabTest, public testing::WithParamInterface<const char*> {};

// The report never takes the place of a table or of a file that belongs to one, whatever the
// letter case, also when the file does not exist yet; every file stays byte for byte.
TEST_P(TableFileTarget, IsRefusedAndNothingChanges) {
    createTablesWithCompanions(alias);
    window.choose(QStringLiteral("BELEG.DB"));
    const auto before = directoryBytes(alias.directory());
    ASSERT_TRUE(before.count("BELEG.PX") &&
                before.count("artikel.dbt") + before.count("ARTIKEL.DBT") &&
                before.count("LISTE.SCH"))
        << "the companions this test relies on are missing";

    ASSERT_TRUE(runReport(form, toFile(file(GetParam()))));
    ASSERT_EQ(prompts.errorBoxes.size(), 1u);
    EXPECT_TRUE(prompts.errorBoxes[0].contains(QStringLiteral("gehört zur Tabelle")))
        << prompts.errorBoxes[0].toStdString();
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_EQ(directoryBytes(alias.directory()), before);
}

INSTANTIATE_TEST_SUITE_P(Files, TableFileTarget,
                         testing::Values("BELEG.DB", "beleg.db", "BELEG.PX", "beleg.x02",
                                         "artikel.dbf", "ARTIKEL.DBT", "artikel.mdx", "LISTE.TXT",
                                         "liste.sch", "NEU.DB", "neu.dbf"));

TEST_F(DruckTabTest, AnEmptyFileNameIsRefusedWithAPlainMessage) {
    createBeleg();
    window.choose(QStringLiteral("BELEG.DB"));
    ASSERT_TRUE(runReport(form, toFile(QString())));
    ASSERT_EQ(prompts.errorBoxes.size(), 1u);
    EXPECT_EQ(prompts.errorBoxes[0], QStringLiteral("Es muss ein Datei-Name angegeben werden."));
}

TEST_F(DruckTabTest, WithoutAChosenTableNothingHappens) {
    createBeleg();
    window.choose(QString());
    EXPECT_FALSE(runReport(form, toFile(file("x.txt"))));
    window.choose(QStringLiteral("BELEG"));  // a table name always has an extension
    EXPECT_FALSE(runReport(form, toFile(file("x.txt"))));
    EXPECT_TRUE(prompts.errorBoxes.empty());
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_FALSE(QFile::exists(file("x.txt")));
}

TEST_F(DruckTabTest, ATableThatCannotBeOpenedShowsTheEngineErrorAndNoDialog) {
    window.choose(QStringLiteral("FEHLT.DB"));
    EXPECT_FALSE(runReport(form, toFile(file("x.txt"))));
    ASSERT_EQ(prompts.errorBoxes.size(), 1u);
    EXPECT_TRUE(prompts.errorBoxes[0].contains(QStringLiteral("FEHLT")))
        << prompts.errorBoxes[0].toStdString();
    EXPECT_FALSE(QFile::exists(file("x.txt")));
}

TEST_F(DruckTabTest, AnUnwritableFileNameShowsAnErrorNamingTheFile) {
    createBeleg();
    window.choose(QStringLiteral("BELEG.DB"));
    const QString target = file("fehlt/bericht.txt");
    ASSERT_TRUE(runReport(form, toFile(target)));
    ASSERT_EQ(prompts.errorBoxes.size(), 1u);
    EXPECT_TRUE(prompts.errorBoxes[0].contains(target)) << prompts.errorBoxes[0].toStdString();
    EXPECT_FALSE(QFile::exists(target));
}

// A directory named in an old 8-bit code page ("café" in Latin-1): the default file lands in it
// and the title shows its bytes as they are.
TEST_F(DruckTabTest, ADirectoryNamedInAnOldCodePageKeepsItsBytes) {
    const std::string latin1 = alias.dir.file("caf\xE9");
    std::filesystem::create_directories(latin1);
    std::ofstream(alias.dir.file("engine.ini"))
        << "[REPORT]\nTYPE=STANDARD\nPATH=" << latin1 << "\n";
    Session().setConfigPath(alias.dir.file("engine.ini"));
    TableFormat& format = formatFor(TTableType::ttParadox, "ALT.DB");
    TableSchema schema;
    schema.fields = {fieldForCreate(format, "Name", TFieldType::ftString, 10, false)};
    createTable(format, TablePath{latin1, "ALT.DB"}, schema);
    window.choose(QStringLiteral("ALT.DB"));

    ASSERT_TRUE(runReport(form, [](TDruckForm& dialog) {
        dialog.alleRadio->click();
        dialog.OKBtn->click();
    }));
    ASSERT_TRUE(prompts.errorBoxes.empty()) << prompts.errorBoxes.front().toStdString();
    const std::vector<char> bytes = test::readFileBytes(latin1 + "/ALT.DB.txt");
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_NE(text.find("\"" + latin1 + "/ALT.DB\"\r\n"), std::string::npos) << text;
}

class NoPrinterTest : public DruckTabTest {
  protected:
    void SetUp() override {
        if (!QPrinterInfo::defaultPrinter().isNull())
            GTEST_SKIP() << "a printer is installed on this machine";
        createBeleg();
        window.choose(QStringLiteral("BELEG.DB"));
    }
};

TEST_F(NoPrinterTest, TheUserIsToldAndMayDecline) {
    prompts.messageAnswers = {mrNo};
    ASSERT_TRUE(runReport(form, [](TDruckForm& dialog) { dialog.OKBtn->click(); }));
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].type, TMsgDlgType::mtConfirmation);
    EXPECT_EQ(prompts.messages[0].buttons, mbYes | mbNo);
    EXPECT_TRUE(prompts.messages[0].text.contains(QStringLiteral("kein Standarddrucker")));
    EXPECT_TRUE(prompts.inputs.empty());
    EXPECT_TRUE(prompts.errorBoxes.empty());
    EXPECT_EQ(QDir(QString::fromStdString(alias.directory())).entryList({"*.pdf"}).size(), 0);
}

TEST_F(NoPrinterTest, ThePdfFileOfferedIsBesideTheTable) {
    prompts.messageAnswers = {mrYes};
    prompts.inputAnswers = {std::nullopt};
    ASSERT_TRUE(runReport(form, [](TDruckForm& dialog) { dialog.OKBtn->click(); }));
    ASSERT_EQ(prompts.inputs.size(), 1u);
    EXPECT_EQ(prompts.inputs[0].preset, tablePath(QStringLiteral("BELEG.DB.pdf")));
    EXPECT_FALSE(QFile::exists(tablePath(QStringLiteral("BELEG.DB.pdf"))));
}

TEST_F(NoPrinterTest, ThePdfNeverReplacesATable) {
    const auto before = directoryBytes(alias.directory());
    prompts.messageAnswers = {mrYes};
    prompts.inputAnswers = {tablePath(QStringLiteral("BELEG.DB"))};
    ASSERT_TRUE(runReport(form, [](TDruckForm& dialog) { dialog.OKBtn->click(); }));
    ASSERT_EQ(prompts.errorBoxes.size(), 1u);
    EXPECT_TRUE(prompts.errorBoxes[0].contains(QStringLiteral("gehört zur Tabelle")));
    EXPECT_EQ(directoryBytes(alias.directory()), before);
}

TEST_F(NoPrinterTest, AnExistingPdfIsReplacedOnlyAfterTheUserAgrees) {
    std::ofstream(alias.file("alt.pdf")) << "alt";
    prompts.messageAnswers = {mrYes, mrNo};
    prompts.inputAnswers = {file("alt.pdf")};
    ASSERT_TRUE(runReport(form, [](TDruckForm& dialog) { dialog.OKBtn->click(); }));
    ASSERT_EQ(prompts.messages.size(), 2u);
    EXPECT_TRUE(prompts.messages[1].text.contains(file("alt.pdf")));
    const std::vector<char> kept = test::readFileBytes(alias.file("alt.pdf"));
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "alt");
}

TEST_F(NoPrinterTest, AnUnwritablePdfFileShowsAnError) {
    prompts.messageAnswers = {mrYes};
    prompts.inputAnswers = {file("fehlt/bericht.pdf")};
    ASSERT_TRUE(runReport(form, [](TDruckForm& dialog) { dialog.OKBtn->click(); }));
    ASSERT_EQ(prompts.errorBoxes.size(), 1u);
    EXPECT_TRUE(prompts.errorBoxes[0].contains(file("fehlt/bericht.pdf")))
        << prompts.errorBoxes[0].toStdString();
}

// The toolbar button runs the report.
TEST_F(DruckTabTest, ThePrintButtonOpensTheDialog) {
    createBeleg();
    window.choose(QStringLiteral("BELEG.DB"));
    form.DruckBtn->setEnabled(true);
    bool shown = false;
    QObject guard;
    QTimer::singleShot(0, &guard, [&] {
        auto* dialog = qobject_cast<TDruckForm*>(QApplication::activeModalWidget());
        if (!dialog) return;
        shown = true;
        toFile(file("knopf.txt"))(*dialog);
    });
    form.DruckBtn->click();
    EXPECT_TRUE(shown);
    EXPECT_TRUE(QFile::exists(file("knopf.txt")));
}

}  // namespace
}  // namespace kx4
