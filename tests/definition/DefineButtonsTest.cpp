// The main window's toolbar buttons reach the definition window's operations.
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include "app/TabellenForm.h"
#include "tests/definition/DefinitionTestSupport.h"

namespace kx4 {
namespace {

using test::DefinitionTest;

class DefineButtonsTest : public DefinitionTest {
  protected:
    DefineButtonsTest() {
        main = std::make_unique<TTabellenForm>(Session());
        main->show();
        main->AliasBox->setCurrentIndex(main->AliasBox->findText("DEMO"));
    }

    // Clicks `button`; returns the mode of the definition window it showed, or nullopt.
    std::optional<QString> click(QToolButton* button) {
        std::optional<QString> mode;
        QObject context;
        QTimer::singleShot(0, &context, [&] {
            if (!DefineForm || !DefineForm->isVisible()) return;
            mode = DefineMode;
            QTest::mouseClick(DefineForm->EndeBtn, Qt::LeftButton);
        });
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_EQ(DefineForm, nullptr);
        return mode;
    }

    void clickTable(const QString& table) {
        const QList<QTreeWidgetItem*> found =
            main->TabellenNamen->findItems(table, Qt::MatchExactly | Qt::MatchRecursive);
        ASSERT_EQ(found.size(), 1);
        main->TabellenNamen->scrollToItem(found[0]);
        QTest::mouseClick(main->TabellenNamen->viewport(), Qt::LeftButton, {},
                          main->TabellenNamen->visualItemRect(found[0]).center());
    }

    std::unique_ptr<TTabellenForm> main;
};

TEST_F(DefineButtonsTest, NewTableAndDelFieldOpenTheWindowInTableMode) {
    EXPECT_EQ(click(main->NeuTable), "");
    EXPECT_EQ(click(main->ZQSpeedBtn1), "");
}

TEST_F(DefineButtonsTest, AddFieldOpensItInFieldModeForTheClickedTable) {
    clickTable("KUNDEN.DB");
    ASSERT_TRUE(main->AddFeldBtn->isEnabled());
    EXPECT_EQ(click(main->AddFeldBtn), kFieldMode);
}

TEST_F(DefineButtonsTest, FieldLengthChangesTheSelectedField) {
    clickTable("KUNDEN.DB");
    const QList<QTreeWidgetItem*> rows = main->ListView1->findItems("NAME", Qt::MatchExactly);
    ASSERT_EQ(rows.size(), 1);
    rows[0]->setSelected(true);
    prompts.inputAnswers.push_back(QStringLiteral("45"));
    EXPECT_EQ(click(main->ChangeFeldLenth), std::nullopt);  // never shown
    EXPECT_TRUE(prompts.errorBoxes.empty());
    EXPECT_EQ(engineFields("KUNDEN.DB")[1], "NAME:A:45");
}

}  // namespace
}  // namespace kx4
