// "Field Type" driven through the real button and dialog: type changes on Paradox and dBase
// tables, the exclusivity probe with its retry question, cancel paths and refused conversions.
#include <gtest/gtest.h>

#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QTimer>
#include <QToolButton>

#include "app/ChangeFeldTypForm.h"
#include "app/StartUp.h"
#include "engine/core/ValueConversion.h"
#include "tests/app/AppTestSupport.h"
#include "tests/app/BrowserTestSupport.h"
#include "tests/app/ScriptedPrompts.h"
#include "tests/app/TableFixtures.h"

namespace kx4 {
namespace {

using test::clickItem;
using test::clickTable;
using test::directorySnapshot;
using test::FieldSpec;
using FT = TFieldType;

const QString kNoFieldChosen =
    QStringLiteral("Es muss zuerst ein Feld in der Liste gewählt werden!");
const QString kNotAWholeNumber = QStringLiteral("Wert muss eine ganze Zahl sein!");

QString retryQuestion(const QString& table) {
    return "\"" + table +
           QStringLiteral("\" konnte nicht exclusiv geöffnet werden - OK zu weiterem Versuch?");
}

FieldValue text(const char* s) { return std::string(s); }
FieldValue whole(std::int64_t v) { return v; }
Timestamp midnight(int y, int m, int d) {
    return {std::int64_t{dateFromYmd(y, m, d).day} * 86400000};
}

const char* const kLongNote =
    "Ein langer Text, der nicht in den Datensatz passt, sondern in die Blob-Datei muss.";

// Keyed on NR, with a secondary index on NAME and a composite one on MENGE;ANZAHL; memo and
// binary values long enough to live in the blob file.
void writeLager(const std::string& dir) {
    const std::vector<FieldSpec> fields = {
        {"NR", FT::ftInteger},          {"NAME", FT::ftString, 20},   {"KURZ", FT::ftString, 10},
        {"MENGE", FT::ftSmallint},      {"ANZAHL", FT::ftInteger},    {"PREIS", FT::ftFloat},
        {"BETRAG", FT::ftCurrency},     {"TAG", FT::ftDate},          {"FLAG", FT::ftSmallint},
        {"DATUMTXT", FT::ftString, 10}, {"UHRZEIT", FT::ftString, 8}, {"ZEIT", FT::ftTime},
        {"STEMPEL", FT::ftDateTime},    {"NOTIZ", FT::ftMemo, 20},    {"ROH", FT::ftBytes, 8},
        {"DATEN", FT::ftBlob, 10},      {"BILD", FT::ftGraphic, 10}};
    std::vector<Record> records;
    const char* names[] = {"Müller", "Weiß", "Özdemir"};
    const char* shorts[] = {"12", "7", "300"};
    for (int i = 0; i < 3; ++i) {
        records.push_back({whole(1001 + i), text(names[i]), text(shorts[i]), whole(12 + i),
                           whole(i == 2 ? 70000 : 1000 * (i + 1)), 1.5 + i, 1.25 + i,
                           dateFromYmd(2003, 5, 2 + i), whole(i % 2), text("2003-05-02"),
                           text("08:30:00"), Time{3600000 * (i + 1)}, midnight(2001, 1, 1 + i),
                           i == 1 ? FieldValue(Blank{}) : text(kLongNote),
                           Bytes{1, 2, 3, static_cast<std::uint8_t>(i)},
                           Blob{Bytes(300, static_cast<std::uint8_t>(i + 1))}, Blob{Bytes(50, 7)}});
    }
    test::writeTable(
        dir, "LAGER.DB", TTableType::ttParadox, fields,
        {test::primaryKey("NR"), indexOn("NAME", "NAME"), indexOn("MENGEANZ", "MENGE;ANZAHL")},
        records);
}

// A dBase twin with a field tag and an expression tag.
void writeBestand(const std::string& dir) {
    const std::vector<FieldSpec> fields = {{"NR", FT::ftUnknown, 9, fldDBNUM},
                                           {"NAME", FT::ftString, 20},
                                           {"KURZ", FT::ftString, 10},
                                           {"MENGE", FT::ftUnknown, 6, fldDBNUM},
                                           {"ANZAHL", FT::ftUnknown, 11, fldDBNUM},
                                           {"PREIS", FT::ftUnknown, 20, fldDBNUM, 4},
                                           {"TAG", FT::ftDate},
                                           {"FLAG", FT::ftUnknown, 6, fldDBNUM},
                                           {"DATUMTXT", FT::ftString, 10},
                                           {"UHRZEIT", FT::ftString, 8},
                                           {"NOTIZ", FT::ftMemo},
                                           {"AKTIV", FT::ftBoolean}};
    std::vector<Record> records;
    const char* names[] = {"Schraube", "Mutter", "Dübel"};
    const char* shorts[] = {"12", "7", "300"};
    for (int i = 0; i < 3; ++i) {
        records.push_back({whole(1001 + i), text(names[i]), text(shorts[i]), whole(12 + i),
                           whole(i == 2 ? 70000 : 1000 * (i + 1)), 1.5 + i,
                           dateFromYmd(2003, 5, 2 + i), whole(i % 2), text("2003-05-02"),
                           text("08:30:00"), i == 1 ? FieldValue(Blank{}) : text(kLongNote),
                           i % 2 == 0});
    }
    test::writeTable(
        dir, "BESTAND.DBF", TTableType::ttDBase, fields,
        {indexOn("NAME", "NAME"), test::expressionIndex("NAMEMENGE", "UPPER(NAME)+STR(MENGE)")},
        records);
}

// The dialog without a nested event loop: the script fills it and presses its real buttons; a
// script that presses nothing leaves as closing the window by its frame does.
class ScriptedFeldTypForm : public TChangeFeldTypForm {
  public:
    using TChangeFeldTypForm::TChangeFeldTypForm;

