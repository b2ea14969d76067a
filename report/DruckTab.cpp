#include "report/DruckTab.h"

#include <QPrinterInfo>

#include "engine/Table.h"
#include "engine/core/Errors.h"
#include "engine/core/FileSystem.h"
#include "report/DruckForm.h"
#include "report/PrinterCanvas.h"
#include "report/StructureReport.h"
#include "ui/AliasPath.h"
#include "ui/OperationContext.h"
#include "ui/Prompts.h"
#include "ui/TableFileGuard.h"
#include "ui/TableTypeOfName.h"

namespace kx4 {

namespace {

const QString kNoPrinterQuestion = QStringLiteral(
    "Es ist kein Standarddrucker eingerichtet.\n\n"
    "Soll der Bericht stattdessen in eine PDF-Datei gedruckt werden?");

struct ReportTarget {
    bool printer = true;
    QString fileName;
};

// Shows the print options dialog; the radio buttons decide, however it is closed.
ReportTarget askReportTarget(QWidget* parent, const QIcon& printIcon, const QString& fileName) {
    TDruckForm dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Drucken"));
    dialog.aktuellRadio->setText(QStringLiteral("Drucker"));
    dialog.alleRadio->setText(QStringLiteral("Datei"));
    dialog.DateiEdit->setText(fileName);
    dialog.CustReport->hide();
    dialog.hideToolButton(dialog.HelpBtn);
    dialog.hideToolButton(dialog.CancelBtn);
    dialog.OKBtn->setIcon(printIcon);
    dialog.ShowModal();
    return {dialog.aktuellRadio->isChecked(), dialog.DateiEdit->text()};
}

}  // namespace

QString defaultReportFileName(const QString& aliasPath, const QString& tableName) {
    return reportTablePath(aliasPath, tableName) + QStringLiteral(".txt");
}

void writeReportFile(const QString& fileName, const QStringList& lines, FileSystem& fs) {
    // Names and texts go out as the file system's bytes (see AliasPath.h), so a directory with
    // a name in an old 8-bit code page is written to, and shown in the title, as it is.
    const auto failed = [&](const std::string& why) {
        throw EInOutError("Datei \"" + fileName.toStdString() +
                          "\" kann nicht geschrieben werden: " + why);
    };
    std::string bytes;
    for (const QString& line : lines) bytes += AnsiToOem(line) + "\r\n";
    try {
        replaceWholeFile(AnsiToOem(fileName), bytes.data(), bytes.size(), fs);
    } catch (const std::exception& e) {
        failed(e.what());
    }
}

std::unique_ptr<QPrinter> reportPrinter(const QString& pdfFileName, FileSystem& fs) {
    const QPrinterInfo installed = QPrinterInfo::defaultPrinter();
    if (!installed.isNull()) return std::make_unique<QPrinter>(installed, QPrinter::HighResolution);

    if (MessageDlg(kNoPrinterQuestion, TMsgDlgType::mtConfirmation, mbYes | mbNo) != mrYes)
        return nullptr;
    QString fileName = pdfFileName;
    if (!InputQuery(QStringLiteral("Drucken"), QStringLiteral("PDF-Datei:"), fileName) ||
        !mayWriteFile(fileName, fs))
        return nullptr;
    auto pdf = std::make_unique<QPrinter>(QPrinter::HighResolution);
    pdf->setOutputFormat(QPrinter::PdfFormat);
    pdf->setOutputFileName(fileName);
    return pdf;
}

void DruckTab(const OperationContext& context, const QIcon& printIcon) {
    StructureReport report;
    report.tableName = context.selection.table;
    if (!report.tableName.contains(u'.')) return;
    report.alias = context.selection.alias;

    TTable table(context.session);  // freed with the scope, also when a step raises
    table.DatabaseName = AnsiToOem(report.alias);
    table.TableName = AnsiToOem(report.tableName);
    table.TableType = TableTypeOfName(report.tableName);
    table.IndexFieldNames.clear();
    table.Open();
    report.aliasPath = GetAliasPath(report.alias, context.session);

    const ReportTarget target = askReportTarget(
        context.parent, printIcon, defaultReportFileName(report.aliasPath, report.tableName));

    FileSystem& files = context.session.fileSystem();
    readReportTable(table, report);
    report.timestamp = reportTimestamp(QDateTime::currentDateTime());
    if (target.printer) {
        const auto printer =
            reportPrinter(reportTablePath(report.aliasPath, report.tableName) + ".pdf", files);
        if (printer) printStructureReport(report, *printer);
    } else if (mayWriteFile(target.fileName, files)) {
        writeReportFile(target.fileName, reportFileLines(report), files);
    }
}

}  // namespace kx4
