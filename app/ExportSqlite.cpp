// The tree's menu entry "Exportieren nach SQLite…": one table into an SQLite database.
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QTreeWidget>

#include "app/TabellenForm.h"
#include "app/WaitCursor.h"
#include "texts/TextCatalogue.h"
#include "tools/export/SqliteExport.h"
#include "ui/AliasPath.h"
#include "ui/Prompts.h"
#include "ui/TablePasswords.h"
#include "ui/TableTypeOfName.h"
#include "ui/WartePanel.h"

namespace kx4 {

void TTabellenForm::ExportSqliteClick(const QString& tableName) {
    const QString alias = AliasBox->currentText();
    QString caption = CatalogueText(65210);
    while (caption.endsWith(u'…') || caption.endsWith(u'.')) caption.chop(1);
    // Beside the table by default, named after it.
    QString target =
        QDir(GetAliasPath(alias))
            .filePath(QFileInfo(tableName).completeBaseName() + QStringLiteral(".sqlite"));
    if (!InputQuery(caption, CatalogueText(65211), target) || target.trimmed().isEmpty()) return;

    const WaitCursor hourglass{TabellenNamen};
    TTable table(session_);
    std::uint64_t written = 0;
    std::vector<std::string> notes;
    {
        const TablePasswords passwords(session_);
        table.DatabaseName = AnsiToOem(alias);
        table.TableName = AnsiToOem(tableName);
        table.TableType = TableTypeOfName(tableName);
        table.Open();
    }
    SqliteExport database(target.toStdString());
    {
        WartePanelScope waiting(*WartePanel, CatalogueText(65216), kShowPanelAfter);
        written = database.add(table.File(), sqliteTableName(table.File().path()), notes, &waiting);
    }
    table.Close();
    QString message = CatalogueText(65212).arg(QLocale().toString(written), target);
    for (const auto& note : notes) message += u'\r' + QString::fromStdString(note);
    MessageDlg(message, TMsgDlgType::mtInformation, mbOK);
}

}  // namespace kx4