    struct Shown {
        QString alias, table, field, oldType, typeBox, size;
    };
    std::vector<Shown> shown;
    std::function<void(TChangeFeldTypForm&)> script;

    int ShowModal() override {
        shown.push_back({AliasEdit->text(), TabNameEdit->text(), FeldEdit->text(),
                         altFeldTypEdit->text(), FeldTypBox->currentText(), FeldSizeEdit->text()});
        setResult(mrNone);
        if (script) script(*this);
        if (result() == mrNone) reject();
        return result();
    }
};

std::function<void(TChangeFeldTypForm&)> choose(const QString& typName, const QString& size) {
    return [typName, size](TChangeFeldTypForm& dialog) {
        // Typed over what the box and the edit hold, as a user does.
        for (QLineEdit* edit : {dialog.FeldTypBox->lineEdit(), dialog.FeldSizeEdit}) {
            edit->setFocus();
            QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClick(edit, Qt::Key_Delete);
            QTest::keyClicks(edit, edit == dialog.FeldSizeEdit ? size : typName);
        }
        QTest::mouseClick(dialog.OKBtn, Qt::LeftButton);
    };
}

// What a table holds, read back through the engine.
struct TableContents {
    std::vector<std::string> fields;
    std::vector<Record> records;
    std::vector<IndexDef> indexes;
    std::vector<std::string> problems;
    std::vector<std::size_t> recordsPerIndex;
};

TableContents readTable(const std::string& alias, const std::string& table) {
    TTable t;
    t.DatabaseName = alias;
    t.TableName = table;
    t.Open();
    TableContents contents;
    t.GetFieldNames(contents.fields);
    auto cursor = t.Records();
    Record record;
    while (cursor->next(record)) contents.records.push_back(record);
    contents.indexes = t.IndexDefs().items();
    contents.problems = t.File().check();
    for (const IndexDef& index : contents.indexes) {
        if (index.options.has(IndexOption::ixPrimary)) continue;
        auto ordered = t.File().scanIndex(index.name);
        std::size_t count = 0;
        while (ordered->next(record)) ++count;
        contents.recordsPerIndex.push_back(count);
    }
    return contents;
}

class FeldTypTest : public testing::Test {
  protected:
    FeldTypTest() {
        test::testApplication();
        directory = aliases.addAlias("LAGER");
        writeLager(directory);
        writeBestand(directory);
        form = std::make_unique<TTabellenForm>(Session());
        dialog = new ScriptedFeldTypForm(form.get());
        form->ChangeFeldTypForm = dialog;
        form->show();
        test::chooseAlias(*form, "LAGER");
    }

    void chooseField(const QString& table, const QString& field) {
        clickTable(*form, table);
        QTreeWidgetItem* row = test::findRow(form->ListView1, field);
        ASSERT_NE(row, nullptr) << field.toStdString();
        clickItem(form->ListView1, row);
    }

    // Type text and length the browser shows for the field after clicking the table again.
    std::pair<QString, QString> shownType(const QString& table, const QString& field) {
        clickTable(*form, table);
        QTreeWidgetItem* row = test::findRow(form->ListView1, field);
        if (!row) return {};
        return {row->text(1), row->text(2)};
    }

    void changeField(const QString& table, const QString& field, const QString& typName,
                     const QString& size) {
        chooseField(table, field);
        dialog->script = choose(typName, size);
        QTest::mouseClick(form->FeldTypBtn, Qt::LeftButton);
    }

