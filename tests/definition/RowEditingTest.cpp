// Editing the rows: the entry editor, the letter menu, "&Grösse" and the three "&Zurücksetzen".
#include <QTest>

#include "tests/definition/DefinitionTestSupport.h"

namespace kx4 {
namespace {

using test::DefinitionTest;
using test::entries;

using RowEditingTest = DefinitionTest;

struct MenuCase {
    const char* label;
    QWidget* (*owner)(TDefineForm&);
    QMenu* (*menu)(TDefineForm&);
    bool byKey;
};

QWidget* felder(TDefineForm& form) { return form.FelderListe; }
QWidget* typen(TDefineForm& form) { return form.TypListe; }
QWidget* sizes(TDefineForm& form) { return form.SizeListe; }
QMenu* pop1(TDefineForm& form) { return form.Pop1; }
QMenu* pop2(TDefineForm& form) { return form.Pop2; }
QMenu* pop3(TDefineForm& form) { return form.Pop3; }

void PrintTo(const MenuCase& c, std::ostream* os) { *os << c.label; }

class PopUpMenu : public DefinitionTest, public testing::WithParamInterface<MenuCase> {};

// Each list opens its own menu on a right click and on the Menu key, in an empty window too,
// where the menus are the only way to begin a row.
TEST_P(PopUpMenu, OpensOverItsList) {
    const auto form = createForm();
    QWidget* owner = GetParam().owner(*form);
    QMenu* opened = GetParam().byKey ? menuKey(*form, owner) : rightClick(*form, owner);
    EXPECT_EQ(opened, GetParam().menu(*form));
    if (opened) opened->close();
}

INSTANTIATE_TEST_SUITE_P(Lists, PopUpMenu,
                         testing::Values(MenuCase{"FeldnamenByMouse", felder, pop1, false},
                                         MenuCase{"TypByMouse", typen, pop2, false},
                                         MenuCase{"SizeByMouse", sizes, pop3, false},
                                         MenuCase{"FeldnamenByKey", felder, pop1, true},
                                         MenuCase{"TypByKey", typen, pop2, true},
                                         MenuCase{"SizeByKey", sizes, pop3, true}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(RowEditingTest, EntryEditorAppendsOneRowAndLocksSaveAndClose) {
    const auto form = createForm();
    chooseFromMenu(*form, form->Einfgen1);
    EXPECT_FALSE(form->NeuPanel->isHidden());
    EXPECT_FALSE(form->SaveBtn->isEnabled());
    EXPECT_FALSE(form->EndeBtn->isEnabled());
    EXPECT_TRUE(form->DelBtn->isEnabled());

    typeInto(form->NameEdit, "NAME");
    typeInto(form->TypEdit, "a");
    EXPECT_EQ(form->TypEdit->text(), "A");  // upper case at once
    typeInto(form->SizeEdit, "30");
    QTest::mouseClick(form->OKBtn, Qt::LeftButton);

    EXPECT_TRUE(form->NeuPanel->isHidden());
    EXPECT_TRUE(form->SaveBtn->isEnabled());
    EXPECT_TRUE(form->EndeBtn->isEnabled());
    EXPECT_EQ(rows(*form), QStringList({"NAME|A|30"}));
}

TEST_F(RowEditingTest, TypeEditUpperCasesOnlyTheLettersAToZ) {
    const auto form = createForm();
    chooseFromMenu(*form, form->Einfgen1);
    typeInto(form->TypEdit, "dt");
    form->TypEdit->insert(QStringLiteral("ä$"));  // as an input method enters it
    EXPECT_EQ(form->TypEdit->text(), "DTä$");
}

TEST_F(RowEditingTest, LetterMenuReplacesTheEditorsType) {
    const auto form = createForm();
    chooseFromMenu(*form, form->Einfgen1);
    typeInto(form->TypEdit, "xy");
    chooseFromMenu(*form, form->N1);
    EXPECT_EQ(form->TypEdit->text(), "$");
    chooseFromMenu(*form, form->L1);
    EXPECT_EQ(form->TypEdit->text(), "L");
    EXPECT_EQ(form->TypListe->count(), 0);
}

// With the editor closed every letter becomes a new entry of the type list alone, so the type
// list grows longer than the name list.
TEST_F(RowEditingTest, LetterMenuWithTheEditorClosedExtendsOnlyTheTypeList) {
    const auto form = createForm();
    enterRow(*form, {"NAME", "A", "10"});
    for (QAction* letter : {form->A1, form->S1, form->I1, form->L1, form->D1, form->N1, form->M1}) {
        chooseFromMenu(*form, letter);
    }
    EXPECT_EQ(entries(*form->TypListe), QStringList({"A", "A", "S", "I", "L", "D", "$", "M"}));
    EXPECT_EQ(form->FelderListe->count(), 1);
    EXPECT_EQ(form->SizeListe->count(), 1);
}

TEST_F(RowEditingTest, EmptyNameClosesTheEditorWithoutARowAndTheTextsStay) {
    const auto form = createForm();
    chooseFromMenu(*form, form->Einfgen1);
    typeInto(form->TypEdit, "d");
    typeInto(form->SizeEdit, "7");
    QTest::mouseClick(form->OKBtn, Qt::LeftButton);
    EXPECT_TRUE(form->NeuPanel->isHidden());
    EXPECT_TRUE(rows(*form).isEmpty());

    chooseFromMenu(*form, form->Einfgen1);
    EXPECT_EQ(form->TypEdit->text(), "D");
    EXPECT_EQ(form->SizeEdit->text(), "7");
}

TEST_F(RowEditingTest, EmptyTypeAndSizeAreAppendedAsTheyAre) {
    const auto form = createForm();
    enterRow(*form, {"NOTIZ", "", ""});
    EXPECT_EQ(rows(*form), QStringList({"NOTIZ||"}));
}

struct SizeCase {
    const char* text;
    bool whole;
};

class EditorSize : public DefinitionTest, public testing::WithParamInterface<SizeCase> {};

TEST_P(EditorSize, IsAcceptedOnlyAsAWholeNumber) {
    const auto form = createForm();
    if (!GetParam().whole) prompts.messageAnswers.push_back(mrOk);
    enterRow(*form, {"FELD", "A", QString::fromUtf8(GetParam().text)});
    if (GetParam().whole) {
        EXPECT_TRUE(form->NeuPanel->isHidden());
        EXPECT_EQ(entries(*form->SizeListe), QStringList({QString::fromUtf8(GetParam().text)}));
        EXPECT_TRUE(prompts.messages.empty());
    } else {
        EXPECT_FALSE(form->NeuPanel->isHidden());  // the editor stays open
        EXPECT_TRUE(rows(*form).isEmpty());
        ASSERT_EQ(prompts.messages.size(), 1u);
        EXPECT_EQ(prompts.messages[0].text, "Wert darf nur Zahlen enthalten! (Size)");
        EXPECT_EQ(prompts.messages[0].type, TMsgDlgType::mtError);
        EXPECT_EQ(prompts.messages[0].buttons, mbOK);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, EditorSize,
    testing::Values(SizeCase{"30", true}, SizeCase{"  30", true}, SizeCase{"+30", true},
                    SizeCase{"-4", true}, SizeCase{"007", true}, SizeCase{"$1E", true},
                    SizeCase{"x1e", true}, SizeCase{"X1E", true}, SizeCase{"0x1e", true},
                    SizeCase{"0X1E", true}, SizeCase{"-$10", true}, SizeCase{"2147483647", true},
                    SizeCase{"-2147483648", true}, SizeCase{"", true},
                    SizeCase{"2147483648", false}, SizeCase{"-2147483649", false},
                    SizeCase{"30 ", false}, SizeCase{"3 0", false}, SizeCase{"1.5", false},
                    SizeCase{"zehn", false}, SizeCase{"$", false}, SizeCase{"0x", false},
                    SizeCase{"+", false}, SizeCase{"1e3", false}, SizeCase{"$G", false},
                    SizeCase{"٣", false}));

struct GroesseCase {
    std::optional<const char*> answer;  // nullopt: the user cancels
    QStringList sizes;
};

class GroesseInput : public DefinitionTest, public testing::WithParamInterface<GroesseCase> {};

TEST_P(GroesseInput, AppendsToTheSizeListOnly) {
    const auto form = createForm();
    prompts.inputAnswers.push_back(
        GetParam().answer ? std::optional<QString>(QString::fromUtf8(*GetParam().answer))
                          : std::nullopt);
    chooseFromMenu(*form, form->Grsse1);
    ASSERT_EQ(prompts.inputs.size(), 1u);
    EXPECT_EQ(prompts.inputs[0].caption, "Grösse festlegen");
    EXPECT_EQ(prompts.inputs[0].prompt, "Grösse:");
    EXPECT_EQ(prompts.inputs[0].preset, "");
    EXPECT_EQ(entries(*form->SizeListe), GetParam().sizes);
    EXPECT_EQ(form->FelderListe->count(), 0);
    EXPECT_EQ(form->TypListe->count(), 0);
    EXPECT_TRUE(prompts.messages.empty());  // not even for a refused text
}

INSTANTIATE_TEST_SUITE_P(Answers, GroesseInput,
                         testing::Values(GroesseCase{"25", {"25"}}, GroesseCase{"$FF", {"$FF"}},
                                         GroesseCase{"", {""}}, GroesseCase{"25x", {}},
                                         GroesseCase{std::nullopt, {}}));

TEST_F(RowEditingTest, ResetEmptiesItsOwnListsWithoutAQuestion) {
    const auto form = createForm();
    enterRows(*form, {{"A1", "A", "10"}, {"D1", "D", "0"}});

    chooseFromMenu(*form, form->Zurcksetzen3);
    EXPECT_EQ(rows(*form), QStringList({"A1|A|-", "D1|D|-"}));
    chooseFromMenu(*form, form->Zurcksetzen2);
    EXPECT_EQ(rows(*form), QStringList({"A1|-|-", "D1|-|-"}));
    chooseFromMenu(*form, form->Zurcksetzen1);
    EXPECT_TRUE(rows(*form).isEmpty());
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(RowEditingTest, DeleteButtonWithoutASelectedRowDoesNothing) {
    const auto form = createForm();
    chooseAlias(*form, "DEMO");
    typeTableName(*form, "KUNDEN.DB");
    const QStringList loaded = rows(*form);
    QTest::mouseClick(form->DelBtn, Qt::LeftButton);
    EXPECT_EQ(rows(*form), loaded);
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_TRUE(prompts.errorBoxes.empty());
    EXPECT_EQ(engineFields("KUNDEN.DB").size(), 8u);
}

}  // namespace
}  // namespace kx4
