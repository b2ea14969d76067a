#include <gtest/gtest.h>

#include <QPrinterInfo>
#include <QRegularExpression>
#include <cmath>

#include "report/PrinterCanvas.h"
#include "tests/report/ReportTestSupport.h"

namespace kx4 {
namespace {

// Text of a PDF as pdftotext gives it (pages end with a form feed).
std::string pdfToText(const std::string& pdf, const std::string& options) {
    std::string out;
    EXPECT_EQ(test::runCommand("pdftotext " + options + " '" + pdf + "' - 2>/dev/null", out), 0);
    return out;
}

// Each page's non-empty lines with runs of blanks collapsed.
std::vector<QStringList> pdfPages(const std::string& pdf) {
    std::vector<QStringList> pages;
    const QString text = QString::fromStdString(pdfToText(pdf, "-layout"));
    for (const QString& page : text.split(u'\f')) {
        QStringList lines;
        for (const QString& line : page.split(u'\n'))
            if (!line.trimmed().isEmpty()) lines << line.simplified();
        if (!lines.isEmpty()) pages.push_back(lines);
    }
    return pages;
}

struct Word {
    int page;
    double x;
    double y;
    QString text;
};

// Words with their top-left corner in points, from pdftotext -bbox.
std::vector<Word> pdfWords(const std::string& pdf) {
    static const QRegularExpression pattern(QStringLiteral(
        R"re(<page |<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="[\d.]+" yMax="[\d.]+">([^<]*)</word>)re"));
    std::vector<Word> words;
    int page = 0;
    const QString html = QString::fromStdString(pdfToText(pdf, "-bbox"));
    for (auto it = pattern.globalMatch(html); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        if (m.captured(0) == QStringLiteral("<page ")) {
            ++page;
            continue;
        }
        words.push_back({page, m.captured(1).toDouble(), m.captured(2).toDouble(), m.captured(3)});
    }
    return words;
}

const Word& findWord(const std::vector<Word>& words, const QString& text) {
    for (const Word& word : words)
        if (word.text == text) return word;
    ADD_FAILURE() << "no word " << text.toStdString();
    static const Word none{};
    return none;
}

std::unique_ptr<QPrinter> pdfPrinter(const QString& file, QPrinter::PrinterMode mode) {
    auto printer = std::make_unique<QPrinter>(mode);
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(file);
    printer->setPageSize(QPageSize(QPageSize::A4));
    return printer;
}

StructureReport smallReport() {
    StructureReport report = test::threeFieldsFiveIndexes();
    report.aliasPath.clear();
    return report;
}

class PrintedReportTest : public testing::Test {
  protected:
    PrintedReportTest() { test::testApplication(); }
    std::string pdf(const std::string& name) const { return dir.file(name); }
    test::TempDir dir;
};

// One column is one character of the report font, 4.8 points (20 pixels at 300 dpi); one line
// is 7.92 points (33 pixels). The grid looks the same at any printer resolution.
class PrintedPositions : public PrintedReportTest,
                         public testing::WithParamInterface<QPrinter::PrinterMode> {};

TEST_P(PrintedPositions, FollowTheGridAtAnyResolution) {
    const std::string file = pdf("grid.pdf");
    const auto printer = pdfPrinter(QString::fromStdString(file), GetParam());
    printStructureReport(smallReport(), *printer);
    const std::vector<Word> words = pdfWords(file);

    constexpr double kColumn = 20.0 / 300 * 72;
    constexpr double kLine = 33.0 / 300 * 72;
    // Integer device pixels round the positions at low resolutions.
    const double tolerance = 72.0 / printer->resolution() + 0.05;
    const Word& title = findWord(words, QStringLiteral("Table:"));
    struct Expected {
        const char* word;
        int columns;  // right of the title's column 1
        int lines;    // below the title's line 1
    };
    for (const Expected& e :
         {Expected{"14:07:09", 59 + 11, 0}, Expected{"Feldname", 2, 2},
          Expected{"Index", 2 + 24 + 1 + 4 + 1 + 14 + 1 + 9, 2}, Expected{"Nr", 2, 4},
          Expected{"Unknown", 2 + 25, 4}, Expected{"Size=34", 2 + 38, 5},
          Expected{"Kunde;Betrag", 67, 7}, Expected{"Betrag;Nr", 67, 8}}) {
        SCOPED_TRACE(e.word);
        const Word& word = findWord(words, QString::fromLatin1(e.word));
        EXPECT_NEAR(word.x - title.x, e.columns * kColumn, tolerance);
        EXPECT_NEAR(word.y - title.y, e.lines * kLine, tolerance);
    }
}

INSTANTIATE_TEST_SUITE_P(Resolutions, PrintedPositions,
                         testing::Values(QPrinter::HighResolution, QPrinter::ScreenResolution),
                         [](const auto& info) {
                             return info.param == QPrinter::HighResolution ? "High" : "Screen";
                         });

TEST_F(PrintedReportTest, PortraitInAMonospacedCourierFont) {
    const std::string file = pdf("font.pdf");
    printStructureReport(smallReport(),
                         *pdfPrinter(QString::fromStdString(file), QPrinter::HighResolution));
    std::string fonts;
    ASSERT_EQ(test::runCommand("pdffonts '" + file + "'", fonts), 0);
    EXPECT_TRUE(QString::fromStdString(fonts).contains(
        QRegularExpression(QStringLiteral("Courier|LiberationMono|Liberation Mono"))))
        << fonts;
    std::string info;
    ASSERT_EQ(test::runCommand("pdfinfo '" + file + "'", info), 0);
    const QRegularExpressionMatch size =
        QRegularExpression(QStringLiteral(R"(Page size:\s+([\d.]+) x ([\d.]+))"))
            .match(QString::fromStdString(info));
    ASSERT_TRUE(size.hasMatch()) << info;
    EXPECT_LT(size.captured(1).toDouble(), size.captured(2).toDouble());
}

// 150 fields do not fit one page: every page starts with title, date and header, and the field
// lines continue in order.
TEST_F(PrintedReportTest, LongReportsContinueOnNewPagesWithTitleAndHeader) {
    StructureReport report = smallReport();
    report.fields.clear();
    for (int i = 1; i <= 150; ++i) {
        report.fields.push_back({QStringLiteral("Feld%1").arg(i, 3, 10, QChar(u'0')),
                                 TFieldType::ftInteger, 0, 4, false});
    }
    const std::string file = pdf("long.pdf");
    printStructureReport(report,
                         *pdfPrinter(QString::fromStdString(file), QPrinter::HighResolution));

    const std::vector<QStringList> pages = pdfPages(file);
    ASSERT_GE(pages.size(), 2u);
    QStringList fieldNames;
    for (std::size_t p = 0; p < pages.size(); ++p) {
        SCOPED_TRACE(p + 1);
        const QStringList& lines = pages[p];
        ASSERT_GE(lines.size(), 3);
        EXPECT_EQ(lines[0], QStringLiteral("Table: - :KASSE: - \"BELEG.DB\" 05.03.24 - 14:07:09"));
        EXPECT_EQ(lines[1], QStringLiteral("Feldname Typ Grösse Index"));
        for (const QString& line : lines.mid(2)) fieldNames << line.section(u' ', 0, 0);
        if (p + 1 < pages.size()) {
            EXPECT_EQ(lines.size(), pages[0].size());
        }
    }
    ASSERT_EQ(fieldNames.size(), 150);
    for (int i = 0; i < 150; ++i)
        EXPECT_EQ(fieldNames[i], report.fields[static_cast<std::size_t>(i)].name);
}

class PrintedThroughTheDialog : public PrintedReportTest {
  protected:
    test::LocaleScope german{"de_DE.UTF-8"};
    test::ScriptedPromptsScope prompts;
    test::ReportAlias alias;
    test::ReportWindow window;
};

// Without a printer the report goes into the PDF file the user names.
TEST_F(PrintedThroughTheDialog, ThePdfHoldsTheReportInOrder) {
    if (!QPrinterInfo::defaultPrinter().isNull()) GTEST_SKIP() << "a printer is installed";
    test::createBeleg(alias);
    window.choose(QStringLiteral("BELEG.DB"));
    const std::string file = pdf("beleg.pdf");
    prompts.messageAnswers = {mrYes};
    prompts.inputAnswers = {QString::fromStdString(file)};
    ASSERT_TRUE(test::runReport(*window.form, [](TDruckForm& dialog) { dialog.OKBtn->click(); }));
    ASSERT_TRUE(prompts.errorBoxes.empty()) << prompts.errorBoxes.front().toStdString();

    const std::vector<QStringList> pages = pdfPages(file);
    ASSERT_EQ(pages.size(), 1u);
    ASSERT_EQ(pages[0].size(), 8);
    EXPECT_TRUE(pages[0][0].startsWith(QStringLiteral("Table: - :REPORT: - \"BELEG.DB\" ")))
        << pages[0][0].toStdString();
    const QStringList body = {
        QStringLiteral("Feldname Typ Grösse Index"),
        QStringLiteral("Nr Unknown Size=4 (*) Nr"),
        QStringLiteral("Betrag BCD Size=34 :2 Betrag"),
        QStringLiteral("Kunde String Size=30 Kunde"),
        QStringLiteral("Kunde;Betrag"),
        QStringLiteral("Betrag;Nr"),
        QStringLiteral("Code page: 1252 (table)"),
    };
    EXPECT_EQ(pages[0].mid(1), body);
}

}  // namespace
}  // namespace kx4