    test::LocaleScope german{"de_DE.UTF-8"};
    test::ScriptedPromptsScope prompts;
    test::SessionAliases aliases;
    std::string directory;
    std::unique_ptr<TTabellenForm> form;
    ScriptedFeldTypForm* dialog = nullptr;
};

// A change that the engine carries out: the field gets the new type, every other value, every
// blob and every index stays as it was.
struct ChangeCase {
    const char* table;
    const char* field;
    const char* typName;
    const char* size;
    const char* shownType;
    const char* shownLength;
    bool sameText;  // the changed field's values read the same as before
};

void PrintTo(const ChangeCase& c, std::ostream* os) {
    *os << c.table << " " << c.field << " -> " << c.typName << "(" << c.size << ")";
}

class TypeChange : public FeldTypTest, public testing::WithParamInterface<ChangeCase> {};

TEST_P(TypeChange, KeepsRecordsBlobsAndIndexes) {
    const ChangeCase& c = GetParam();
    const TableContents before = readTable("LAGER", c.table);
    const int column = static_cast<int>(
        std::find(before.fields.begin(), before.fields.end(), c.field) - before.fields.begin());
    ASSERT_LT(column, static_cast<int>(before.fields.size()));

    changeField(c.table, c.field, c.typName, c.size);

    ASSERT_TRUE(prompts.errorBoxes.empty()) << prompts.errorBoxes[0].toStdString();
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_TRUE(Session().passwords().empty());
    const TableContents after = readTable("LAGER", c.table);
    EXPECT_EQ(after.fields, before.fields);
    EXPECT_TRUE(after.problems.empty()) << after.problems[0];
    ASSERT_EQ(after.records.size(), before.records.size());
    for (std::size_t r = 0; r < before.records.size(); ++r) {
        for (int f = 0; f < static_cast<int>(before.fields.size()); ++f) {
            const FieldValue& was = before.records[r][f];
            const FieldValue& now = after.records[r][f];
            if (f != column) {
                EXPECT_EQ(now, was) << before.fields[f] << " of record " << r;
            } else {
                EXPECT_EQ(isBlank(now), isBlank(was)) << "record " << r;
                if (c.sameText) {
                    EXPECT_EQ(valueAsText(now), valueAsText(was)) << "record " << r;
                }
            }
        }
    }
    ASSERT_EQ(after.indexes.size(), before.indexes.size());
    for (std::size_t i = 0; i < before.indexes.size(); ++i) {
        EXPECT_EQ(after.indexes[i].name, before.indexes[i].name);
        EXPECT_EQ(after.indexes[i].fields, before.indexes[i].fields);
        EXPECT_EQ(after.indexes[i].expression, before.indexes[i].expression);
    }
    EXPECT_EQ(after.recordsPerIndex, before.recordsPerIndex);

    const auto [type, length] = shownType(c.table, c.field);
    EXPECT_EQ(type, c.shownType);
    EXPECT_EQ(length, c.shownLength);
}

// For each code of the type-name table that the format can hold.
INSTANTIATE_TEST_SUITE_P(
    Paradox, TypeChange,
    testing::Values(ChangeCase{"LAGER.DB", "NAME", "ftString", "30", "String", "30", true},
                    ChangeCase{"LAGER.DB", "KURZ", "ftSmallint", "", "SmallInt", "2", true},
                    ChangeCase{"LAGER.DB", "MENGE", "ftInteger", "", "Integer", "4", true},
                    // A long integer stays one: 70000 does not fit 16 bits.
                    ChangeCase{"LAGER.DB", "ANZAHL", "ftInteger", "", "Integer", "4", true},
                    ChangeCase{"LAGER.DB", "KURZ", "ftWord", "0", "Integer", "4", true},
                    ChangeCase{"LAGER.DB", "FLAG", "ftBoolean", "0", "Boolean", "2", false},
                    ChangeCase{"LAGER.DB", "ANZAHL", "ftFloat", "", "Float", "8", true},
                    ChangeCase{"LAGER.DB", "PREIS", "ftCurrency", "", "Currency", "8", true},
                    // The size is the number of digits; the decimals stay 0.
                    ChangeCase{"LAGER.DB", "KURZ", "ftBCD", "2", "BCD", "34", true},
                    ChangeCase{"LAGER.DB", "DATUMTXT", "ftDate", "", "Date", "4", true},
                    ChangeCase{"LAGER.DB", "UHRZEIT", "ftTime", "", "Time", "4", false},
                    ChangeCase{"LAGER.DB", "TAG", "ftDateTime", "", "DateTime", "8", false},
                    ChangeCase{"LAGER.DB", "KURZ", "ftBytes", "16", "Bytes", "16", false},
                    ChangeCase{"LAGER.DB", "NR", "ftAutoInc", "0", "Unknown (*)", "4", true},
                    ChangeCase{"LAGER.DB", "NOTIZ", "ftBlob", "30", "Blob", "30", false},
                    ChangeCase{"LAGER.DB", "KURZ", "ftMemo", "30", "Memo", "30", true},
                    // A picture is stored with its prefix, which its value then shows.
                    ChangeCase{"LAGER.DB", "DATEN", "ftGraphic", "30", "Graphic", "30", false},
                    ChangeCase{"LAGER.DB", "NOTIZ", "ftFmtMemo", "30", "Unknown", "0", false},
                    ChangeCase{"LAGER.DB", "DATEN", "ftParadoxOle", "30", "Unknown", "0", false},
                    ChangeCase{"LAGER.DB", "BILD", "ftTypedBinary", "30", "Blob", "30", true},
                    ChangeCase{"LAGER.DB", "NAME", "ftFixedChar", "25", "String", "25", true},
                    ChangeCase{"LAGER.DB", "NAME", "ftWideString", "40", "String", "40", true},
                    ChangeCase{"LAGER.DB", "MENGE", "ftLargeInt", "", "Integer", "4", true},
                    // Size-less types ignore the length field.
                    ChangeCase{"LAGER.DB", "STEMPEL", "ftDate", "99", "Date", "4", false},
                    ChangeCase{"LAGER.DB", "MENGE", "ftInteger", "99", "Integer", "4", true},
                    // Size 0 keeps the length and changes the type.
                    ChangeCase{"LAGER.DB", "NOTIZ", "ftBlob", "0", "Blob", "20", false},
                    // An unknown type text (spelling counts) keeps the type; the length changes.
                    ChangeCase{"LAGER.DB", "NAME", "ftText", "30", "String", "30", true},
                    ChangeCase{"LAGER.DB", "NAME", "ftstring", "25", "String", "25", true}));

// dBase numbers keep their width, so the component reads them by it as dBase names them:
// N(6,0) as Float, only up to 4 digits as SmallInt; binary fields are typed binary.
INSTANTIATE_TEST_SUITE_P(
    DBase, TypeChange,
    testing::Values(ChangeCase{"BESTAND.DBF", "KURZ", "ftString", "30", "String", "30", true},
                    ChangeCase{"BESTAND.DBF", "KURZ", "ftSmallint", "", "Float", "8", true},
                    ChangeCase{"BESTAND.DBF", "KURZ", "ftWord", "0", "Float", "8", true},
                    ChangeCase{"BESTAND.DBF", "FLAG", "ftBoolean", "0", "Boolean", "2", false},
                    ChangeCase{"BESTAND.DBF", "KURZ", "ftFloat", "", "Float", "8", true},
                    ChangeCase{"BESTAND.DBF", "FLAG", "ftBCD", "2", "SmallInt", "2", true},
                    ChangeCase{"BESTAND.DBF", "DATUMTXT", "ftDate", "", "Date", "4", true},
                    ChangeCase{"BESTAND.DBF", "NOTIZ", "ftBlob", "30", "Unknown", "0", false},
                    ChangeCase{"BESTAND.DBF", "KURZ", "ftMemo", "30", "Memo", "10", true},
                    ChangeCase{"BESTAND.DBF", "NOTIZ", "ftGraphic", "30", "Unknown", "0", false},
                    ChangeCase{"BESTAND.DBF", "KURZ", "ftFmtMemo", "30", "Memo", "10", true},
                    ChangeCase{"BESTAND.DBF", "NOTIZ", "ftParadoxOle", "30", "Unknown", "0", false},
                    ChangeCase{"BESTAND.DBF", "NOTIZ", "ftTypedBinary", "30", "Unknown", "0",
                               false},
                    ChangeCase{"BESTAND.DBF", "NAME", "ftFixedChar", "25", "String", "25", true},
                    ChangeCase{"BESTAND.DBF", "NAME", "ftWideString", "40", "String", "40", true}));

// A change the engine refuses: its message reaches the default error box and every file of the
// alias stays byte for byte as it was.
struct RefusedCase {
    const char* table;
    const char* field;
    const char* typName;
    const char* size;
    const char* messagePart;
};

void PrintTo(const RefusedCase& c, std::ostream* os) {
    *os << c.table << " " << c.field << " -> " << c.typName << "(" << c.size << ")";
}

class RefusedChange : public FeldTypTest, public testing::WithParamInterface<RefusedCase> {};

TEST_P(RefusedChange, ReachesTheErrorBoxAndChangesNoFile) {
    const RefusedCase& c = GetParam();
    const std::pair<QString, QString> typeBefore = shownType(c.table, c.field);
    const std::string filesBefore = directorySnapshot(directory);

    changeField(c.table, c.field, c.typName, c.size);

    ASSERT_EQ(prompts.errorBoxes.size(), 1u);
    EXPECT_TRUE(prompts.errorBoxes[0].contains(QString::fromUtf8(c.messagePart)))
        << prompts.errorBoxes[0].toStdString();
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_EQ(directorySnapshot(directory), filesBefore);
    EXPECT_TRUE(Session().passwords().empty());
    EXPECT_EQ(shownType(c.table, c.field), typeBefore);
    EXPECT_EQ(prompts.errorBoxes.size(), 1u);  // and the table opens again
}

INSTANTIATE_TEST_SUITE_P(
    Paradox, RefusedChange,
    testing::Values(RefusedCase{"LAGER.DB", "NAME", "ftInteger", "", "'Müller' is not a number"},
                    RefusedCase{"LAGER.DB", "ANZAHL", "ftSmallint", "", "70000"},
                    RefusedCase{"LAGER.DB", "PREIS", "ftInteger", "", "1.5 is not a whole number"},
                    RefusedCase{"LAGER.DB", "BETRAG", "ftBCD", "2", "decimal places"},
                    RefusedCase{"LAGER.DB", "KURZ", "ftVarBytes", "16", "cannot be stored"},
                    RefusedCase{"LAGER.DB", "NAME", "ftCursor", "0", "cannot be stored"},
                    RefusedCase{"LAGER.DB", "NOTIZ", "ftString", "10", "NOTIZ"},
                    RefusedCase{"LAGER.DB", "NAME", "ftString", "5", "Müller"},
                    RefusedCase{"LAGER.DB", "DATEN", "ftBytes", "30", "do not fit"},
                    RefusedCase{"LAGER.DB", "NAME", "ftMemo", "30", "cannot be indexed"},
                    RefusedCase{"LAGER.DB", "UHRZEIT", "ftDate", "", "not a date"},
                    // An empty length for a sized type is no whole number.
                    RefusedCase{"LAGER.DB", "NAME", "ftString", "",
                                "'' ist kein gültiger Integerwert."},
                    // Nor is a length that does not fit 16 bits cut down to one that does.
                    RefusedCase{"LAGER.DB", "NAME", "ftString", "65566", "65566"},
                    RefusedCase{"LAGER.DB", "NAME", "ftString", "-1", "-1"},
                    // A type the table can only store as the field's present one says so.
                    RefusedCase{"LAGER.DB", "ANZAHL", "ftWord", "0", "stays as it is"}));

INSTANTIATE_TEST_SUITE_P(
    DBase, RefusedChange,
    testing::Values(RefusedCase{"BESTAND.DBF", "DATUMTXT", "ftInteger", "", "is not a number"},
                    // Fields of an index must stay indexable.
                    RefusedCase{"BESTAND.DBF", "NAME", "ftInteger", "", "UPPER"},
                    RefusedCase{"BESTAND.DBF", "NOTIZ", "ftString", "30", "longer than 30"},
                    RefusedCase{"BESTAND.DBF", "NAME", "ftString", "3", "longer than 3"},
                    RefusedCase{"BESTAND.DBF", "KURZ", "ftBytes", "16", "cannot be stored"},
                    RefusedCase{"BESTAND.DBF", "UHRZEIT", "ftTime", "", "cannot be stored"},
                    RefusedCase{"BESTAND.DBF", "MENGE", "ftMemo", "30", "index"},
                    // A dBase IV table stays one: level-7 types are refused, naming the level.
                    RefusedCase{"BESTAND.DBF", "TAG", "ftDateTime", "", "needs a dBase 7 table"},
                    // dBase stores these as the number the field already is.
                    RefusedCase{"BESTAND.DBF", "MENGE", "ftSmallint", "", "stays as it is"},
                    RefusedCase{"BESTAND.DBF", "FLAG", "ftInteger", "", "stays as it is"},
                    RefusedCase{"BESTAND.DBF", "FLAG", "ftCurrency", "", "stays as it is"},
                    RefusedCase{"BESTAND.DBF", "FLAG", "ftLargeInt", "", "stays as it is"},
                    RefusedCase{"BESTAND.DBF", "NR", "ftAutoInc", "0", "needs a dBase 7 table"}));

TEST_F(FeldTypTest, WithoutAChosenFieldItSaysSoAndShowsNoDialog) {
    clickTable(*form, "LAGER.DB");
    prompts.messageAnswers = {mrOk};
    QTest::mouseClick(form->FeldTypBtn, Qt::LeftButton);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, kNoFieldChosen);
    EXPECT_EQ(prompts.messages[0].type, TMsgDlgType::mtError);
    EXPECT_EQ(prompts.messages[0].buttons, mbOK);
    EXPECT_TRUE(dialog->shown.empty());
}

TEST_F(FeldTypTest, DialogShowsTheChoiceAndKeepsTheLastValues) {
    const std::string filesBefore = directorySnapshot(directory);
    chooseField("LAGER.DB", "NR");
    dialog->script = [](TChangeFeldTypForm& d) {
        d.FeldTypBox->setCurrentText("ftMemo");
        d.FeldSizeEdit->setText("30");
        QTest::mouseClick(d.CancelBtn, Qt::LeftButton);
    };
    QTest::mouseClick(form->FeldTypBtn, Qt::LeftButton);
    chooseField("BESTAND.DBF", "KURZ");
    dialog->script = nullptr;  // closed by its frame
    QTest::mouseClick(form->FeldTypBtn, Qt::LeftButton);

    ASSERT_EQ(dialog->shown.size(), 2u);
    EXPECT_EQ(dialog->shown[0].alias, "LAGER");
    EXPECT_EQ(dialog->shown[0].table, "LAGER.DB");
    EXPECT_EQ(dialog->shown[0].field, "NR");
    EXPECT_EQ(dialog->shown[0].oldType, "Integer (*)");
    EXPECT_EQ(dialog->shown[0].typeBox, "ftString");
    EXPECT_EQ(dialog->shown[1].table, "BESTAND.DBF");
    EXPECT_EQ(dialog->shown[1].oldType, "String");
    EXPECT_EQ(dialog->shown[1].typeBox, "ftMemo");
    EXPECT_EQ(dialog->shown[1].size, "30");
    // Both uses were cancelled: nothing asked, nothing changed.
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_TRUE(prompts.errorBoxes.empty());
    EXPECT_EQ(directorySnapshot(directory), filesBefore);
    EXPECT_FALSE(form->PdxTable->Active());
}

TEST_F(FeldTypTest, LengthThatIsNoWholeNumberKeepsTheDialogOpen) {
    const std::string filesBefore = directorySnapshot(directory);
    chooseField("LAGER.DB", "NAME");
    bool stayedOpen = false;
    dialog->script = [&](TChangeFeldTypForm& d) {
        d.FeldTypBox->setCurrentText("ftString");
        d.FeldSizeEdit->setText("3O");
        QTest::mouseClick(d.OKBtn, Qt::LeftButton);
        stayedOpen = d.result() == mrNone;
        QTest::mouseClick(d.CancelBtn, Qt::LeftButton);
    };
    prompts.messageAnswers = {mrOk};
    QTest::mouseClick(form->FeldTypBtn, Qt::LeftButton);
    EXPECT_TRUE(stayedOpen);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, kNotAWholeNumber);
    EXPECT_EQ(prompts.messages[0].type, TMsgDlgType::mtError);
    EXPECT_EQ(directorySnapshot(directory), filesBefore);
}

