#pragma once
// "Print": the structure report of the table chosen in the main window, on the printer or in a
// text file, as the print options dialog says.
#include <QIcon>
#include <QPrinter>
#include <QString>
#include <QStringList>
#include <memory>

#include "engine/core/FileSystem.h"

namespace kx4 {

struct OperationContext;

// What DruckBtnClick does. Nothing when no table is chosen (no full stop in TabString); the
// engine's error when the table cannot be opened; no table passwords are added. The dialog's
// "Drucken" button shows `printIcon`, the icon of the button that started the report.
void DruckTab(const OperationContext& context, const QIcon& printIcon);

// The alias path, the platform's separator, the table name and ".txt".
QString defaultReportFileName(const QString& aliasPath, const QString& tableName);

// Replaces `fileName` with the lines, each ended with CR LF, in the system's code page (UTF-8).
// The old file stays as it was when writing fails; raises EInOutError naming the file.
void writeReportFile(const QString& fileName, const QStringList& lines,
                     FileSystem& fs = defaultFileSystem());

// The default printer. Without one the user is told so and may print into a PDF file instead
// (`pdfFileName` is offered); nullptr when the user declines.
std::unique_ptr<QPrinter> reportPrinter(const QString& pdfFileName,
                                        FileSystem& fs = defaultFileSystem());

}  // namespace kx4
