#include "DruckTab.h"

#include <QComboBox>
#include <QLabel>
#include <QPrinterInfo>
#include <QSaveFile>
#include <QStringEncoder>
#include <QToolButton>

#include "AliasPath.h"
#include "DruckForm.h"
#include "Errors.h"
#include "PrinterCanvas.h"
#include "Prompts.h"
#include "StructureReport.h"
#include "TabellenForm.h"
#include "Table.h"

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
ReportTarget askReportTarget(TTabellenForm& form, const QString& fileName) {
    TDruckForm dialog(&form);
    dialog.setWindowTitle(QStringLiteral("Drucken"));
    dialog.aktuellRadio->setText(QStringLiteral("Drucker"));
    dialog.alleRadio->setText(QStringLiteral("Datei"));
    dialog.DateiEdit->setText(fileName);
    dialog.CustReport->hide();
    dialog.hideToolButton(dialog.HelpBtn);
    dialog.hideToolButton(dialog.CancelBtn);
    dialog.OKBtn->setIcon(form.DruckBtn->icon());
    dialog.ShowModal();
    return {dialog.aktuellRadio->isChecked(), dialog.DateiEdit->text()};
}

}  // namespace

TTableType reportTableType(const QString& tableName) {
    TTableType type = TTableType::ttParadox;
    if (tableName.contains(u".dbf") || tableName.contains(u".DBF")) type = TTableType::ttDBase;
    if (tableName.contains(u".txt") || tableName.contains(u".TXT")) type = TTableType::ttASCII;
    return type;
}

QString defaultReportFileName(const QString& aliasPath, const QString& tableName) {
    return reportTablePath(aliasPath, tableName) + QStringLiteral(".txt");
}

void writeReportFile(const QString& fileName, const QStringList& lines) {
    QSaveFile file(fileName);
    const auto failed = [&] {
        throw EInOutError(QStringLiteral("Datei \"%1\" kann nicht geschrieben werden: %2")
                              .arg(fileName, file.errorString())
                              .toStdString());
    };
    if (!file.open(QIODevice::WriteOnly)) failed();
    QStringEncoder encode(QStringConverter::System);
    for (const QString& line : lines) {
        const QByteArray bytes = encode(line + QStringLiteral("\r\n"));
        if (file.write(bytes) != bytes.size()) failed();
    }
    if (!file.commit()) failed();
}

std::unique_ptr<QPrinter> reportPrinter(const QString& pdfFileName) {
    const QPrinterInfo installed = QPrinterInfo::defaultPrinter();
    if (!installed.isNull()) return std::make_unique<QPrinter>(installed, QPrinter::HighResolution);

    if (MessageDlg(kNoPrinterQuestion, TMsgDlgType::mtConfirmation, mbYes | mbNo) != mrYes)
        return nullptr;
    QString fileName = pdfFileName;
    if (!InputQuery(QStringLiteral("Drucken"), QStringLiteral("PDF-Datei:"), fileName))
        return nullptr;
    auto pdf = std::make_unique<QPrinter>(QPrinter::HighResolution);
    pdf->setOutputFormat(QPrinter::PdfFormat);
    pdf->setOutputFileName(fileName);
    return pdf;
}

void DruckTab(TTabellenForm& form) {
    StructureReport report;
    report.tableName = form.TabString->text();
    if (!report.tableName.contains(u'.')) return;
    report.alias = form.AliasBox->currentText();

    TTable table;  // freed with the scope, also when a step raises
    table.DatabaseName = AnsiToOem(report.alias);
    table.TableName = AnsiToOem(report.tableName);
    table.TableType = reportTableType(report.tableName);
    table.IndexFieldNames.clear();
    table.Open();
    report.aliasPath = GetAliasPath(report.alias);

    const ReportTarget target =
        askReportTarget(form, defaultReportFileName(report.aliasPath, report.tableName));

    readReportTable(table, report);
    report.timestamp = reportTimestamp(QDateTime::currentDateTime());
    if (target.printer) {
        const auto printer =
            reportPrinter(reportTablePath(report.aliasPath, report.tableName) + ".pdf");
        if (printer) printStructureReport(report, *printer);
    } else {
        writeReportFile(target.fileName, reportFileLines(report));
    }
}

}  // namespace kx4