TEST_F(FeldTypTest, LeavingTheLengthChecksItButDoesNotHoldTheFocus) {
    dialog->FeldSizeEdit->setText("zehn");
    prompts.messageAnswers = {mrOk};
    QFocusEvent toAnotherControl(QEvent::FocusOut, Qt::TabFocusReason);
    QCoreApplication::sendEvent(dialog->FeldSizeEdit, &toAnotherControl);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, kNotAWholeNumber);

    // Switching to another window is no leaving of the field.
    QFocusEvent toAnotherWindow(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QCoreApplication::sendEvent(dialog->FeldSizeEdit, &toAnotherWindow);
    dialog->FeldSizeEdit->setText("");
    QCoreApplication::sendEvent(dialog->FeldSizeEdit, &toAnotherControl);
    EXPECT_EQ(prompts.messages.size(), 1u);
}

struct TypeCodeCase {
    const char* name;
    int code;
    bool sizeLess;
};

class TypeNameTable : public testing::TestWithParam<TypeCodeCase> {};

TEST_P(TypeNameTable, GivesCodeAndSizeRule) {
    EXPECT_EQ(TChangeFeldTypForm::FeldTypCode(GetParam().name), GetParam().code);
    EXPECT_EQ(TChangeFeldTypForm::TakesNoSize(GetParam().name), GetParam().sizeLess);
}

