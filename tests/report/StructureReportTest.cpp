#include <gtest/gtest.h>

#include <QLocale>

#include "report/StructureReport.h"
#include "tests/app/AppTestSupport.h"
#include "tests/report/ReportTestSupport.h"
#include "texts/TextCatalogue.h"

namespace kx4 {
namespace {

// Column positions and texts the printer part was asked for.
struct PrintCall {
    int page;
    int column;
    int line;
    QString text;
    bool operator==(const PrintCall&) const = default;
};

void PrintTo(const PrintCall& call, std::ostream* os) {
    *os << "page " << call.page << " (" << call.column << "," << call.line << ") \""
        << call.text.toStdString() << '"';
}

class RecordingCanvas : public TReportCanvas {
  public:
    explicit RecordingCanvas(int lastLine) : lastLine_(lastLine) {}
    void PrintAt(int column, int line, const QString& text) override {
        calls.push_back({page_, column, line, text});
    }
    void NewPage() override { ++page_; }
    int LastLine() const override { return lastLine_; }

    std::vector<PrintCall> calls;

  private:
    int page_ = 1;
    int lastLine_;
};

// A title long enough to reach the date's column leaves the date on the line below; a short
// one keeps it beside the title.
TEST(PrintedHead, ALongTitleNeverRunsIntoTheDate) {
    StructureReport report;
    report.alias = QStringLiteral("KASSE");
    report.timestamp = QStringLiteral("05.03.24 - 14:07:09");
    for (const int length : {10, 44, 45, 120}) {
        report.tableName = QString(length, u'T') + QStringLiteral(".DB");
        RecordingCanvas canvas(60);
        printReport(report, canvas);
        ASSERT_GE(canvas.calls.size(), 2u);
        const PrintCall& title = canvas.calls[0];
        const PrintCall& date = canvas.calls[1];
        EXPECT_EQ(date.text, report.timestamp);
        EXPECT_EQ(date.column, 60);
        const bool sameLine = date.line == title.line;
        EXPECT_TRUE(!sameLine || title.column + title.text.size() < date.column) << length;
        EXPECT_LT(date.line, 3) << "the column header stays on line 3";
        if (length == 10) {
            EXPECT_TRUE(sameLine);
        }
    }
}

// The type name, size column and decimals the report shows for each field type.
struct TypeCase {
    TFieldType type;
    int size;
    int dataSize;
    const char* name;
    int sizeColumn;
    int decimals;
};

class ReportTypeColumns : public testing::TestWithParam<TypeCase> {};

TEST_P(ReportTypeColumns, NameSizeAndDecimals) {
    const TypeCase& c = GetParam();
    const ReportField field{QStringLiteral("F"), c.type, c.size, c.dataSize, false};
    EXPECT_EQ(reportTypeName(c.type), QString::fromLatin1(c.name));
    EXPECT_EQ(reportSizeColumn(field), c.sizeColumn);
    EXPECT_EQ(reportDecimals(field), c.decimals);
}

INSTANTIATE_TEST_SUITE_P(Types, ReportTypeColumns,
                         testing::Values(
                             // String fields show their declared characters, not the buffer size.
                             TypeCase{TFieldType::ftString, 30, 31, "String", 30, 0},
                             TypeCase{TFieldType::ftSmallint, 0, 2, "SmallInt", 2, 0},
                             TypeCase{TFieldType::ftFloat, 10, 8, "Float", 8, 0},
                             TypeCase{TFieldType::ftBCD, 2, 34, "BCD", 34, 2},
                             TypeCase{TFieldType::ftBCD, 0, 34, "BCD", 34, 0},
                             TypeCase{TFieldType::ftDateTime, 0, 8, "DateTime", 8, 0},
                             TypeCase{TFieldType::ftVarBytes, 20, 22, "VarBytes", 20, 0},
                             TypeCase{TFieldType::ftMemo, 11, 0, "Memo", 11, 0},
                             TypeCase{TFieldType::ftUnknown, 7, 5, "Unknown", 5, 0},
                             TypeCase{TFieldType::ftAutoInc, 0, 4, "Unknown", 4, 0},
                             TypeCase{TFieldType::ftLargeint, 0, 8, "Unknown", 8, 0}),
                         [](const auto& info) {
                             return std::string(info.param.name) + "_" + std::to_string(info.index);
                         });

// 4 fields, 2 index definitions: the later field lines have an empty index column.
StructureReport fourFieldsTwoIndexes() {
    StructureReport report;
    report.alias = QStringLiteral("LAGER");
    report.aliasPath = QStringLiteral("/data/lager");
    report.tableName = QStringLiteral("artikel.dbf");
    report.timestamp = QStringLiteral("t");
    report.fields = {
        {QStringLiteral("ARTNR"), TFieldType::ftFloat, 6, 8, false},
        {QStringLiteral("BEZEICHNUNG_LANG_UND_MEHR"), TFieldType::ftString, 40, 41, false},
        {QStringLiteral("PREIS"), TFieldType::ftBCD, 0, 34, false},
        {QStringLiteral("NOTIZ"), TFieldType::ftMemo, 10, 10, false}};
    report.indexFields = {QStringLiteral("ARTNR"), QStringLiteral("BEZEICHNUNG_LANG_UND_MEHR")};
    return report;
}

const QString kRule =
    QStringLiteral("================================================================== ");

TEST(ReportFile, ThreeFieldsFiveIndexDefinitions) {
    const QStringList expected = {
        QStringLiteral("05.03.24 - 14:07:09"),
        kRule,
        QStringLiteral("Table: - :KASSE: - \"/data/kasse/BELEG.DB\""),
        kRule,
        QStringLiteral("Feldname                 Typ          Grösse     Primaer  Index "),
        kRule,
        QStringLiteral("Nr                       Unknown      Size=4     (*)      Nr      "),
        QStringLiteral("Betrag                   BCD          Size=34  :2          Betrag  "),
        QStringLiteral("Kunde                    String       Size=30              Kunde   "),
        QStringLiteral("Kunde;Betrag"),
        QStringLiteral("Betrag;Nr"),
    };
    EXPECT_EQ(reportFileLines(test::threeFieldsFiveIndexes()), expected);
}

TEST(ReportFile, MoreFieldsThanIndexDefinitionsAndOverlongTexts) {
    const QStringList lines = reportFileLines(fourFieldsTwoIndexes());
    const QStringList expected = {
        QStringLiteral("ARTNR                    Float        Size=8              ARTNR   "),
        QStringLiteral("BEZEICHNUNG_LANG_UND_MEHR String       Size=40              "
                       "BEZEICHNUNG_LANG_UND_MEHR"),
        QStringLiteral("PREIS                    BCD          Size=34                      "),
        QStringLiteral("NOTIZ                    Memo         Size=10                      "),
    };
    ASSERT_EQ(lines.size(), 10);
    EXPECT_EQ(lines.mid(6), expected);
    EXPECT_EQ(lines[2], QStringLiteral("Table: - :LAGER: - \"/data/lager/artikel.dbf\""));
}

TEST(ReportFile, HeadersComeFromTheCatalogue) {
    test::CatalogueScope english{
        TextCatalogue::parseModule(QStringLiteral("65163=Field name\n65164=Type\n65165=Size\n"))};
    EXPECT_EQ(reportFileLines(test::threeFieldsFiveIndexes())[4],
              QStringLiteral("Field name               Type         Size       Primaer  Index "));
}

TEST(ReportPrinter, FieldLinesPairWithIndexDefinitionsAndTheRestStandInColumn68) {
    RecordingCanvas canvas(100);
    printReport(test::threeFieldsFiveIndexes(), canvas);
    const std::vector<PrintCall> expected = {
        {1, 1, 1, QStringLiteral("Table: - :KASSE: - \"BELEG.DB\"")},
        {1, 60, 1, QStringLiteral("05.03.24 - 14:07:09")},
        {1, 3, 3, QStringLiteral("Feldname                 Typ          Grösse          Index")},
        {1, 3, 5, QStringLiteral("Nr                       Unknown      Size=4     (*)  Nr")},
        {1, 3, 6, QStringLiteral("Betrag                   BCD          Size=34  :2      Betrag")},
        {1, 3, 7, QStringLiteral("Kunde                    String       Size=30          Kunde")},
        {1, 68, 8, QStringLiteral("Kunde;Betrag")},
        {1, 68, 9, QStringLiteral("Betrag;Nr")},
    };
    EXPECT_EQ(canvas.calls, expected);
}

TEST(ReportPrinter, LaterFieldLinesEndWithAnEmptyIndexColumn) {
    RecordingCanvas canvas(100);
    printReport(fourFieldsTwoIndexes(), canvas);
    ASSERT_EQ(canvas.calls.size(), 7u);
    EXPECT_EQ(canvas.calls[5], (PrintCall{1, 3, 7,
                                          QStringLiteral("PREIS                    BCD          "
                                                         "Size=34          ")}));
}

// A page that ends after line 7 holds three body lines; title, date and header start each page.
TEST(ReportPrinter, LinesBelowThePageContinueOnANewPageWithTitleAndHeader) {
    RecordingCanvas canvas(7);
    printReport(test::threeFieldsFiveIndexes(), canvas);
    std::vector<std::tuple<int, int, int>> positions;
    for (const PrintCall& call : canvas.calls)
        positions.emplace_back(call.page, call.column, call.line);
    const std::vector<std::tuple<int, int, int>> expected = {
        {1, 1, 1}, {1, 60, 1}, {1, 3, 3}, {1, 3, 5},  {1, 3, 6}, {1, 3, 7},
        {2, 1, 1}, {2, 60, 1}, {2, 3, 3}, {2, 68, 5}, {2, 68, 6}};
    EXPECT_EQ(positions, expected);
    EXPECT_EQ(canvas.calls[6].text, canvas.calls[0].text);
    EXPECT_EQ(canvas.calls[8].text, canvas.calls[2].text);
    EXPECT_EQ(canvas.calls[9].text, QStringLiteral("Kunde;Betrag"));
}

// The code page the table is read with closes both layouts, after the last index definition.
TEST(ReportCodePage, FollowsTheLastLineOnPrinterAndInTheFile) {
    StructureReport report = test::threeFieldsFiveIndexes();
    report.codePage = QStringLiteral("866 (setting)");
    RecordingCanvas canvas(100);
    printReport(report, canvas);
    EXPECT_EQ(canvas.calls.back(),
              (PrintCall{1, 3, 10, QStringLiteral("Code page: 866 (setting)")}));
    const QStringList lines = reportFileLines(report);
    EXPECT_EQ(lines.mid(lines.size() - 3),
              QStringList({QStringLiteral("Betrag;Nr"), QString(66, u'=') + u' ',
                           QStringLiteral("Code page: 866 (setting)")}));
}

TEST(ReportPrinter, ATinyPageStillTakesOneLinePerPage) {
    RecordingCanvas canvas(2);
    printReport(test::threeFieldsFiveIndexes(), canvas);
    ASSERT_EQ(canvas.calls.size(), 5u * 4u);
    EXPECT_EQ(canvas.calls.back(), (PrintCall{5, 68, 5, QStringLiteral("Betrag;Nr")}));
}

struct TimestampCase {
    const char* locale;
    const char* expected;
};

class ReportTimestamp : public testing::TestWithParam<TimestampCase> {};

// Short date, long time without the time zone Qt adds to it.
TEST_P(ReportTimestamp, ShortDateAndLongTime) {
    const QDateTime when(QDate(2024, 3, 5), QTime(14, 7, 9));
    // Newer locale data separate "PM" by a narrow no-break space.
    QString shown = reportTimestamp(when, QLocale(QString::fromLatin1(GetParam().locale)));
    shown.replace(QChar(0x202F), u' ');
    EXPECT_EQ(shown, QString::fromUtf8(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(Locales, ReportTimestamp,
                         testing::Values(TimestampCase{"de_DE", "05.03.24 - 14:07:09"},
                                         TimestampCase{"en_US", "3/5/24 - 2:07:09 PM"}),
                         [](const auto& info) { return std::string(info.param.locale); });

}  // namespace
}  // namespace kx4
