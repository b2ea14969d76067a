// The values dialog "Werte angeben" as the index operations use it: layout, tab order and the
// modal run with and without the test hook.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFrame>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "tests/app/AppTestSupport.h"
#include "tests/app/ScriptedPrompts.h"
#include "ui/TabTyp.h"

namespace kx4 {
namespace {

class ValuesDialog : public testing::Test {
  protected:
    ValuesDialog() { test::testApplication(); }
    test::LocaleScope german{"de_DE.UTF-8"};
    test::ScriptedPromptsScope prompts;
};

// Only the exact entry counts: a type typed in other letter case stays as typed, whether the
// user types on, presses Enter or leaves the box.
TEST_F(ValuesDialog, TypedTypesInOtherLetterCaseStayAsTyped) {
    TTabTyp dialog;
    dialog.show();
    for (const QString& typed : {QStringLiteral("ixprimary"), QStringLiteral("IXUNIQUE")}) {
        dialog.TabBox->lineEdit()->setFocus();
        QTest::keyClick(dialog.TabBox->lineEdit(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(dialog.TabBox->lineEdit(), typed);
        EXPECT_EQ(dialog.TabBox->currentText(), typed);
        QTest::keyClick(dialog.TabBox->lineEdit(), Qt::Key_Return);
        QTest::keyClick(dialog.TabBox->lineEdit(), Qt::Key_Tab);
        EXPECT_EQ(dialog.TabBox->currentText(), typed);
    }
}

TEST_F(ValuesDialog, LayoutOfTheDialog) {
    TTabTyp dialog;
    EXPECT_EQ(dialog.size(), QSize(366, 275));
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());  // not resizable
    EXPECT_TRUE(dialog.font().bold());
    EXPECT_EQ(dialog.font().pixelSize(), 11);
    EXPECT_EQ(dialog.font().family(), "MS Sans Serif");
    EXPECT_EQ(dialog.TypPanel->geometry(), QRect(6, 150, 355, 59));
    EXPECT_EQ(dialog.Panel2->geometry(), QRect(6, 6, 355, 139));
    EXPECT_EQ(dialog.TabBox->geometry().topLeft(), QPoint(14, 28));
    EXPECT_EQ(dialog.TabBox->width(), 207);
    for (QLineEdit* edit : {dialog.TabNameEdit, dialog.IndexEdit, dialog.FelderEdit})
        EXPECT_EQ(edit->width(), 333);
    EXPECT_EQ(dialog.IndexEdit->toolTip(), "mehrere Felder durch \"&\" verbinden");
    EXPECT_EQ(dialog.ToolBar1->height(), 46);
}

TEST_F(ValuesDialog, TheTypePanelComesFirstInTheTabOrder) {
    TTabTyp dialog;
    const QList<QWidget*> inputs = {dialog.TabBox, dialog.TabNameEdit, dialog.IndexEdit,
                                    dialog.FelderEdit};
    QList<QWidget*> order;
    for (QWidget* w = dialog.nextInFocusChain(); w != &dialog; w = w->nextInFocusChain())
        if (inputs.contains(w)) order << w;
    EXPECT_EQ(order, inputs);
}

TEST_F(ValuesDialog, ShowModalRunsTheDialogUntilOkOrClose) {
    TTabTyp dialog;
    QTimer::singleShot(0, dialog.OKBtn, &QToolButton::click);
    EXPECT_EQ(dialog.ShowModal(), mrOk);
    QTimer::singleShot(0, &dialog, &QDialog::close);
    EXPECT_EQ(dialog.ShowModal(), mrCancel);
    QTimer::singleShot(0, dialog.CancelBtn, &QToolButton::click);
    EXPECT_EQ(dialog.ShowModal(), mrCancel);
}

TEST_F(ValuesDialog, TheTestHookPlaysTheUserWithoutAnEventLoop) {
    TTabTyp dialog;
    int calls = 0;
    TTabTyp::setModalHook([&](TTabTyp& shown) {
        ++calls;
        EXPECT_TRUE(shown.isVisible());
        if (calls == 1) shown.OKBtn->click();
    });
    EXPECT_EQ(dialog.ShowModal(), mrOk);
    EXPECT_EQ(dialog.ShowModal(), mrCancel);  // left open: counts as closed
    EXPECT_FALSE(dialog.isVisible());
    TTabTyp::setModalHook(nullptr);
    EXPECT_EQ(calls, 2);
}

}  // namespace
}  // namespace kx4