INSTANTIATE_TEST_SUITE_P(
    Names, TypeNameTable,
    testing::Values(TypeCodeCase{"ftString", 1, false}, TypeCodeCase{"ftSmallint", 2, true},
                    TypeCodeCase{"ftInteger", 3, true}, TypeCodeCase{"ftWord", 4, false},
                    TypeCodeCase{"ftBoolean", 5, false}, TypeCodeCase{"ftFloat", 6, true},
                    TypeCodeCase{"ftCurrency", 7, true}, TypeCodeCase{"ftBCD", 8, false},
                    TypeCodeCase{"ftDate", 9, true}, TypeCodeCase{"ftTime", 10, true},
                    TypeCodeCase{"ftDateTime", 11, true}, TypeCodeCase{"ftBytes", 12, false},
                    TypeCodeCase{"ftVarBytes", 13, false}, TypeCodeCase{"ftAutoInc", 14, false},
                    TypeCodeCase{"ftBlob", 15, false}, TypeCodeCase{"ftMemo", 16, false},
                    TypeCodeCase{"ftGraphic", 17, false}, TypeCodeCase{"ftFmtMemo", 18, false},
                    TypeCodeCase{"ftParadoxOle", 19, false}, TypeCodeCase{"ftDBaseOle", 0, false},
                    TypeCodeCase{"ftTypedBinary", 21, false}, TypeCodeCase{"ftCursor", 22, false},
                    TypeCodeCase{"ftFixedChar", 23, false}, TypeCodeCase{"ftWideString", 24, false},
                    TypeCodeCase{"ftLargeInt", 25, true}, TypeCodeCase{"ftLargeint", 0, false},
                    TypeCodeCase{"ftinteger", 0, false}, TypeCodeCase{" ftDate", 0, false},
                    TypeCodeCase{"", 0, false}));

