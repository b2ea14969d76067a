#pragma once
// Shared pieces of the report tests: an alias "REPORT" in a temporary directory installed in the
// default session, a main window, real tables, and a script for the print options dialog.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include "app/TabellenForm.h"
#include "engine/Session.h"
#include "engine/TableMaintenance.h"
#include "report/DruckForm.h"
#include "report/DruckTab.h"
#include "report/StructureReport.h"
#include "tests/app/AppTestSupport.h"
#include "tests/app/ScriptedPrompts.h"

namespace kx4::test {

class ReportAlias {
  public:
    ReportAlias() {
        std::filesystem::create_directories(directory());
        std::ofstream(dir.file("engine.ini"))
            << "[REPORT]\nTYPE=STANDARD\nPATH=" << directory() << "\n";
        Session().setConfigPath(dir.file("engine.ini"));
        Session().RemoveAllPasswords();
    }
    ~ReportAlias() { Session().setConfigPath(TSession::defaultConfigPath()); }

    std::string directory() const { return dir.file("tables"); }
    std::string file(const std::string& name) const { return directory() + "/" + name; }

    // Creates a table from (name, type, size) fields and the given index definitions.
    void createTable(TTableType type, const std::string& name,
                     const std::vector<std::tuple<std::string, TFieldType, int>>& fields,
                     const std::vector<IndexDef>& indexes) {
        TableFormat& format = formatFor(type, name);
        TableSchema schema;
        for (const auto& [field, fieldType, size] : fields)
            schema.fields.push_back(fieldForCreate(format, field, fieldType, size, false));
        schema.indexes = indexes;
        kx4::createTable(format, TablePath{directory(), name}, schema);
    }

    TempDir dir;
};

// Paradox: 3 fields, a primary index and 4 secondary ones; an auto-increment key and BCD.
inline void createBeleg(ReportAlias& alias) {
    alias.createTable(TTableType::ttParadox, "BELEG.DB",
                      {{"Nr", TFieldType::ftAutoInc, 0},
                       {"Betrag", TFieldType::ftBCD, 2},
                       {"Kunde", TFieldType::ftString, 30}},
                      {indexOn("", "Nr", TIndexOptions(IndexOption::ixPrimary)),
                       indexOn("Betrag", "Betrag"), indexOn("Kunde", "Kunde"),
                       indexOn("KundeBetrag", "Kunde;Betrag"), indexOn("BetragNr", "Betrag;Nr")});
}

// 3 fields, 5 index definitions: the last two stand alone after the field lines.
inline StructureReport threeFieldsFiveIndexes() {
    StructureReport report;
    report.alias = QStringLiteral("KASSE");
    report.aliasPath = QStringLiteral("/data/kasse");
    report.tableName = QStringLiteral("BELEG.DB");
    report.timestamp = QStringLiteral("05.03.24 - 14:07:09");
    report.fields = {{QStringLiteral("Nr"), TFieldType::ftAutoInc, 0, 4, true},
                     {QStringLiteral("Betrag"), TFieldType::ftBCD, 2, 34, false},
                     {QStringLiteral("Kunde"), TFieldType::ftString, 30, 31, false}};
    report.indexFields = {QStringLiteral("Nr"), QStringLiteral("Betrag"), QStringLiteral("Kunde"),
                          QStringLiteral("Kunde;Betrag"), QStringLiteral("Betrag;Nr")};
    return report;
}

// Runs DruckTab as the button handler does; `answer` acts on the print options dialog when it
// appears (a dialog it leaves open is closed by its frame). Returns whether the dialog appeared.
inline bool runReport(TTabellenForm& form, const std::function<void(TDruckForm&)>& answer) {
    bool shown = false;
    QObject guard;  // cancels the timer when no dialog ran
    QTimer::singleShot(0, &guard, [&] {
        auto* dialog = qobject_cast<TDruckForm*>(QApplication::activeModalWidget());
        if (!dialog) return;
        shown = true;
        answer(*dialog);
        if (dialog->isVisible()) dialog->reject();
    });
    runHandler([&] { DruckTab(form.operationContext(), form.DruckBtn->icon()); });
    return shown;
}

// Chooses "Datei" with the mouse, types the file name over the offered one and clicks
// "Drucken".
inline std::function<void(TDruckForm&)> toFile(const QString& fileName) {
    return [fileName](TDruckForm& dialog) {
        // On the button's circle: the rest of its row is no part of it.
        QTest::mouseClick(dialog.alleRadio, Qt::LeftButton, {},
                          QPoint(8, dialog.alleRadio->height() / 2));
        QTest::keyClick(dialog.DateiEdit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(dialog.DateiEdit, Qt::Key_Delete);
        QTest::keyClicks(dialog.DateiEdit, fileName);
        QTest::mouseClick(dialog.OKBtn, Qt::LeftButton);
    };
}

// Lines of a text file split at CR LF; fails the test on a bare LF.
inline QStringList readCrLfLines(const std::string& path) {
    const std::vector<char> bytes = readFileBytes(path);
    const QString text = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    EXPECT_EQ(text.count(u'\n'), text.count(QStringLiteral("\r\n"))) << path;
    QStringList lines = text.split(QStringLiteral("\r\n"));
    EXPECT_TRUE(lines.last().isEmpty()) << "the last line has no line end";
    lines.removeLast();
    return lines;
}

// The window with alias REPORT chosen and `table` as the chosen table.
class ReportWindow {
  public:
    ReportWindow() {
        testApplication();
        form = std::make_unique<TTabellenForm>(Session());
        form->AliasBox->setCurrentText(QStringLiteral("REPORT"));
    }
    void choose(const QString& table) { form->TabString->setText(table); }

    std::unique_ptr<TTabellenForm> form;
};

}  // namespace kx4::test
