#include "report/PrinterCanvas.h"

#include <QTextBoundaryFinder>
#include <cmath>

#include "engine/core/Errors.h"

namespace kx4 {

namespace {

QString printerName(const QPrinter& printer) {
    if (printer.outputFormat() == QPrinter::PdfFormat) return printer.outputFileName();
    return printer.printerName();
}

[[noreturn]] void printerFailed(const QPrinter& printer, const QString& what) {
    throw EInOutError(
        QStringLiteral("Druckfehler (%1): %2").arg(printerName(printer), what).toStdString());
}

}  // namespace

QFont TPrinterCanvas::reportFont() {
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPointSize(8);
    return font;
}

TPrinterCanvas::TPrinterCanvas(QPrinter& printer) : printer_(printer) {
    printer_.setPageOrientation(QPageLayout::Portrait);
    scale_ = static_cast<double>(printer_.resolution()) / kReferenceDpi;
    if (!painter_.begin(&printer_))
        printerFailed(printer_, QStringLiteral("Der Druckauftrag konnte nicht begonnen werden"));
    painter_.setFont(reportFont());
    painter_.setPen(Qt::black);
}

TPrinterCanvas::~TPrinterCanvas() {
    if (!painter_.isActive()) return;
    printer_.abort();
    painter_.end();
}

int TPrinterCanvas::scaled(int referencePixels) const {
    return static_cast<int>(std::lround(referencePixels * scale_));
}

QPoint TPrinterCanvas::position(int column, int line) const {
    return {scaled(kLeftOffset + kColumnWidth * column), scaled(kLineHeight * line)};
}

// Each character goes into its own column: the font's advance, rounded to the device's pixel
// size, would otherwise let long lines drift off the grid by a different amount on every printer.
void TPrinterCanvas::PrintAt(int column, int line, const QString& text) {
    const QPoint cell = position(column, line);
    // The position is the top of the text cell; Qt draws at the baseline.
    const int baseline = cell.y() + painter_.fontMetrics().ascent();
    QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, text);
    qsizetype start = 0;
    for (int i = 0; characters.toNextBoundary() != -1; ++i) {
        const qsizetype end = characters.position();
        const QString character = text.mid(start, end - start);
        start = end;
        if (character.trimmed().isEmpty()) continue;
        painter_.drawText(QPoint(position(column + i, line).x(), baseline), character);
    }
}

void TPrinterCanvas::NewPage() {
    if (!printer_.newPage()) printerFailed(printer_, QStringLiteral("Neue Seite nicht möglich"));
}

int TPrinterCanvas::LastLine() const {
    const int pageHeight = painter_.device()->height();
    const int textHeight = painter_.fontMetrics().height();
    return static_cast<int>((pageHeight - textHeight) / (kLineHeight * scale_));
}

void TPrinterCanvas::EndDoc() {
    const bool ended = painter_.end();
    if (!ended || printer_.printerState() == QPrinter::Error)
        printerFailed(printer_, QStringLiteral("Der Druckauftrag konnte nicht beendet werden"));
}

void printStructureReport(const StructureReport& report, QPrinter& printer) {
    TPrinterCanvas canvas(printer);
    printReport(report, canvas);
    canvas.EndDoc();
}

}  // namespace kx4