TEST(ChangeFeldTypDialog, OffersEveryTypeNameOfTheTable) {
    test::testApplication();
    const TChangeFeldTypForm form;
    ASSERT_EQ(form.FeldTypBox->count(), 24);
    for (int i = 0; i < form.FeldTypBox->count(); ++i)
        EXPECT_NE(TChangeFeldTypForm::FeldTypCode(form.FeldTypBox->itemText(i)), 0)
            << form.FeldTypBox->itemText(i).toStdString();
    EXPECT_EQ(form.FeldTypBox->currentText(), "ftString");
}

// The program's own dialog runs a real modal loop; OK gives mrOk, Cancel and the frame mrCancel.
TEST(ChangeFeldTypDialog, RealModalRunGivesTheButtonsResult) {
    test::testApplication();
    const test::ScriptedPromptsScope prompts;
    TChangeFeldTypForm form;
    QTimer::singleShot(0, &form, [&] { QTest::mouseClick(form.OKBtn, Qt::LeftButton); });
    EXPECT_EQ(form.ShowModal(), mrOk);
    QTimer::singleShot(0, &form, [&] { QTest::mouseClick(form.CancelBtn, Qt::LeftButton); });
    EXPECT_EQ(form.ShowModal(), mrCancel);
    QTimer::singleShot(0, &form, [&] { form.close(); });
    EXPECT_EQ(form.ShowModal(), mrCancel);
}

