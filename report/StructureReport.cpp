#include "report/StructureReport.h"

#include <QDir>
#include <QRegularExpression>
#include <algorithm>

#include "app/FieldTypeNames.h"
#include "engine/Table.h"
#include "engine/core/TextCodec.h"
#include "texts/TextCatalogue.h"

namespace kx4 {

namespace {

// Catalogue entries of the column headers.
constexpr int kTextFeldname = 65163;
constexpr int kTextTyp = 65164;
constexpr int kTextGroesse = 65165;

const QString kIndexHeading = QStringLiteral("Index");
const QString kPrimaryHeading = QStringLiteral("Primaer");
const QString kKeyMark = QStringLiteral("(*)");
const QString kRuleLine = QString(66, u'=') + u' ';

// Printer grid: the date stands in column 60 of line 1, the header in column 3 of line 3; field
// lines start in column 3 of line 5, index definitions beyond the last field in column 68.
constexpr int kTitleColumn = 1;
constexpr int kTitleLine = 1;
constexpr int kDateColumn = 60;
constexpr int kHeaderColumn = 3;
constexpr int kHeaderLine = 3;
constexpr int kFieldColumn = 3;
constexpr int kFirstBodyLine = 5;
constexpr int kExtraIndexColumn = 68;

// Delphi-style "%-Ns" and "%Ns": pad to at least `width` characters, never cut.
QString left(const QString& text, int width) { return text.leftJustified(width, u' '); }
QString right(const QString& text, int width) { return text.rightJustified(width, u' '); }

QString decimalsText(const ReportField& field) {
    const int decimals = reportDecimals(field);
    return decimals != 0 ? u':' + QString::number(decimals) : QString();
}

// "Table: - :ALIAS: - "shown"" where shown is the table name (printer) or its path (file).
QString title(const QString& alias, const QString& shownTable) {
    return QStringLiteral("Table: - :") + alias + QStringLiteral(": - \"") + shownTable + u'"';
}

// "%-24s %-12s Size=%d%4s %-4s %-s" (printer) or "%-24s %-12s Size=%-d%4s %-8s %-8s" (file).
QString fieldLine(const ReportField& field, const QString& mark, const QString& indexFields,
                  int markWidth, int indexWidth) {
    return left(field.name, 24) + u' ' + left(reportTypeName(field.type), 12) +
           QStringLiteral(" Size=") + QString::number(reportSizeColumn(field)) +
           right(decimalsText(field), 4) + u' ' + left(mark, markWidth) + u' ' +
           left(indexFields, indexWidth);
}

// "Code page: 866 (setting)".
QString codePageLine(const StructureReport& report) {
    return QStringLiteral("Code page: ") + report.codePage;
}

}  // namespace

QString reportTypeName(TFieldType type) {
    // The report names every type the field list names, except the large integer.
    if (type == TFieldType::ftLargeint) return QStringLiteral("Unknown");
    return QString::fromStdString(browserTypeName(type));
}

int reportSizeColumn(const ReportField& field) {
    return lengthIsDeclaredSize(field.type) ? field.size : field.dataSize;
}

int reportDecimals(const ReportField& field) {
    return field.type == TFieldType::ftBCD ? field.size : 0;
}

QString reportTimestamp(const QDateTime& now, const QLocale& locale) {
    static const QRegularExpression timeZone(QStringLiteral("\\s*t+"));
    const QString timeFormat = locale.timeFormat(QLocale::LongFormat).remove(timeZone).trimmed();
    return locale.toString(now.date(), QLocale::ShortFormat) + QStringLiteral(" - ") +
           locale.toString(now.time(), timeFormat);
}

QString reportTablePath(const QString& aliasPath, const QString& tableName) {
    return aliasPath + QDir::separator() + tableName;
}

void readReportTable(TTable& table, StructureReport& report) {
    table.IndexDefs().Update();
    report.fields.clear();
    for (int i = 0; i < table.FieldCount(); ++i) {
        const TField& field = table.Fields(i);
        report.fields.push_back({QString::fromStdString(field.FieldName()), field.DataType(),
                                 field.Size(), field.DataSize(), field.IsIndexField()});
    }
    report.indexFields.clear();
    for (const IndexDef& index : table.IndexDefs().items())
        report.indexFields << QString::fromStdString(index.fields);
    const TableInfo info = table.File().info();
    report.codePage = QString::fromStdString(TextCodec::nameOf(info.codePage) + " (" +
                                             codePageOriginName(info.codePageOrigin) + ")");
}

QStringList reportFileLines(const StructureReport& report) {
    const QString blank = QStringLiteral(" ");
    QStringList lines;
    lines << report.timestamp << kRuleLine
          << title(report.alias, reportTablePath(report.aliasPath, report.tableName)) << kRuleLine
          << left(CatalogueText(kTextFeldname), 24) + u' ' + left(CatalogueText(kTextTyp), 12) +
                 u' ' + left(CatalogueText(kTextGroesse), 10) + u' ' + left(kPrimaryHeading, 8) +
                 u' ' + left(kIndexHeading, 6)
          << kRuleLine;
    const qsizetype indexCount = report.indexFields.size();
    for (std::size_t k = 0; k < report.fields.size(); ++k) {
        const ReportField& field = report.fields[k];
        const auto position = static_cast<qsizetype>(k);
        lines << fieldLine(field, field.indexField ? kKeyMark : blank,
                           position < indexCount ? report.indexFields[position] : blank, 8, 8);
    }
    for (auto j = static_cast<qsizetype>(report.fields.size()); j < indexCount; ++j)
        lines << report.indexFields[j];
    if (!report.codePage.isEmpty()) lines << kRuleLine << codePageLine(report);
    return lines;
}

void printReport(const StructureReport& report, TReportCanvas& canvas) {
    struct Row {
        int column;
        QString text;
    };
    std::vector<Row> rows;
    const qsizetype indexCount = report.indexFields.size();
    for (std::size_t k = 0; k < report.fields.size(); ++k) {
        const ReportField& field = report.fields[k];
        const auto position = static_cast<qsizetype>(k);
        rows.push_back(
            {kFieldColumn,
             fieldLine(field, field.indexField ? kKeyMark : QString(),
                       position < indexCount ? report.indexFields[position] : QString(), 4, 0)});
    }
    for (auto j = static_cast<qsizetype>(report.fields.size()); j < indexCount; ++j)
        rows.push_back({kExtraIndexColumn, report.indexFields[j]});
    if (!report.codePage.isEmpty()) rows.push_back({kFieldColumn, codePageLine(report)});

    const QString header = left(CatalogueText(kTextFeldname), 24) + u' ' +
                           left(CatalogueText(kTextTyp), 4) + u' ' +
                           right(CatalogueText(kTextGroesse), 14) + u' ' + right(kIndexHeading, 14);
    const QString titleText = title(report.alias, report.tableName);
    // A title that reaches the date's column (a long alias or table name) pushes the date onto
    // the empty line below it instead of running into it.
    const bool titleReachesDate = kTitleColumn + titleText.size() >= kDateColumn;
    const int dateLine = titleReachesDate ? kTitleLine + 1 : kTitleLine;
    const auto printPageHead = [&] {
        canvas.PrintAt(kTitleColumn, kTitleLine, titleText);
        canvas.PrintAt(kDateColumn, dateLine, report.timestamp);
        canvas.PrintAt(kHeaderColumn, kHeaderLine, header);
    };

    printPageHead();
    int line = kFirstBodyLine;
    for (const Row& row : rows) {
        // Every page holds at least one row, however small the canvas says it is.
        if (line > canvas.LastLine() && line > kFirstBodyLine) {
            canvas.NewPage();
            printPageHead();
            line = kFirstBodyLine;
        }
        canvas.PrintAt(row.column, line++, row.text);
    }
}

}  // namespace kx4
