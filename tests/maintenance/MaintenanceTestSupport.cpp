#include "tests/maintenance/MaintenanceTestSupport.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include "app/StartUp.h"
#include "engine/Session.h"
#include "engine/Table.h"
#include "engine/TableMaintenance.h"

namespace kx4::test {

DialogScript::DialogScript() {
    TTabTyp::setModalHook([this](TTabTyp& dialog) {
        seen.push_back({dialog.windowTitle(), dialog.TabNameEdit->text(), dialog.IndexEdit->text(),
                        dialog.FelderEdit->text(), dialog.TabBox->currentText(),
                        dialog.TypPanel->isVisible(), dialog.IndexLabel->isVisible(),
                        dialog.IndexEdit->isVisible(), dialog.Label3->isVisible(),
                        dialog.FelderEdit->isVisible()});
        if (answers.empty()) {
            ADD_FAILURE() << "unexpected values dialog";
            return;
        }
        const DialogAnswer answer = answers.front();
        answers.pop_front();
        // Typed over what the edit holds, as a user does.
        const auto typeOver = [](QLineEdit* edit, const QString& text) {
            edit->setFocus();
            QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClick(edit, Qt::Key_Delete);
            QTest::keyClicks(edit, text);
        };
        if (answer.tableName) typeOver(dialog.TabNameEdit, *answer.tableName);
        if (answer.indexName) typeOver(dialog.IndexEdit, *answer.indexName);
        if (answer.fields) typeOver(dialog.FelderEdit, *answer.fields);
        if (answer.typeText) typeOver(dialog.TabBox->lineEdit(), *answer.typeText);
        QTest::mouseClick(answer.ok ? dialog.OKBtn : dialog.CancelBtn, Qt::LeftButton);
    });
}

DialogScript::~DialogScript() {
    TTabTyp::setModalHook(nullptr);
    EXPECT_TRUE(answers.empty()) << "values dialog answers left over";
}

OtherProcessLock::OtherProcessLock(const std::string& path) {
    // A POSIX read lock of another process, as a program reading the table holds it.
    const char* script =
        "import fcntl, sys\n"
        "f = open(sys.argv[1], 'rb')\n"
        "fcntl.lockf(f, fcntl.LOCK_SH)\n"
        "print('locked', flush=True)\n"
        "sys.stdin.read()\n";
    process_.start(QString::fromUtf8(KX4_DEBIAN_PYTHON),
                   {QStringLiteral("-c"), QString::fromUtf8(script), QString::fromStdString(path)});
    const bool locked =
        process_.waitForReadyRead(10000) && process_.readAllStandardOutput().startsWith("locked");
    EXPECT_TRUE(locked) << "the other process could not lock " << path;
}

void OtherProcessLock::release() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.closeWriteChannel();
    if (!process_.waitForFinished(10000)) {
        process_.kill();
        process_.waitForFinished();
    }
}

MaintenanceTest::MaintenanceTest() {
    testApplication();
    form = createStartUpWindows(Session());
    const QSignalBlocker quiet(form->AliasBox);
    form->AliasBox->setCurrentText(QStringLiteral("DEMO"));
}

MaintenanceTest::~MaintenanceTest() {
    EXPECT_TRUE(Session().passwords().empty()) << "a table password stayed in the session";
    EXPECT_TRUE(prompts.messageAnswers.empty()) << "message box answers left over";
    EXPECT_TRUE(prompts.inputAnswers.empty()) << "input box answers left over";
}

void MaintenanceTest::chooseTable(const QString& table) { form->TabString->setText(table); }

void MaintenanceTest::press(void (TTabellenForm::*handler)()) {
    // The toolbar button of the handler, clicked with the mouse.
    const std::pair<void (TTabellenForm::*)(), QToolButton*> buttons[] = {
        {&TTabellenForm::IdxDefineBtnClick, form->IdxDefineBtn},
        {&TTabellenForm::IdxDelBtnClick, form->IdxDelBtn},
        {&TTabellenForm::IndexReorgBtnClick, form->IndexReorgBtn},
        {&TTabellenForm::CompressBtnClick, form->CompressBtn}};
    for (const auto& [buttonHandler, button] : buttons) {
        if (buttonHandler != handler) continue;
        QTest::mouseClick(button, Qt::LeftButton);
        return;
    }
    runHandler([&] { (form.get()->*handler)(); });
}

QStringList MaintenanceTest::indexRows() const {
    QStringList rows;
    for (int i = 0; i < form->ListView2->topLevelItemCount(); ++i)
        rows << form->ListView2->topLevelItem(i)->text(0);
    return rows;
}

void MaintenanceTest::selectIndexRow(int row) {
    form->show();
    QTreeWidgetItem* item = form->ListView2->topLevelItem(row);
    ASSERT_NE(item, nullptr);
    form->ListView2->scrollToItem(item);
    QTest::mouseClick(form->ListView2->viewport(), Qt::LeftButton, {},
                      form->ListView2->visualItemRect(item).center());
    ASSERT_TRUE(item->isSelected());
}

void MaintenanceTest::markIndexList() {
    form->ListView2->clear();
    form->ListView2->addTopLevelItem(new QTreeWidgetItem({QStringLiteral("<vorher>")}));
}

bool MaintenanceTest::indexListMarked() const {
    return indexRows() == QStringList{QStringLiteral("<vorher>")};
}

std::vector<IndexDef> MaintenanceTest::indexesOf(const std::string& table) const {
    TTable reader;
    reader.DatabaseName = "DEMO";
    reader.TableName = table;
    reader.IndexDefs().Update();
    return reader.IndexDefs().items();
}

std::optional<IndexDef> MaintenanceTest::findIndex(const std::string& table,
                                                   const std::string& name) const {
    for (const IndexDef& index : indexesOf(table))
        if (sameName(index.name, name)) return index;
    return std::nullopt;
}

void MaintenanceTest::createTable(const std::string& table, const TableSchema& schema,
                                  const std::vector<Record>& records) const {
    kx4::createTable(formatFor(TTableType::ttDefault, table), TablePath{demo.tables(), table},
                     schema, records);
}

FieldDef MaintenanceTest::field(const std::string& table, const std::string& name, TFieldType type,
                                int size) const {
    return fieldForCreate(formatFor(TTableType::ttDefault, table), name, type, size, false);
}

}  // namespace kx4::test