// The dialog created at start-up, run modally for real by the button.
TEST(FeldTypStartUp, TheStartUpDialogChangesTheField) {
    test::testApplication();
    const test::LocaleScope german("de_DE.UTF-8");
    const test::ScriptedPromptsScope prompts;
    test::SessionAliases aliases;
    writeLager(aliases.addAlias("LAGER"));
    const auto form = createStartUpWindows(Session());
    form->show();
    test::chooseAlias(*form, "LAGER");
    clickTable(*form, "LAGER.DB");
    clickItem(form->ListView1, test::findRow(form->ListView1, "NAME"));
    TChangeFeldTypForm* dialog = form->ChangeFeldTypForm;
    QTimer::singleShot(0, dialog, [dialog] {
        dialog->FeldTypBox->setCurrentText("ftString");
        dialog->FeldSizeEdit->setText("33");
        QTest::mouseClick(dialog->OKBtn, Qt::LeftButton);
    });
    QTest::mouseClick(form->FeldTypBtn, Qt::LeftButton);
    EXPECT_TRUE(prompts.errorBoxes.empty());
    clickTable(*form, "LAGER.DB");
    EXPECT_EQ(test::findRow(form->ListView1, "NAME")->text(2), "33");
}

// The table is in use: the retry question comes after every failed exclusive open; OK tries
// again, Cancel ends the command with the engine's message and nothing changed.
TEST_F(FeldTypTest, TableHeldByAnotherTableObjectAsksUntilCancel) {
    const std::string filesBefore = directorySnapshot(directory);
    TTable holder;
    holder.DatabaseName = "LAGER";
    holder.TableName = "LAGER.DB";
    holder.Open();
    prompts.messageAnswers = {mrOk, mrCancel};
    changeField("LAGER.DB", "NAME", "ftString", "30");

    ASSERT_EQ(prompts.messages.size(), 2u);
    for (const auto& message : prompts.messages) {
        EXPECT_EQ(message.text, retryQuestion("LAGER.DB"));
        EXPECT_EQ(message.type, TMsgDlgType::mtError);
        EXPECT_EQ(message.buttons, mbOK | mbCancel);
    }
    ASSERT_EQ(prompts.errorBoxes.size(), 1u);
    EXPECT_TRUE(prompts.errorBoxes[0].contains("LAGER.DB")) << prompts.errorBoxes[0].toStdString();
    EXPECT_TRUE(Session().passwords().empty());
    holder.Close();
    EXPECT_EQ(directorySnapshot(directory), filesBefore);
}

