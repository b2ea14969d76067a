#pragma once
// The printer side of the structure report: a TReportCanvas that paints on a QPrinter.
#include <QFont>
#include <QPainter>
#include <QPoint>
#include <QPrinter>

#include "report/StructureReport.h"

namespace kx4 {

// The report's grid is laid out in pixels of a 300 dpi printer, where one column (20 pixels) is
// the advance of one 8-point Courier New character: column c of line l stands at
// x = 280 + 20 * c, y = 33 * l. Other resolutions scale these positions, so the page looks the
// same on every printer.
class TPrinterCanvas : public TReportCanvas {
  public:
    static constexpr int kReferenceDpi = 300;
    static constexpr int kLeftOffset = 280;
    static constexpr int kColumnWidth = 20;
    static constexpr int kLineHeight = 33;

    // Begins the print job (portrait, the report font); raises EInOutError when the printer
    // cannot start it.
    explicit TPrinterCanvas(QPrinter& printer);
    // Abandons a job that was not ended, so a failed report prints nothing half-done.
    ~TPrinterCanvas() override;
    TPrinterCanvas(const TPrinterCanvas&) = delete;
    TPrinterCanvas& operator=(const TPrinterCanvas&) = delete;

    void PrintAt(int column, int line, const QString& text) override;
    void NewPage() override;
    int LastLine() const override;

    // Ends the print job; raises EInOutError when the printer reports a failure.
    void EndDoc();

    // Top-left corner of a grid cell in device pixels.
    QPoint position(int column, int line) const;

    // "Courier New" 8 point, or the nearest monospaced font the system has.
    static QFont reportFont();

  private:
    int scaled(int referencePixels) const;

    QPrinter& printer_;
    QPainter painter_;
    double scale_ = 1.0;
};

// Prints the report on `printer`.
void printStructureReport(const StructureReport& report, QPrinter& printer);

}  // namespace kx4
