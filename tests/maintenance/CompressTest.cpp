// "Compress": a Paradox pack by restructure and a dBase pack by the engine's pack call give back
// the space of deleted records and keep every other record, memo and index; pxlib and dbfread
// read the results.
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <filesystem>
#include <fstream>
#include <set>

#include "engine/Session.h"
#include "engine/Table.h"
#include "engine/TableMaintenance.h"
#include "tests/engine/paradox/PxlibReader.h"
#include "tests/maintenance/MaintenanceTestSupport.h"
#include "tests/support/FaultyFileSystem.h"

namespace kx4 {
namespace {

using test::ShowRecorder;

std::vector<std::uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

unsigned le16(const std::vector<std::uint8_t>& b, std::size_t at) { return b[at] | b[at + 1] << 8; }
void putLe16(std::vector<std::uint8_t>& b, std::size_t at, unsigned v) {
    b[at] = v & 0xFF;
    b[at + 1] = (v >> 8) & 0xFF;
}

// Deletes records of a Paradox table as the Paradox engine does: the later records of a block
// move up, the block's addDataSize shrinks and the header's record count drops; the index files
// are left as they were. Every second record of each block goes, the first stays. Returns how
// many records were deleted.
//   .DB header: 0x00 u16 record size, 0x02 u16 header size, 0x05 u8 block size in KiB,
//               0x06 u32 record count, 0x0E u16 first block of the chain
//   data block: 0 u16 next block, 2 u16 previous block, 4 i16 addDataSize =
//               (records - 1) * record size, records from offset 6
int deleteEveryOtherParadoxRecord(const std::string& path) {
    std::vector<std::uint8_t> file = readBytes(path);
    const unsigned recordSize = le16(file, 0x00);
    const unsigned headerSize = le16(file, 0x02);
    const unsigned blockSize = file.at(0x05) * 1024u;
    int deleted = 0;
    for (unsigned block = le16(file, 0x0E); block != 0;) {
        const std::size_t start = headerSize + (block - 1) * std::size_t{blockSize};
        const int records = static_cast<std::int16_t>(le16(file, start + 4)) / int(recordSize) + 1;
        int kept = 0;
        for (int r = 0; r < records; ++r) {
            if (r % 2 == 1) continue;
            std::copy_n(file.begin() + start + 6 + r * recordSize, recordSize,
                        file.begin() + start + 6 + kept * recordSize);
            ++kept;
        }
        deleted += records - kept;
        putLe16(file, start + 4, (kept - 1) * recordSize);
        block = le16(file, start);
    }
    const std::uint32_t count =
        file[6] | file[7] << 8 | file[8] << 16 | std::uint32_t{file[9]} << 24;
    const std::uint32_t left = count - deleted;
    for (int i = 0; i < 4; ++i) file[6 + i] = (left >> (8 * i)) & 0xFF;
    writeBytes(path, file);
    return deleted;
}

// Marks records of a dBase table deleted as other programs do: '*' in the first byte of the
// record. Header: 0x08 u16 header length, 0x0A u16 record length.
void markDBaseRecordsDeleted(const std::string& path, const std::set<int>& records) {
    std::vector<std::uint8_t> file = readBytes(path);
    const std::size_t headerLength = le16(file, 8), recordLength = le16(file, 10);
    for (int n : records) file.at(headerLength + n * recordLength) = '*';
    writeBytes(path, file);
}

// dbfread's view: one line per live record, then "deleted: N".
std::string readWithDbfread(const std::string& path) {
    const std::string script =
        "import sys\n"
        "from dbfread import DBF\n"
        "t = DBF(sys.argv[1])\n"
        "for r in t: print('|'.join(str(v) for v in r.values()))\n"
        "print('deleted: %d' % len(t.deleted))\n";
    std::string output;
    const int status = test::runCommand(
        std::string(KX4_DEBIAN_PYTHON) + " -c \"" + script + "\" '" + path + "' 2>&1", output);
    return status == 0 ? output : "dbfread failed: " + output;
}

const QString kSuccess = QStringLiteral("Tabelle erfolgreich komprimiert!");

class Compress : public test::MaintenanceTest {
  protected:
    std::string memo(int i) const {
        return "Lieferung " + std::to_string(i) + ": " + std::string(60 + i % 50, 'x');
    }

