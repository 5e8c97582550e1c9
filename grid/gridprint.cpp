#include "grid/gridprint.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <algorithm>
#include <cmath>

#include "platform/dialogs.h"
#include "platform/exception.h"

namespace {

int ScreenPixelSize(const QFont& font, int screenDpiY) {
    if (font.pixelSize() > 0) return font.pixelSize();
    return std::max(1, int(std::lround(font.pointSizeF() * screenDpiY / 72.0)));
}

QFont WithPixelSize(QFont font, int pixels) {
    font.setPixelSize(std::max(1, pixels));
    return font;
}

class PageRun {
public:
    PageRun(QPainter* painter, PrintMode mode, const GridPrintSource& source,
            const PrintPageGeometry& g, const TPrintOptions& options, int& pageCounter,
            const std::function<void()>& newPage)
        : painter_(painter),
          mode_(mode),
          source_(source),
          options_(options),
          pageCounter_(pageCounter),
          newPage_(newPage),
          pageWidth_(g.pageWidth),
          pageHeight_(g.pageHeight),
          sx_(std::max(1, g.printerDpiX / std::max(1, g.screenDpiX))),
          sy_(std::max(1, g.printerDpiY / std::max(1, g.screenDpiY))) {
        if (mode_ == PrintMode::Preview) {
            pageWidth_ /= sx_;
            pageHeight_ /= sy_;
            sx_ = sy_ = 1;
            painter_->fillRect(0, 0, pageWidth_, pageHeight_, Qt::white);
        }
        // Texts are measured at screen size and placed by scaling, like every other length;
        // they are drawn at the scaled size so that they keep their place in the cells.
        const QFont gridFont = source_.Font();
        screenTitleFont_ = WithPixelSize(gridFont, int(std::lround(10 * g.screenDpiY / 72.0)));
        cellFont_ = WithPixelSize(gridFont, ScreenPixelSize(gridFont, g.screenDpiY) * sy_);
        titleFont_ = WithPixelSize(screenTitleFont_, screenTitleFont_.pixelSize() * sy_);
        if (mode_ != PrintMode::Count) {
            painter_->setFont(cellFont_);
            painter_->setPen(QPen(Qt::black, 0));
            painter_->setBrush(Qt::NoBrush);
        }
    }

    int Run(int fromRow, int toRow) {
        const int colCount = source_.ColCount();
        toRow = std::min(toRow, source_.RowCount() - 1);
        int firstCol = 0;
        int band = 0;
        while (firstCol < colCount) {
            int lastCol = firstCol;
            int width = ScaleX(source_.ColWidth(firstCol) + 1);
            while (lastCol + 1 < colCount &&
                   width + ScaleX(source_.ColWidth(lastCol + 1) + 1) <= pageWidth_) {
                ++lastCol;
                width += ScaleX(source_.ColWidth(lastCol) + 1);
            }
            ++band;
            const bool severalBands = lastCol < colCount - 1 || band > 1;
            int page = 1;
            BeginPage();
            int y = PageHeader(firstCol, lastCol, page, band, severalBands);
            const int headerEnd = y;
            for (int row = fromRow; row <= toRow;) {
                const int bottom = y + ScaleY(source_.RowHeight(row) + 1);
                // A row that does not fit even on an empty page is printed anyway, alone.
                if (bottom > pageHeight_ - ScaleY(20) && y > headerEnd) {
                    if (mode_ == PrintMode::Preview && drawn_) return begun_;
                    if (mode_ == PrintMode::Print) NewPage();
                    ++page;
                    BeginPage();
                    y = PageHeader(firstCol, lastCol, page, band, severalBands);
                    continue;
                }
                if (drawn_) OutputRow(row, y, firstCol, lastCol);
                y = bottom;
                ++row;
            }
            firstCol = lastCol + 1;
            if (firstCol < colCount) {
                if (mode_ == PrintMode::Preview && drawn_) return begun_;
                if (mode_ == PrintMode::Print) NewPage();
            }
        }
        return begun_;
    }

private:
    int ScaleX(int v) const { return v * sx_; }
    int ScaleY(int v) const { return v * sy_; }

    void BeginPage() {
        ++pageCounter_;
        ++begun_;
        drawn_ = mode_ == PrintMode::Print ||
                 (mode_ == PrintMode::Preview && unsigned(pageCounter_) == options_.PreviewPage);
    }

    void NewPage() {
        if (newPage_) newPage_();
    }

    void DrawTextAt(int x, int y, const QString& text) {
        painter_->drawText(QPoint(x, y + painter_->fontMetrics().ascent()), text);
    }

