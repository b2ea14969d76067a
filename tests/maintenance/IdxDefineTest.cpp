// "Create Idx" on Paradox and dBase tables of the demo alias.
#include <QComboBox>
#include <QLabel>
#include <filesystem>

#include "tests/maintenance/MaintenanceTestSupport.h"

namespace kx4 {
namespace {

using test::DialogAnswer;

class IdxDefine : public test::MaintenanceTest {
  protected:
    void define(DialogAnswer answer) {
        dialog.answers.push_back(std::move(answer));
        press(&TTabellenForm::IdxDefineBtnClick);
    }
};

struct TypeCase {
    const char* label;
    const char* table;
    const char* typeText;
    const char* fields;
    IndexOption expected;
};

class IndexTypeFromTabBox : public IdxDefine, public testing::WithParamInterface<TypeCase> {};

TEST_P(IndexTypeFromTabBox, GivesTheOptionsOfTheTable) {
    const TypeCase& c = GetParam();
    // An unkeyed Paradox table takes a primary index.
    createTable("OHNE.DB",
                {{field("OHNE.DB", "NR", TFieldType::ftInteger),
                  field("OHNE.DB", "ORT", TFieldType::ftString, 20)},
                 {}},
                {{std::int64_t{1}, std::string("Köln")}, {std::int64_t{2}, std::string("Bonn")}});
    chooseTable(c.table);
    const bool primary = c.expected == IndexOption::ixPrimary;
    define({.indexName = primary ? "" : "NEU", .fields = c.fields, .typeText = c.typeText});

    EXPECT_TRUE(prompts.errorBoxes.empty()) << prompts.errorBoxes.front().toStdString();
    const std::vector<IndexDef> indexes = indexesOf(c.table);
    const auto added = std::find_if(indexes.begin(), indexes.end(), [&](const IndexDef& index) {
        return primary ? index.options.has(IndexOption::ixPrimary) : sameName(index.name, "NEU");
    });
    ASSERT_NE(added, indexes.end());
    EXPECT_TRUE(added->options.has(c.expected));
    if (c.expected == IndexOption::ixCaseInsensitive && std::string(c.table) == "ARTIKEL.DBF") {
        EXPECT_EQ(added->expression, "UPPER(ARTNR)");  // dBase: an expression tag
    } else {
        EXPECT_EQ(added->fields, c.fields);
    }
    if (!primary) {
        EXPECT_FALSE(added->options.has(IndexOption::ixPrimary));
    }
    // The index list shows the table's indexes after the change.
    EXPECT_EQ(indexRows().size(), static_cast<qsizetype>(indexes.size()));
}

INSTANTIATE_TEST_SUITE_P(
    TabBoxTexts, IndexTypeFromTabBox,
    testing::Values(
        TypeCase{"ParadoxCaseInsensitive", "KUNDEN.DB", "ixCaseInsensitive", "ORT",
                 IndexOption::ixCaseInsensitive},
        TypeCase{"ParadoxUnique", "KUNDEN.DB", "ixUnique", "NAME;VORNAME", IndexOption::ixUnique},
        TypeCase{"ParadoxPrimary", "OHNE.DB", "ixPrimary", "NR", IndexOption::ixPrimary},
        TypeCase{"OtherLetterCaseCountsAsCaseInsensitive", "KUNDEN.DB", "ixunique", "ORT",
                 IndexOption::ixCaseInsensitive},
        TypeCase{"TypedTextCountsAsCaseInsensitive", "KUNDEN.DB", "eindeutig", "ORT",
                 IndexOption::ixCaseInsensitive},
        TypeCase{"DBaseUnique", "ARTIKEL.DBF", "ixUnique", "LAGER", IndexOption::ixUnique},
        TypeCase{"DBaseCaseInsensitive", "ARTIKEL.DBF", "ixCaseInsensitive", "ARTNR",
                 IndexOption::ixCaseInsensitive}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(IdxDefine, DBaseRefusesAPrimaryIndexAfterTheCleanUp) {
    chooseTable("ARTIKEL.DBF");
    const std::string before = snapshot();
    define({.indexName = "", .fields = "ARTNR", .typeText = "ixPrimary"});
    ASSERT_EQ(prompts.errorBoxes.size(), 1u);
    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(indexRows(), QStringList({"ARTNR", ""}));  // refreshed all the same
}

TEST_F(IdxDefine, TheDialogAsksForEverythingAndKeepsFieldsAndTypeBetweenUses) {
    chooseTable("KUNDEN.DB");
    define({.indexName = "ORTIDX", .fields = "ORT", .typeText = "ixUnique"});
    define({.indexName = "ORTIDX2"});
    ASSERT_EQ(dialog.seen.size(), 2u);
    const test::DialogSeen& first = dialog.seen[0];
    EXPECT_EQ(first.caption, "Werte angeben");
    EXPECT_EQ(first.tableName, "KUNDEN.DB");
    EXPECT_EQ(first.indexName, "");
    EXPECT_TRUE(first.typPanel && first.indexLabel && first.indexEdit && first.label3 &&
                first.felderEdit);
    EXPECT_EQ(dialog.seen[1].indexName, "");  // set anew on every use
    EXPECT_EQ(dialog.seen[1].fields, "ORT");
    EXPECT_EQ(dialog.seen[1].typeText, "ixUnique");
    // The second index over ORT: both are there.
    EXPECT_TRUE(findIndex("KUNDEN.DB", "ORTIDX").has_value());
    EXPECT_TRUE(findIndex("KUNDEN.DB", "ORTIDX2").has_value());
}

TEST_F(IdxDefine, ControlsHiddenByADeletionShowAgain) {
    chooseTable("KUNDEN.DB");
    TTabTyp& values = *form->TabTyp;
    values.TypPanel->hide();
    values.Label3->hide();
    values.FelderEdit->hide();
    define({.ok = false});
    ASSERT_EQ(dialog.seen.size(), 1u);
    EXPECT_TRUE(dialog.seen[0].typPanel && dialog.seen[0].label3 && dialog.seen[0].felderEdit);
}

class IndexNameLength : public IdxDefine, public testing::WithParamInterface<int> {};

TEST_P(IndexNameLength, MoreThan25CharactersAreRefused) {
    chooseTable("KUNDEN.DB");
    markIndexList();
    const std::string before = snapshot();
    const QString name(GetParam(), u'N');
    if (GetParam() > 25) prompts.messageAnswers.push_back(mrOk);
    define({.indexName = name, .fields = "ORT", .typeText = "ixCaseInsensitive"});

    if (GetParam() <= 25) {
        EXPECT_TRUE(prompts.messages.empty());
        EXPECT_TRUE(findIndex("KUNDEN.DB", name.toStdString()).has_value());
        return;
    }
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text,
              "Index name is too long!\rMaximum length is 25 characters.");
    EXPECT_EQ(prompts.messages[0].type, TMsgDlgType::mtError);
    EXPECT_EQ(prompts.messages[0].buttons, TMsgDlgButtons{mbOK});
    EXPECT_EQ(snapshot(), before);
    EXPECT_TRUE(indexListMarked());
}

INSTANTIATE_TEST_SUITE_P(Lengths, IndexNameLength, testing::Values(25, 26, 40));

TEST_F(IdxDefine, CancelChangesNothingAndLeavesTheIndexList) {
    chooseTable("KUNDEN.DB");
    markIndexList();
    const std::string before = snapshot();
    define({.indexName = "ORTIDX", .fields = "ORT", .ok = false});
    EXPECT_EQ(snapshot(), before);
    EXPECT_TRUE(indexListMarked());
    EXPECT_TRUE(prompts.errorBoxes.empty());
}

TEST_F(IdxDefine, WithoutAChosenTableNothingHappens) {
    chooseTable("");
    press(&TTabellenForm::IdxDefineBtnClick);
    chooseTable("KUNDEN");  // no "." in the name
    press(&TTabellenForm::IdxDefineBtnClick);
    EXPECT_TRUE(dialog.seen.empty());
}

TEST_F(IdxDefine, ATableNamedInTheDialogGetsTheIndexAndFillsTheList) {
    createTable("ORTE.DB", {{field("ORTE.DB", "PLZ", TFieldType::ftString, 5),
                             field("ORTE.DB", "ORT", TFieldType::ftString, 30)},
                            {indexOn("", "PLZ", IndexOption::ixPrimary)}});
    chooseTable("KUNDEN.DB");
    define({.tableName = "ORTE.DB",
            .indexName = "ORTNAME",
            .fields = "ORT",
            .typeText = "ixCaseInsensitive"});
    EXPECT_TRUE(prompts.errorBoxes.empty());
    EXPECT_TRUE(findIndex("ORTE.DB", "ORTNAME").has_value());
    EXPECT_FALSE(findIndex("KUNDEN.DB", "ORTNAME").has_value());
    EXPECT_EQ(indexRows(), QStringList({"PLZ", "ORT"}));
    EXPECT_EQ(form->TabString->text(), "KUNDEN.DB");
}

TEST_F(IdxDefine, AnUnknownFieldIsReportedAfterTheListIsRefreshed) {
    chooseTable("KUNDEN.DB");
    define({.indexName = "X", .fields = "GIBTESNICHT", .typeText = "ixCaseInsensitive"});
    ASSERT_EQ(prompts.errorBoxes.size(), 1u);
    EXPECT_NE(prompts.errorBoxes[0].indexOf("GIBTESNICHT"), -1) << prompts.errorBoxes[0];
    EXPECT_EQ(indexRows(), QStringList({"KUNDENNR"}));
}

TEST_F(IdxDefine, RetryThenCancelWhileAnotherProgramHoldsTheTable) {
    chooseTable("KUNDEN.DB");
    test::OtherProcessLock other(tablePath("KUNDEN.DB"));
    const std::string before = snapshot();
    prompts.messageAnswers = {mrOk, mrCancel};
    define({.indexName = "ORTIDX", .fields = "ORT", .typeText = "ixCaseInsensitive"});

    const QString question = QStringLiteral(
        "\"KUNDEN.DB\" konnte nicht exclusiv geöffnet werden - OK zu weiterem Versuch?");
    ASSERT_EQ(prompts.messages.size(), 2u);
    for (const auto& message : prompts.messages) {
        EXPECT_EQ(message.text, question);
        EXPECT_EQ(message.type, TMsgDlgType::mtError);
        EXPECT_EQ(message.buttons, TMsgDlgButtons{mbOK | mbCancel});
    }
    EXPECT_EQ(prompts.errorBoxes.size(), 1u);  // the engine's error after the clean-up
    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(indexRows(), QStringList({"KUNDENNR"}));  // refreshed from the table opened shared
}

struct OtherTypeCase {
    const char* chosen;
    const char* typed;
    const char* fields;
};

void PrintTo(const OtherTypeCase& c, std::ostream* os) { *os << c.chosen << " -> " << c.typed; }

class TypedTableOfAnotherType : public IdxDefine,
                                public testing::WithParamInterface<OtherTypeCase> {};

// The typed table is opened by its own type: no question whether to retry, no claim that a
// healthy table is damaged, and the index lands on the typed table only.
TEST_P(TypedTableOfAnotherType, GetsTheIndex) {
    const OtherTypeCase& c = GetParam();
    chooseTable(c.chosen);
    const auto chosenBefore = indexesOf(c.chosen).size();
    define(
        {.tableName = c.typed, .indexName = "NEUIDX", .fields = c.fields, .typeText = "ixUnique"});
    EXPECT_TRUE(prompts.messages.empty()) << prompts.messages.front().text;
    EXPECT_TRUE(prompts.errorBoxes.empty()) << prompts.errorBoxes.front();
    EXPECT_TRUE(findIndex(c.typed, "NEUIDX").has_value());
    EXPECT_EQ(indexesOf(c.chosen).size(), chosenBefore);
}

INSTANTIATE_TEST_SUITE_P(Tables, TypedTableOfAnotherType,
                         testing::Values(OtherTypeCase{"ARTIKEL.DBF", "KUNDEN.DB", "ORT"},
                                         OtherTypeCase{"KUNDEN.DB", "ARTIKEL.DBF", "LAGER"}));

// Only a table that someone else holds is worth another try; a table that is not there is
// reported at once, without asking.
TEST_F(IdxDefine, AMissingTypedTableIsReportedWithoutTheRetryQuestion) {
    chooseTable("KUNDEN.DB");
    const std::string before = snapshot();
    define({.tableName = "FEHLT.DB",
            .indexName = "X",
            .fields = "ORT",
            .typeText = "ixCaseInsensitive"});
    EXPECT_TRUE(prompts.messages.empty()) << prompts.messages.front().text;
    ASSERT_EQ(prompts.errorBoxes.size(), 1u);
    EXPECT_NE(prompts.errorBoxes[0].indexOf("FEHLT"), -1) << prompts.errorBoxes[0];
    EXPECT_EQ(snapshot(), before);
}

// A typed name with a directory part or blanks at either end never reaches the engine.
TEST_F(IdxDefine, ATypedNameOutsideTheAliasIsRefused) {
    chooseTable("KUNDEN.DB");
    std::filesystem::copy_file(tablePath("KUNDEN.DB"), demo.dir().file("KUNDEN.DB"));
    const std::string outside = test::directorySnapshot(demo.dir().path());
    const std::string before = snapshot();
    for (const char* typed : {"../KUNDEN.DB", " KUNDEN.DB"}) {
        prompts.messageAnswers.push_back(mrOk);
        define({.tableName = typed,
                .indexName = "ORTIDX",
                .fields = "ORT",
                .typeText = "ixCaseInsensitive"});
    }
    ASSERT_EQ(prompts.messages.size(), 2u);
    EXPECT_TRUE(prompts.messages[0].text.startsWith(QStringLiteral("Ungültiger Tabellen-Name")));
    EXPECT_TRUE(prompts.errorBoxes.empty()) << prompts.errorBoxes.front();
    EXPECT_EQ(test::directorySnapshot(demo.dir().path()), outside);
    EXPECT_EQ(snapshot(), before);
}

TEST_F(IdxDefine, RetrySucceedsOnceTheOtherProgramLetsGo) {
    chooseTable("ARTIKEL.DBF");
    test::OtherProcessLock other(tablePath("ARTIKEL.DBF"));
    prompts.messageAnswers = {mrOk};
    prompts.onMessage = [&](const QString&) { other.release(); };
    define({.indexName = "LAGER", .fields = "LAGER", .typeText = "ixUnique"});
    EXPECT_EQ(prompts.messages.size(), 1u);
    EXPECT_TRUE(prompts.errorBoxes.empty());
    EXPECT_TRUE(findIndex("ARTIKEL.DBF", "LAGER").has_value());
    EXPECT_EQ(indexRows(), QStringList({"ARTNR", "", "LAGER"}));
}

}  // namespace
}  // namespace kx4