    // LAGER.DB: keyed, a memo field and two secondary indexes; 300 records in several blocks.
    void createParadoxStock() {
        const std::string t = "LAGER.DB";
        std::vector<Record> records;
        for (int i = 0; i < 300; ++i)
            records.push_back({std::int64_t{i + 1}, "Artikel " + std::to_string(1000 - i),
                               std::int64_t{i * 7 % 101}, FieldValue(memo(i))});
        createTable(
            t,
            {{field(t, "NR", TFieldType::ftInteger), field(t, "NAME", TFieldType::ftString, 30),
              field(t, "MENGE", TFieldType::ftInteger), field(t, "NOTIZ", TFieldType::ftMemo, 10)},
             {indexOn("", "NR", IndexOption::ixPrimary),
              indexOn("NAMEIDX", "NAME", IndexOption::ixCaseInsensitive),
              indexOn("MENGEIDX", "MENGE;NAME", IndexOption::ixUnique)}},
            records);
    }

    // BESTAND.DBF: a memo file and two tags; 60 records.
    void createDBaseStock() {
        const std::string t = "BESTAND.DBF";
        std::vector<Record> records;
        for (int i = 0; i < 60; ++i)
            records.push_back({"B-" + std::to_string(5000 + i), "Teil " + std::to_string(99 - i),
                               std::int64_t{i * 3},
                               i % 2 ? FieldValue(memo(i)) : FieldValue(Blank{})});
        createTable(
            t,
            {{field(t, "ARTNR", TFieldType::ftString, 8),
              field(t, "BEZEICH", TFieldType::ftString, 20),
              field(t, "LAGER", TFieldType::ftInteger), field(t, "NOTIZ", TFieldType::ftMemo, 10)},
             {indexOn("ARTNR", "ARTNR", IndexOption::ixUnique),
              indexOn("BEZEICH", "BEZEICH", IndexOption::ixCaseInsensitive)}},
            records);
    }

    void compress(const char* table, std::optional<QString> typed) {
        chooseTable(QString::fromUtf8(table));
        prompts.inputAnswers.push_back(std::move(typed));
        press(&TTabellenForm::CompressBtnClick);
    }
    void compress(const char* table) { compress(table, QString::fromUtf8(table)); }

    std::vector<std::string> problemsOf(const std::string& table) const {
        TTable reader;
        reader.DatabaseName = "DEMO";
        reader.TableName = table;
        reader.Open();
        return reader.File().check();
    }
    std::uintmax_t sizeOf(const std::string& file) const {
        return std::filesystem::file_size(tablePath(file));
    }
};

TEST_F(Compress, AParadoxPackGivesBackTheSpaceAndKeepsRecordsMemosAndIndexes) {
    createParadoxStock();
    const std::uintmax_t fullSize = sizeOf("LAGER.DB"), fullMemos = sizeOf("LAGER.MB");
    const int deleted = deleteEveryOtherParadoxRecord(tablePath("LAGER.DB"));
    ASSERT_GT(deleted, 100);
    const test::PxlibTable before = test::readWithPxlib(tablePath("LAGER.DB"));
    ASSERT_TRUE(before.error.empty()) << before.error;
    ASSERT_EQ(before.recordCount, 300 - deleted);
    const std::string records = test::dumpTable("DEMO", "LAGER.DB");
    ASSERT_FALSE(problemsOf("LAGER.DB").empty());  // the indexes still list the deleted records

    form->Label2->setText(QStringLiteral("(Indizes werden neu angelegt)"));
    ShowRecorder waitPanel(form->WartePanel, form->Label2);
    prompts.messageAnswers = {mrOk};
    compress("LAGER.DB");

    EXPECT_TRUE(prompts.errorBoxes.empty()) << prompts.errorBoxes.front();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, kSuccess);
    EXPECT_EQ(prompts.messages[0].type, TMsgDlgType::mtInformation);
    EXPECT_EQ(prompts.messages[0].buttons, TMsgDlgButtons{mbOK});
    EXPECT_EQ(waitPanel.shownWith, QStringList({"(Tabelle wird komprimiert)"}));
    EXPECT_FALSE(form->WartePanel->isVisibleTo(form.get()));