    // Title, page number and header row; returns the top of the first data row.
    int PageHeader(int firstCol, int lastCol, int page, int band, bool severalBands) {
        const int headerTop = ScaleY(20);
        if (drawn_) {
            const QFontMetrics screen(screenTitleFont_);
            painter_->setFont(titleFont_);
            const QString& title = options_.PageTitle;
            DrawTextAt(pageWidth_ / 2 - ScaleX(screen.horizontalAdvance(title) / 2), ScaleY(1),
                       title);
            QString number = QStringLiteral("Seite ") + QString::number(page);
            if (severalBands) number += QLatin1Char('-') + QString::number(band);
            DrawTextAt(pageWidth_ - ScaleX(screen.horizontalAdvance(number) + 10),
                       pageHeight_ - ScaleY(19), number);
            painter_->setFont(cellFont_);
            OutputRow(0, headerTop, firstCol, lastCol);
        }
        return headerTop + ScaleY(source_.RowHeight(0) + 1);
    }

    void OutputRow(int row, int y, int firstCol, int lastCol) {
        const int height = ScaleY(source_.RowHeight(row)) + ScaleY(1);
        int x = 0;
        for (int col = firstCol; col <= lastCol; ++col) {
            const int width = source_.ColWidth(col);
            const QRect cell(x, y, ScaleX(width) + ScaleX(1), height);
            painter_->setClipRect(cell);
            DrawTextAt(x + ScaleX(3), y, source_.Cell(col, row));
            painter_->setClipping(false);
            // The outline covers the rectangle's far edges too, which are the near edges of the
            // neighbours: frames are shared.
            painter_->drawRect(cell);
            x += ScaleX(width + 1);
        }
    }

    QPainter* painter_;
    PrintMode mode_;
    const GridPrintSource& source_;
    const TPrintOptions& options_;
    int& pageCounter_;
    const std::function<void()>& newPage_;
    int pageWidth_;
    int pageHeight_;
    int sx_;
    int sy_;
    QFont screenTitleFont_;
    QFont titleFont_;
    QFont cellFont_;
    bool drawn_ = false;
    int begun_ = 0;
};

}  // namespace

int PrintPages(QPainter* painter, PrintMode mode, int fromRow, int toRow,
               const GridPrintSource& source, const PrintPageGeometry& geometry,
               const TPrintOptions& options, int& pageCounter,
               const std::function<void()>& newPage) {
    if (mode != PrintMode::Count && !painter) return 0;
    PageRun run(painter, mode, source, geometry, options, pageCounter, newPage);
    return run.Run(fromRow, toRow);
}

bool PrinterInstalled() {
    return !QPrinterInfo::availablePrinters().isEmpty();
}

void PrintDocument(QPrinter& printer, const GridPrintSource& source, const TPrintOptions& options,
                   int& pageCounter, int screenDpiX, int screenDpiY) {
    printer.setDocName(options.JobTitle);
    printer.setCopyCount(int(std::clamp(options.Copies, 1u, 999u)));
    QPainter painter;
    if (!painter.begin(&printer))
        throw Exception(
            QStringLiteral("The printer refused the print job \"%1\"").arg(options.JobTitle));
    PrintPageGeometry geometry;
    const QRect area = printer.pageLayout().paintRectPixels(printer.resolution());
    geometry.pageWidth = area.width();
    geometry.pageHeight = area.height();
    geometry.printerDpiX = printer.logicalDpiX();
    geometry.printerDpiY = printer.logicalDpiY();
    geometry.screenDpiX = screenDpiX;
    geometry.screenDpiY = screenDpiY;
    PrintPages(&painter, PrintMode::Print, int(std::min(options.FromRow, 1u << 30)),
               int(std::min(options.ToRow, 1u << 30)), source, geometry, options, pageCounter,
               [&printer] {
                   if (!printer.newPage())
                       throw Exception(QStringLiteral("The printer refused a new page"));
               });
    if (!painter.end()) throw Exception(QStringLiteral("The print job could not be finished"));
}

void PrintOnDefaultPrinter(QWidget* parent, const GridPrintSource& source,
                           const TPrintOptions& options, int& pageCounter, int screenDpiX,
                           int screenDpiY, const std::function<void()>& beforePrinting) {
    if (!PrinterInstalled()) {
        Dialogs().Error(parent, QStringLiteral("No Printer is installed"));
        return;
    }
    if (beforePrinting) beforePrinting();
    QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull()) info = QPrinterInfo::availablePrinters().constFirst();
    QPrinter printer(info, QPrinter::HighResolution);
    PrintDocument(printer, source, options, pageCounter, screenDpiX, screenDpiY);
}
