#pragma once
// The structure report of a table: one line per field (name, type, size, key mark) with the
// field list of one index definition beside it. Its content is computed here without any window
// or device, so the text file and the printer share it: the file gets lines, the printer gets
// positioned texts on a TReportCanvas.
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <vector>

#include "engine/core/FieldType.h"

namespace kx4 {

class TTable;

// One field as the report needs it (TField's FieldName, DataType, Size, DataSize, IsIndexField).
struct ReportField {
    QString name;
    TFieldType type = TFieldType::ftUnknown;
    int size = 0;
    int dataSize = 0;
    bool indexField = false;
};

struct StructureReport {
    QString alias;
    QString aliasPath;                // directory of the alias (server name for a non-file alias)
    QString tableName;                // file name with extension, as the browser lists it
    QString timestamp;                // reportTimestamp() of the moment the report is made
    std::vector<ReportField> fields;  // table order
    QStringList indexFields;          // field list ("A;B") of each index definition, engine order
    QString codePage;  // "866 (setting)": the code page the table is read with, and from where
};

// The report's own type names ("Unknown" for every type it does not name).
QString reportTypeName(TFieldType type);
// The number shown after "Size=": the declared size for character, byte and blob fields, the
// record data size for all others.
int reportSizeColumn(const ReportField& field);
// Decimal places (BCD only), else 0.
int reportDecimals(const ReportField& field);

// date + " - " + time in the locale's short date and long time formats. The time zone that Qt's
// long time format carries is left out.
QString reportTimestamp(const QDateTime& now, const QLocale& locale = QLocale::system());

// The table path shown in the file's title and used for the default file names.
QString reportTablePath(const QString& aliasPath, const QString& tableName);

// Reads fields and index definitions of the open `table` (index definitions refreshed first).
void readReportTable(TTable& table, StructureReport& report);

// The text file's lines, without line ends; the code page, when known, on a last line.
QStringList reportFileLines(const StructureReport& report);

// Where the printer part writes. Columns and lines are the report's own grid (PrintAt); the
// canvas maps them to device positions.
class TReportCanvas {
  public:
    virtual ~TReportCanvas() = default;
    virtual void PrintAt(int column, int line, const QString& text) = 0;
    virtual void NewPage() = 0;
    // The highest line number whose text still fits on a page.
    virtual int LastLine() const = 0;
};

// The printer layout: title, date and column header on line 1 and 3 of every page, field and
// index lines from line 5; lines below LastLine() continue on a new page.
void printReport(const StructureReport& report, TReportCanvas& canvas);

}  // namespace kx4