    EXPECT_LT(sizeOf("LAGER.DB"), fullSize);
    EXPECT_LT(sizeOf("LAGER.MB"), fullMemos);
    EXPECT_EQ(test::dumpTable("DEMO", "LAGER.DB"), records);  // memos included
    EXPECT_TRUE(problemsOf("LAGER.DB").empty());
    const test::PxlibTable after = test::readWithPxlib(tablePath("LAGER.DB"));
    EXPECT_TRUE(after.error.empty()) << after.error;
    EXPECT_EQ(after.records, before.records);
    std::vector<std::string> names;
    for (const IndexDef& index : indexesOf("LAGER.DB")) names.push_back(index.name);
    EXPECT_EQ(names, std::vector<std::string>({"", "NAMEIDX", "MENGEIDX"}));
}

TEST_F(Compress, ADBasePackOnTheOpenCursorKeepsRecordsMemosAndTags) {
    createDBaseStock();
    std::set<int> gone;
    for (int n = 0; n < 60; n += 3) gone.insert(n);
    markDBaseRecordsDeleted(tablePath("BESTAND.DBF"), gone);
    const std::uintmax_t fullSize = sizeOf("BESTAND.DBF");
    const std::string seenByDbfread = readWithDbfread(tablePath("BESTAND.DBF"));
    ASSERT_NE(seenByDbfread.find("deleted: 20\n"), std::string::npos) << seenByDbfread;
    const std::string records = test::dumpTable("DEMO", "BESTAND.DBF");

    ShowRecorder waitPanel(form->WartePanel, form->Label2);
    prompts.messageAnswers = {mrOk};
    compress("BESTAND.DBF");

    EXPECT_TRUE(prompts.errorBoxes.empty()) << prompts.errorBoxes.front();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, kSuccess);
    EXPECT_TRUE(waitPanel.shownWith.isEmpty());
    const std::string packed = readWithDbfread(tablePath("BESTAND.DBF"));
    std::string expected = seenByDbfread;
    expected.replace(expected.find("deleted: 20"), 11, "deleted: 0");
    EXPECT_EQ(packed, expected);
    EXPECT_NE(packed.find(memo(1)), std::string::npos);
    const std::size_t recordLength = le16(readBytes(tablePath("BESTAND.DBF")), 10);
    EXPECT_EQ(sizeOf("BESTAND.DBF"), fullSize - 20 * recordLength);
    EXPECT_EQ(test::dumpTable("DEMO", "BESTAND.DBF"), records);
    EXPECT_TRUE(problemsOf("BESTAND.DBF").empty());
    EXPECT_EQ(indexesOf("BESTAND.DBF").size(), 2u);
}

TEST_F(Compress, AFailingDBasePackIsReportedAndChangesNothing) {
    createDBaseStock();
    markDBaseRecordsDeleted(tablePath("BESTAND.DBF"), {0, 1});
    const std::string before = snapshot();
    {
        test::FaultyFileSystem full(1, /*diskFull=*/true);
        const test::ScopedFileSystem use(full);
        compress("BESTAND.DBF");
    }
    ASSERT_EQ(prompts.errorBoxes.size(), 1u);
    EXPECT_NE(prompts.errorBoxes[0].indexOf("No space left"), -1) << prompts.errorBoxes[0];
    EXPECT_TRUE(prompts.messages.empty());  // no success message
    EXPECT_EQ(snapshot(), before);
}

TEST_F(Compress, APathLongerThanTheDescriptorTakesIsRefusedClearly) {
    // An alias whose directory leaves too little room for the table's file name.
    std::filesystem::path directory = demo.dir().path() / "lang";
    while (directory.string().size() < 235) directory /= std::string(40, 'v');
    std::filesystem::create_directories(directory);
    std::ofstream(demo.dir().file("engine.ini"), std::ios::app)
        << "[LANG]\nTYPE=STANDARD\nPATH=" << directory.string() << "\n";
    Session().setConfigPath(demo.dir().file("engine.ini"));
    const std::string name = "EIN_SEHR_LANGER_TABELLENNAME_ZUM_TESTEN.DB";
    kx4::createTable(formatFor(TTableType::ttParadox, name), TablePath{directory.string(), name},
                     {{field(name, "NR", TFieldType::ftInteger)}, {}}, {{std::int64_t{1}}});
    const std::string before = test::directorySnapshot(directory);
    form->AliasBox->blockSignals(true);
    form->AliasBox->setCurrentText("LANG");
    form->AliasBox->blockSignals(false);

    compress(name.c_str());
    ASSERT_EQ(prompts.errorBoxes.size(), 1u);
    EXPECT_NE(prompts.errorBoxes[0].indexOf(QStringLiteral("zu lang")), -1)
        << prompts.errorBoxes[0];
    EXPECT_NE(
        prompts.errorBoxes[0].indexOf(QString::fromStdString(directory.string() + "/" + name)), -1);
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_EQ(test::directorySnapshot(directory), before);
}

