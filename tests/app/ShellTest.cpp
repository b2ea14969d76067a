// The pieces every window and operation shares: the error box, the handler wrapper, the table
// passwords, the wait cursor, number conversion, the image lists and the two values dialogs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <stdexcept>

#include "app/ChangeFeldTypForm.h"
#include "app/WaitCursor.h"
#include "engine/core/Errors.h"
#include "tests/app/AppTestSupport.h"
#include "tests/app/ScriptedPrompts.h"
#include "ui/Convert.h"
#include "ui/Images.h"
#include "ui/QtPrompts.h"
#include "ui/TabTyp.h"
#include "ui/TablePasswords.h"

namespace kx4 {
namespace {

struct ErrorTextCase {
    const char* message;
    const char* shown;
};

class ErrorBoxText : public testing::TestWithParam<ErrorTextCase> {};

TEST_P(ErrorBoxText, AppendsAPeriodAfterCharactersSortingAfterIt) {
    EXPECT_EQ(errorBoxText(QString::fromUtf8(GetParam().message)),
              QString::fromUtf8(GetParam().shown));
}

INSTANTIATE_TEST_SUITE_P(
    Messages, ErrorBoxText,
    testing::Values(
        ErrorTextCase{"Table is busy", "Table is busy."}, ErrorTextCase{"Fehler 42", "Fehler 42."},
        ErrorTextCase{"Schon mit Punkt.", "Schon mit Punkt."}, ErrorTextCase{"Fertig!", "Fertig!"},
        ErrorTextCase{"(intern)", "(intern)"}, ErrorTextCase{"Datei 'X.DB'", "Datei 'X.DB'"},
        ErrorTextCase{"Endet mit Blank ", "Endet mit Blank "}, ErrorTextCase{"a-b-", "a-b-"},
        ErrorTextCase{"Pfad /", "Pfad /."}, ErrorTextCase{"Weiter?", "Weiter?."},
        ErrorTextCase{"Grösse", "Grösse."}, ErrorTextCase{"Maß", "Maß."}, ErrorTextCase{"", ""}));

class HandlerTest : public testing::Test {
  protected:
    HandlerTest() { test::testApplication(); }
    test::ScriptedPromptsScope prompts;
};

TEST_F(HandlerTest, EscapingExceptionsReachTheErrorBox) {
    runHandler([] { throw EDBEngineError(DBIERR_TABLEINUSE, "Table KUNDEN.DB is in use"); });
    runHandler([] { throw EConvertError("'x' ist kein gültiger Integerwert"); });
    runHandler([] { throw 42; });
    runHandler([] {});
    EXPECT_EQ(prompts.errorBoxes,
              std::vector<QString>({"Table KUNDEN.DB is in use.",
                                    QStringLiteral("'x' ist kein gültiger Integerwert."),
                                    "Unbekannter Fehler."}));
}

TEST_F(HandlerTest, CleanUpRunsBeforeTheErrorBoxShows) {
    TSession session;
    bool passwordsWhileShowing = true;
    struct Observing : test::ScriptedPrompts {
        std::function<void()> onError;
        void ShowErrorBox(const QString& text) override {
            onError();
            ScriptedPrompts::ShowErrorBox(text);
        }
    } observing;
    observing.onError = [&] { passwordsWhileShowing = !session.passwords().empty(); };
    const PromptsOverride useObserving(observing);

    runHandler([&] {
        const TablePasswords passwords(session);
        throw EDatabaseError("Tabelle gesperrt");
    });
    ASSERT_EQ(observing.errorBoxes.size(), 1u);
    EXPECT_FALSE(passwordsWhileShowing);
}

// An object whose event handling fails, as a slot wired without runHandler would.
class FailingReceiver : public QObject {
  public:
    bool event(QEvent* event) override {
        if (event->type() == QEvent::User) throw std::runtime_error("Ereignis fehlgeschlagen");
        return QObject::event(event);
    }
};

TEST_F(HandlerTest, ApplicationCatchesWhatEscapesAnEvent) {
    FailingReceiver receiver;
    QEvent event(QEvent::User);
    QCoreApplication::sendEvent(&receiver, &event);
    EXPECT_EQ(prompts.errorBoxes, std::vector<QString>({"Ereignis fehlgeschlagen."}));
}

TEST(TablePasswordsTest, AddsTheFourInOrderAndRemovesThemOnEveryWayOut) {
    TSession session;
    {
        const TablePasswords passwords(session);
        EXPECT_EQ(session.passwords(), std::vector<std::string>({"86Gm2yB3E7", "Rq58Tn204K",
                                                                 "362VN4Qc81", "hW714kP9j3"}));
    }
    EXPECT_TRUE(session.passwords().empty());

    EXPECT_THROW(
        {
            const TablePasswords passwords(session);
            throw EDBEngineError(DBIERR_NOSUCHTABLE, "Tabelle fehlt");
        },
        EDBEngineError);
    EXPECT_TRUE(session.passwords().empty());
}

TEST_F(HandlerTest, WaitCursorComesBackAfterAnException) {
    QWidget window;
    QWidget first(&window);
    QWidget second(&window);
    try {
        const WaitCursor hourglass{&first, &second};
        EXPECT_EQ(first.cursor().shape(), Qt::WaitCursor);
        EXPECT_EQ(second.cursor().shape(), Qt::WaitCursor);
        throw std::runtime_error("listing failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_FALSE(first.testAttribute(Qt::WA_SetCursor));
    EXPECT_FALSE(second.testAttribute(Qt::WA_SetCursor));
}

struct NumberCase {
    const char* text;
    std::optional<int> value;
};

void PrintTo(const NumberCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class WholeNumber : public testing::TestWithParam<NumberCase> {};

TEST_P(WholeNumber, Converts) {
    const NumberCase& c = GetParam();
    EXPECT_EQ(TryStrToInt(QString::fromUtf8(c.text)), c.value);
    if (c.value) {
        EXPECT_EQ(StrToInt(QString::fromUtf8(c.text)), *c.value);
    } else {
        try {
            StrToInt(QString::fromUtf8(c.text));
            ADD_FAILURE() << "no EConvertError";
        } catch (const EConvertError& error) {
            EXPECT_EQ(QString::fromUtf8(error.what()),
                      QStringLiteral("'%1' ist kein gültiger Integerwert").arg(c.text));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, WholeNumber,
    testing::Values(NumberCase{"12", 12}, NumberCase{"  7", 7}, NumberCase{"-3", -3},
                    NumberCase{"+40", 40}, NumberCase{"$1F", 31}, NumberCase{"0x10", 16},
                    NumberCase{"X0a", 10}, NumberCase{"-$10", -16},
                    NumberCase{"2147483647", 2147483647},
                    NumberCase{"-2147483648", std::numeric_limits<int>::min()},
                    NumberCase{"2147483648", std::nullopt}, NumberCase{"", std::nullopt},
                    NumberCase{"  ", std::nullopt}, NumberCase{"12 ", std::nullopt},
                    NumberCase{"1x", std::nullopt}, NumberCase{"$", std::nullopt},
                    NumberCase{"0x", std::nullopt}, NumberCase{"1.5", std::nullopt},
                    NumberCase{"--1", std::nullopt}, NumberCase{"٣", std::nullopt}));

TEST_F(HandlerTest, ImageListsHoldDistinctPictures) {
    struct List {
        const TImageList& images;
        int count;
        int size;
    };
    for (const List& list :
         {List{ListeImg(), 13, 18}, List{TableImg(), 3, 16}, List{Liste2Img(), 1, 16}}) {
        ASSERT_EQ(list.images.Count(), list.count);
        for (int i = 0; i < list.count; ++i) {
            EXPECT_EQ(list.images.image(i).size(), QSize(list.size, list.size));
            EXPECT_NE(list.images.image(i),
                      QImage(list.size, list.size, list.images.image(i).format()))
                << "image " << i << " is blank";
            for (int j = 0; j < i; ++j) {
                EXPECT_NE(list.images.image(i), list.images.image(j)) << i << " equals " << j;
            }
        }
    }
}

class ValuesDialogTest : public HandlerTest {
  protected:
    test::LocaleScope german{"de_DE.UTF-8"};
};

TEST_F(ValuesDialogTest, TabTypResults) {
    TTabTyp dialog;
    dialog.OKBtnClick();
    EXPECT_EQ(dialog.result(), mrOk);
    dialog.CancelBtnClick();
    EXPECT_EQ(dialog.result(), mrCancel);
    dialog.setResult(0);
    dialog.reject();  // Escape or the window frame
    EXPECT_EQ(dialog.result(), mrCancel);
}

TEST_F(ValuesDialogTest, TabTypTextsFollowTheLanguage) {
    {
        TTabTyp dialog;
        EXPECT_EQ(dialog.IndexLabel->text(), "Index-Name:              (nicht bei ixPrimary)");
        EXPECT_EQ(dialog.CancelBtn->text(), "      Cancel      ");
        EXPECT_EQ(dialog.TabBox->currentText(), "ixCaseInsensitive");
    }
    const test::LocaleScope english("en_GB.UTF-8");
    TTabTyp dialog;
    EXPECT_EQ(dialog.windowTitle(), "Werte angeben");
    EXPECT_EQ(dialog.IndexLabel->text(), "Index-Name: ");
    EXPECT_EQ(dialog.Label2->text(), "Tabellen-Name: ");
    EXPECT_EQ(dialog.Label3->text(), "Index-Feld-Namen:");
    EXPECT_EQ(dialog.CancelBtn->text(), "&Cancel");
    EXPECT_EQ(dialog.OKBtn->text(), " &OK");
    EXPECT_EQ(dialog.Label1->text(), "Index-Typ festlegen:");
}

TEST_F(ValuesDialogTest, ChangeFeldTypFormKeepsItsTextsInEveryLanguage) {
    const test::LocaleScope english("en_US.UTF-8");
    const test::CatalogueScope module(TextCatalogue::parseModule("65139=OK\n"));
    TChangeFeldTypForm dialog;
    EXPECT_EQ(dialog.OKBtn->text(), "OK");
    EXPECT_EQ(dialog.CancelBtn->text(), "      Cancel      ");
    EXPECT_EQ(dialog.Label1->text(), "neuen Feld-Typ festlegen:");
    EXPECT_EQ(dialog.FeldTypBox->currentText(), "ftString");
    EXPECT_EQ(dialog.FeldTypBox->count(), 24);
}

TEST_F(ValuesDialogTest, ChangeFeldTypFormAcceptsOnlyWholeNumberSizes) {
    TChangeFeldTypForm dialog;
    prompts.messageAnswers = {mrOk};
    dialog.FeldSizeEdit->setText("1x");
    dialog.OKBtnClick();
    EXPECT_NE(dialog.result(), mrOk) << "the dialog stays open";
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "Wert muss eine ganze Zahl sein!");
    EXPECT_EQ(prompts.messages[0].type, TMsgDlgType::mtError);
    EXPECT_EQ(prompts.messages[0].buttons, TMsgDlgButtons(mbOK));

    for (const char* accepted : {"", "20", "$14"}) {
        dialog.setResult(0);
        dialog.FeldSizeEdit->setText(accepted);
        dialog.OKBtnClick();
        EXPECT_EQ(dialog.result(), mrOk) << accepted;
    }
    EXPECT_EQ(prompts.messages.size(), 1u);
}

// A password box that comes again says that the password before did not fit.
TEST(QtPromptsPassword, SaysWhenThePasswordBeforeDidNotFit) {
    test::testApplication();
    for (const bool previousWasWrong : {false, true}) {
        QString label;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
            if (!dialog) return;
            label = dialog->labelText();
            auto* edit = dialog->findChild<QLineEdit*>();
            QTest::keyClicks(edit, QStringLiteral("geheim"));
            QTest::keyClick(edit, Qt::Key_Return);
        });
        QtPrompts prompts;
        EXPECT_EQ(prompts.AskTablePassword(QStringLiteral("/daten/FREMD.DB"), previousWasWrong),
                  std::optional<QString>(QStringLiteral("geheim")));
        EXPECT_TRUE(label.endsWith(QStringLiteral("Passwort für Tabelle /daten/FREMD.DB:")));
        EXPECT_EQ(label.startsWith(QStringLiteral("Das Passwort passt nicht.")), previousWasWrong);
    }
}

}  // namespace
}  // namespace kx4

namespace kx4 {
namespace {

// The input box shows a long preset value, such as the PDF file's path, whole.
TEST(QtPromptsInput, ALongValueIsShownWhole) {
    test::testApplication();
    const QString path = QStringLiteral("/home/benutzer/daten/kx4/morvane/") + QString(40, u'x') +
                         QStringLiteral(".DB.pdf");
    int editWidth = 0;
    int textWidth = 0;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
        if (!dialog) return;
        auto* edit = dialog->findChild<QLineEdit*>();
        editWidth = edit ? edit->width() : 0;
        textWidth = edit ? edit->fontMetrics().horizontalAdvance(path) : -1;
        dialog->reject();
    });
    QtPrompts prompts;
    QString value = path;
    EXPECT_FALSE(
        prompts.InputQuery(QStringLiteral("Drucken"), QStringLiteral("PDF-Datei:"), value));
    ASSERT_GT(textWidth, 0) << "no input box appeared";
    EXPECT_GE(editWidth, textWidth);
}

}  // namespace
}  // namespace kx4