TEST_F(FeldTypTest, RetryAfterTheOtherTableObjectLetGoChangesTheField) {
    auto holder = std::make_unique<TTable>();
    holder->DatabaseName = "LAGER";
    holder->TableName = "BESTAND.DBF";
    holder->Open();
    struct LettingGo : test::ScriptedPrompts {
        std::function<void()> onQuestion;
        int MessageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons) override {
            onQuestion();
            return ScriptedPrompts::MessageDlg(text, type, buttons);
        }
    } answering;
    answering.onQuestion = [&] { holder.reset(); };
    answering.messageAnswers = {mrOk};
    const PromptsOverride useAnswering(answering);

    changeField("BESTAND.DBF", "NAME", "ftString", "30");

    ASSERT_EQ(answering.messages.size(), 1u);
    EXPECT_EQ(answering.messages[0].text, retryQuestion("BESTAND.DBF"));
    EXPECT_TRUE(answering.errorBoxes.empty()) << answering.errorBoxes[0].toStdString();
    EXPECT_EQ(shownType("BESTAND.DBF", "NAME").second, "30");
}

TEST_F(FeldTypTest, TableLockedByAnotherProcessAsksUntilCancel) {
    const std::string filesBefore = directorySnapshot(directory);
    QProcess other;
    other.start(KX4_DEBIAN_PYTHON, {"-c",
                                    "import fcntl, sys\n"
                                    "f = open(sys.argv[1], 'rb')\n"
                                    "fcntl.lockf(f, fcntl.LOCK_SH)\n"
                                    "print('locked', flush=True)\n"
                                    "sys.stdin.read()\n",
                                    QString::fromStdString(directory + "/LAGER.DB")});
    ASSERT_TRUE(other.waitForStarted(10000));
    ASSERT_TRUE(other.waitForReadyRead(10000));
    ASSERT_EQ(other.readAll().trimmed(), "locked");

    prompts.messageAnswers = {mrOk, mrCancel};
    changeField("LAGER.DB", "MENGE", "ftInteger", "");
    other.closeWriteChannel();
    other.waitForFinished(10000);

    ASSERT_EQ(prompts.messages.size(), 2u);
    EXPECT_EQ(prompts.messages[1].text, retryQuestion("LAGER.DB"));
    ASSERT_EQ(prompts.errorBoxes.size(), 1u);
    EXPECT_EQ(directorySnapshot(directory), filesBefore);
    EXPECT_EQ(shownType("LAGER.DB", "MENGE").first, "SmallInt");
}

// The probe spells the table type rule exactly: "x.Dbf" is opened as Paradox, which it is not.
TEST_F(FeldTypTest, MixedCaseDBaseNameIsProbedAsParadox) {
    test::writeTable(directory, "MIX.Dbf", TTableType::ttDBase, {{"TEXT", FT::ftString, 10}}, {});
    test::chooseAlias(*form, "LAGER");
    const std::string filesBefore = directorySnapshot(directory);
    form->TabString->setText("MIX.Dbf");  // the browser cannot open it either
    form->ListView1->clear();
    auto* row = new QTreeWidgetItem(form->ListView1, {"TEXT", "String", "10"});
    row->setSelected(true);
    dialog->script = choose("ftString", "20");
    QTest::mouseClick(form->FeldTypBtn, Qt::LeftButton);
    // The probe's failure is no lock: it is reported at once, without the retry question.
    EXPECT_TRUE(prompts.messages.empty());
    ASSERT_EQ(prompts.errorBoxes.size(), 1u);
    EXPECT_TRUE(prompts.errorBoxes[0].contains("MIX.Dbf"));
    EXPECT_EQ(directorySnapshot(directory), filesBefore);
}

}  // namespace
}  // namespace kx4