TEST_F(Compress, RetryThenCancelNamesTheTypedTableAndChangesNothing) {
    chooseTable("KUNDEN.DB");
    test::OtherProcessLock other(tablePath("KUNDEN.DB"));
    const std::string before = snapshot();
    prompts.messageAnswers = {mrOk, mrCancel};
    compress("KUNDEN.DB", QStringLiteral("Kundenstamm"));

    ASSERT_EQ(prompts.inputs.size(), 1u);
    EXPECT_EQ(prompts.inputs[0].caption, "Tabelle: ");
    EXPECT_EQ(prompts.inputs[0].prompt, "Tabellen-Name: ");
    EXPECT_EQ(prompts.inputs[0].preset, "KUNDEN.DB");
    ASSERT_EQ(prompts.messages.size(), 2u);
    EXPECT_EQ(prompts.messages[1].text,
              QStringLiteral("Tabelle \"Kundenstamm\" konnte nicht exclusiv geöffnet werden - OK "
                             "zu weiterem Versuch?"));
    EXPECT_EQ(prompts.messages[1].type, TMsgDlgType::mtError);
    EXPECT_EQ(prompts.errorBoxes.size(), 1u);
    EXPECT_EQ(snapshot(), before);
}

TEST_F(Compress, TheTextsComeFromTheTextCatalogue) {
    const test::CatalogueScope module(
        TextCatalogue::parseModule("65127=Table: \n65128=Table name: \n65133=Table compressed!\n"));
    prompts.messageAnswers = {mrOk};
    compress("ARTIKEL.DBF");
    ASSERT_EQ(prompts.inputs.size(), 1u);
    EXPECT_EQ(prompts.inputs[0].caption, "Table: ");
    EXPECT_EQ(prompts.inputs[0].prompt, "Table name: ");
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "Table compressed!");
}

TEST_F(Compress, CancelInTheInputBoxChangesNothing) {
    const std::string before = snapshot();
    compress("KUNDEN.DB", std::nullopt);
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_TRUE(prompts.errorBoxes.empty());
    EXPECT_EQ(snapshot(), before);
}

TEST_F(Compress, ATextTableIsNeitherPackedNorReported) {
    const std::string before = snapshot();
    compress("PREISE.TXT");
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_TRUE(prompts.errorBoxes.empty());
    EXPECT_EQ(snapshot(), before);
}

TEST_F(Compress, WithoutAChosenTableNothingHappens) {
    chooseTable("");
    press(&TTabellenForm::CompressBtnClick);
    EXPECT_TRUE(prompts.inputs.empty());
}

// "Abbrechen" clicked on the panel while the pack copies the records: the window repainted and
// showed the phase, the pack stops without any box, and the table and its lists are as before.
TEST_F(Compress, AbbrechenOnThePanelStopsThePackAndLeavesTheTable) {
    const std::string t = "GROSS.DB";
    std::vector<Record> records;
    for (int i = 0; i < 40000; ++i)
        records.push_back({std::int64_t{i + 1}, "Name " + std::to_string(i % 1009)});
    createTable(
        t,
        {{field(t, "NR", TFieldType::ftInteger), field(t, "NAME", TFieldType::ftString, 30)},
         {indexOn("", "NR", IndexOption::ixPrimary),
          indexOn("NAMEIDX", "NAME", IndexOption::ixCaseInsensitive)}},
        records);
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    chooseTable(QStringLiteral("GROSS.DB"));
    const auto fieldRows = [&] {
        QStringList rows;
        for (int i = 0; i < form->ListView1->topLevelItemCount(); ++i)
            rows << form->ListView1->topLevelItem(i)->text(0) + u'|' +
                        form->ListView1->topLevelItem(i)->text(2);
        return rows;
    };
    const QStringList fieldsBefore = fieldRows(), indexesBefore = indexRows();
    const std::string files = snapshot();

    QString phaseWhenClicked;
    QTimer user;
    user.setInterval(0);
    QObject::connect(&user, &QTimer::timeout, [&] {
        QProgressBar* bar = form->WartePanel->Fortschritt;
        if (!phaseWhenClicked.isEmpty() || !form->WartePanel->isVisible() || bar->value() == 0)
            return;
        phaseWhenClicked = bar->text();
        QTest::mouseClick(form->WartePanel->AbbrechenBtn, Qt::LeftButton);
    });
    user.start();
    compress("GROSS.DB");
    user.stop();

    EXPECT_TRUE(phaseWhenClicked.startsWith(QStringLiteral("Datensätze"))) << phaseWhenClicked;
    EXPECT_TRUE(prompts.errorBoxes.empty()) << prompts.errorBoxes.front();
    EXPECT_TRUE(prompts.messages.empty()) << prompts.messages.front().text;
    EXPECT_FALSE(form->WartePanel->isVisibleTo(form.get()));
    EXPECT_EQ(snapshot(), files);
    EXPECT_EQ(fieldRows(), fieldsBefore);
    EXPECT_EQ(indexRows(), indexesBefore);
}

}  // namespace
}  // namespace kx4
