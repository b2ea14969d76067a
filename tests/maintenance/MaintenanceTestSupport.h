#pragma once
// The main window on a temporary demo alias, with scripted answers for the values dialog, the
// message and input boxes, and another process that holds a table open.
#include <gtest/gtest.h>

#include <QEvent>
#include <QLabel>
#include <QProcess>
#include <QStringList>
#include <QWidget>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/TabellenForm.h"
#include "engine/core/TableSchema.h"
#include "tests/app/AppTestSupport.h"
#include "tests/app/ScriptedPrompts.h"
#include "tests/support/DemoAlias.h"
#include "ui/TabTyp.h"

// QString in failure messages (<< after an assertion).
inline std::ostream& operator<<(std::ostream& out, const QString& text) {
    return out << text.toStdString();
}

namespace kx4::test {

// Records when a widget is shown, with the wait panel's second line at that moment.
class ShowRecorder : public QObject {
  public:
    ShowRecorder(QWidget* watched, QLabel* line) : line_(line) {
        watched->installEventFilter(this);
    }
    QStringList shownWith;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::ShowToParent) shownWith << line_->text();
        return false;
    }

  private:
    QLabel* line_;
};

// What the values dialog showed when it opened, and the user's answer.
struct DialogAnswer {
    std::optional<QString> tableName{};  // typed over the preset
    std::optional<QString> indexName{};
    std::optional<QString> fields{};
    std::optional<QString> typeText{};
    bool ok = true;  // OK or Cancel
};

struct DialogSeen {
    QString caption, tableName, indexName, fields, typeText;
    bool typPanel = false, indexLabel = false, indexEdit = false, label3 = false,
         felderEdit = false;
};

// Answers the values dialog from a queue while installed; a dialog without an answer fails.
class DialogScript {
  public:
    DialogScript();
    ~DialogScript();
    std::deque<DialogAnswer> answers;
    std::vector<DialogSeen> seen;
};

// Prompts that can act when a message box is asked (before answering it).
class ActingPrompts : public ScriptedPromptsScope {
  public:
    std::function<void(const QString& text)> onMessage;
    int MessageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons) override {
        if (onMessage) onMessage(text);
        return ScriptedPrompts::MessageDlg(text, type, buttons);
    }
};

// Another program that has a table file open: it holds a shared lock on it until released.
class OtherProcessLock {
  public:
    explicit OtherProcessLock(const std::string& path);
    ~OtherProcessLock() { release(); }
    void release();

  private:
    QProcess process_;
};

class MaintenanceTest : public testing::Test {
  protected:
    MaintenanceTest();
    ~MaintenanceTest() override;

    void chooseTable(const QString& table);
    // Runs a toolbar handler as the button does: an escaping error goes to the error box.
    void press(void (TTabellenForm::*handler)());
    QStringList indexRows() const;  // captions of ListView2
    void selectIndexRow(int row);   // click on a row of the index list
    // The index list holds one row the operations did not put there.
    void markIndexList();
    bool indexListMarked() const;

    std::vector<IndexDef> indexesOf(const std::string& table) const;
    std::optional<IndexDef> findIndex(const std::string& table, const std::string& name) const;
    std::string tablePath(const std::string& table) const { return demo.table(table); }
    std::string snapshot() const { return directorySnapshot(demo.tables()); }
    // A new table in the alias (replacing one of that name) with the given records.
    void createTable(const std::string& table, const TableSchema& schema,
                     const std::vector<Record>& records = {}) const;
    FieldDef field(const std::string& table, const std::string& name, TFieldType type,
                   int size = 0) const;

    LocaleScope german{"de_DE.UTF-8"};
    ActingPrompts prompts;
    DemoAlias demo;
    DialogScript dialog;
    std::unique_ptr<TTabellenForm> form;
};

}  // namespace kx4::test
