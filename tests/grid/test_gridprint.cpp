#include <gtest/gtest.h>

#include <QFile>
#include <QFontMetrics>
#include <QImage>
#include <QPaintEngine>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTemporaryDir>
#include <algorithm>

#include "grid/gridprint.h"
#include "tests/support/scripteddialogs.h"
#include "tests/support/testenv.h"

namespace {

// A protocol grid as printing sees it: the main window's column widths and row height.
class TableSource : public GridPrintSource {
public:
    std::vector<QStringList> rows;
    std::vector<int> widths{42, 42, 42, 42, 166};
    int rowHeight = 20;
    QFont font;

    explicit TableSource(int dataRows) {
        font.setFamily("Courier New");
        font.setPixelSize(15);
        rows.push_back({"Rang", "Nr.", "Time", "Split", "Km/h"});
        for (int r = 1; r <= dataRows; ++r)
            rows.push_back(
                {QString::number(r) + ".", QString::number(100 + r), "1.02,03", "0,00", "41,50"});
    }
    int ColCount() const override { return int(widths.size()); }
    int RowCount() const override { return int(rows.size()); }
    int ColWidth(int col) const override { return widths[col]; }
    int RowHeight(int) const override { return rowHeight; }
    QString Cell(int col, int row) const override { return rows[row][col]; }
    QFont Font() const override { return font; }
};

// What a page routine painted, page by page.
struct Drawn {
    struct Text {
        int page;
        QString text;
        QPoint baseline;
        int ascent;
        int width;
        QRect clip;  // empty when not clipped
        int Top() const { return baseline.y() - ascent; }
    };
    struct Rect {
        int page;
        QRect rect;
        bool filled;
    };
    int page = 1;
    std::vector<Text> texts;
    std::vector<Rect> rects;

    std::vector<Text> TextsOn(int p) const {
        std::vector<Text> out;
        for (const Text& t : texts)
            if (t.page == p) out.push_back(t);
        return out;
    }
    const Text* Find(int p, const QString& s) const {
        for (const Text& t : texts)
            if (t.page == p && t.text == s) return &t;
        return nullptr;
    }
    std::vector<QRect> FramesOn(int p) const {
        std::vector<QRect> out;
        for (const Rect& r : rects)
            if (r.page == p && !r.filled) out.push_back(r.rect);
        return out;
    }
};

class RecordingEngine : public QPaintEngine {
public:
    explicit RecordingEngine(Drawn& out) : QPaintEngine(AllFeatures), out_(out) {}
    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState& state) override {
        if (state.state() & DirtyBrush) brush_ = state.brush().style() != Qt::NoBrush;
        if (state.state() & DirtyClipEnabled) clipOn_ = state.isClipEnabled();
        if (state.state() & DirtyClipRegion) {
            clipOn_ = state.clipOperation() != Qt::NoClip;
            clip_ = state.clipRegion().boundingRect();
        }
    }
    void drawRects(const QRect* rects, int count) override {
        for (int i = 0; i < count; ++i)
            out_.rects.push_back({out_.page, rects[i], brush_});
    }
    void drawTextItem(const QPointF& p, const QTextItem& item) override {
        const QFontMetrics fm(item.font());
        out_.texts.push_back({out_.page, item.text(), p.toPoint(), fm.ascent(),
                              fm.horizontalAdvance(item.text()), clipOn_ ? clip_ : QRect()});
    }
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
    void drawPolygon(const QPointF*, int, PolygonDrawMode) override {}
    void drawPath(const QPainterPath&) override {}
    Type type() const override { return User; }

private:
    Drawn& out_;
    bool brush_ = false;
    bool clipOn_ = false;
    QRect clip_;
};

class RecordingDevice : public QPaintDevice {
public:
    RecordingDevice(int w, int h, Drawn& out) : w_(w), h_(h), engine_(out) {}
    QPaintEngine* paintEngine() const override { return &engine_; }

protected:
    int metric(PaintDeviceMetric m) const override {
        switch (m) {
            case PdmWidth:
                return w_;
            case PdmHeight:
                return h_;
            case PdmDpiX:
            case PdmDpiY:
            case PdmPhysicalDpiX:
            case PdmPhysicalDpiY:
                return 600;
            case PdmDepth:
                return 32;
            case PdmNumColors:
                return INT_MAX;
            case PdmDevicePixelRatio:
                return 1;
            case PdmDevicePixelRatioScaled:
                return int(devicePixelRatioFScale());
            default:
                return 0;
        }
    }

private:
    int w_, h_;
    mutable RecordingEngine engine_;
};

PrintPageGeometry Page(int width, int height) {
    PrintPageGeometry g;
    g.pageWidth = width;
    g.pageHeight = height;
    g.printerDpiX = g.printerDpiY = 600;
    g.screenDpiX = g.screenDpiY = 96;  // factor 6
    return g;
}

struct PrintRun {
    Drawn drawn;
    int pages = 0;
    int newPages = 0;
};

PrintRun PrintRecorded(const TableSource& source, const PrintPageGeometry& g, int from, int to,
                       TPrintOptions options = {}, PrintMode mode = PrintMode::Print,
                       int* counter = nullptr) {
    PrintRun run;
    RecordingDevice device(g.pageWidth, g.pageHeight, run.drawn);
    QPainter painter(&device);
    int own = 0;
    if (options.PageTitle.isEmpty()) options.PageTitle = "race       2026-12-08-01-40";
    run.pages =
        PrintPages(&painter, mode, from, to, source, g, options, counter ? *counter : own, [&run] {
            ++run.newPages;
            ++run.drawn.page;
        });
    return run;
}

// 3 data rows fit on a page of this height at factor 6: the header row ends at 20 + 21 screen
// pixels, each row takes 21, and a frame must end by PageHeight - 20.
constexpr int kThreeRowPage = 6 * (20 + 21 + 3 * 21 + 20);

}  // namespace

TEST(GridPrint, OneBandColumnsScaledAndFramesShared) {
    const TableSource source(3);
    const PrintRun run = PrintRecorded(source, Page(4800, 6800), 1, 3);
    EXPECT_EQ(run.pages, 1);
    EXPECT_EQ(run.newPages, 0);

    // A 42-pixel column takes 258 printer pixels with its frame share, and the frames meet.
    const std::vector<QRect> frames = run.drawn.FramesOn(1);
    ASSERT_EQ(frames.size(), 4u * 5u);
    EXPECT_EQ(frames[0], QRect(0, 120, 258, 126));
    EXPECT_EQ(frames[1], QRect(258, 120, 258, 126));
    EXPECT_EQ(frames[4], QRect(4 * 258, 120, 6 * 166 + 6, 126));
    EXPECT_EQ(frames[5], QRect(0, 246, 258, 126)) << "the first data row shares the header's edge";
    EXPECT_EQ(frames[19], QRect(1032, 120 + 3 * 126, 1002, 126));

    // Cell texts 3 screen pixels into their frame, at its top, clipped to it.
    const Drawn::Text* time = run.drawn.Find(1, "Time");
    ASSERT_TRUE(time);
    EXPECT_EQ(time->baseline.x(), 2 * 258 + 18);
    EXPECT_EQ(time->Top(), 120);
    EXPECT_EQ(time->clip, QRect(516, 120, 258, 126));
    const Drawn::Text* third = run.drawn.Find(1, "3.");
    ASSERT_TRUE(third);
    EXPECT_EQ(third->Top(), 120 + 3 * 126);

    // The title is centred at the top; the page text reads "Seite 1" only, bottom right.
    const Drawn::Text* title = run.drawn.Find(1, "race       2026-12-08-01-40");
    ASSERT_TRUE(title);
    EXPECT_NEAR(title->baseline.x() + title->width / 2, 2400, 30);
    EXPECT_EQ(title->Top(), 6);
    const Drawn::Text* seite = run.drawn.Find(1, "Seite 1");
    ASSERT_TRUE(seite);
    EXPECT_NEAR(seite->baseline.x() + seite->width, 4800 - 60, 30);
    EXPECT_EQ(seite->Top(), 6800 - 114);
    // Cells in the grid's font at the printer's scale, titles at 10 points.
    EXPECT_EQ(time->ascent, QFontMetrics([] {
                                QFont f("Courier New");
                                f.setPixelSize(90);
                                return f;
                            }())
                                .ascent());
    EXPECT_LT(title->ascent, time->ascent);
}

TEST(GridPrint, APageBreakRepeatsTitlePageTextAndHeader) {
    const TableSource source(5);
    const PrintRun run = PrintRecorded(source, Page(4800, kThreeRowPage), 1, 5);
    EXPECT_EQ(run.pages, 2);
    EXPECT_EQ(run.newPages, 1);
    for (int p = 1; p <= 2; ++p) {
        EXPECT_TRUE(run.drawn.Find(p, "race       2026-12-08-01-40")) << p;
        EXPECT_TRUE(run.drawn.Find(p, "Rang")) << p;
        EXPECT_TRUE(run.drawn.Find(p, "Km/h")) << p;
    }
    EXPECT_TRUE(run.drawn.Find(1, "Seite 1"));
    EXPECT_TRUE(run.drawn.Find(2, "Seite 2"));
    EXPECT_TRUE(run.drawn.Find(1, "3."));
    EXPECT_FALSE(run.drawn.Find(1, "4."));
    const Drawn::Text* fourth = run.drawn.Find(2, "4.");
    ASSERT_TRUE(fourth);
    EXPECT_EQ(fourth->Top(), 246) << "first row under the repeated header";
    EXPECT_TRUE(run.drawn.Find(2, "5."));

    // No frame reaches below PageHeight - 20 screen pixels, clear of the page number.
    for (int p = 1; p <= 2; ++p)
        for (const QRect& r : run.drawn.FramesOn(p))
            EXPECT_LE(r.y() + r.height(), kThreeRowPage - 120);
}

TEST(GridPrint, ColumnBandsAreNumberedAfterThePage) {
    const TableSource source(5);
    // Two 42-pixel columns fit (516), a third does not; the wide last column has a band alone.
    const PrintRun run = PrintRecorded(source, Page(600, kThreeRowPage), 1, 5);
    EXPECT_EQ(run.pages, 6);
    EXPECT_EQ(run.newPages, 5);
    const QStringList expected = {"Seite 1-1", "Seite 2-1", "Seite 1-2",
                                  "Seite 2-2", "Seite 1-3", "Seite 2-3"};
    for (int p = 1; p <= 6; ++p)
        EXPECT_TRUE(run.drawn.Find(p, expected[p - 1])) << p;
    // Each band starts at the left edge with its own columns and rows.
    const Drawn::Text* time = run.drawn.Find(3, "Time");
    ASSERT_TRUE(time);
    EXPECT_EQ(time->baseline.x(), 18);
    EXPECT_FALSE(run.drawn.Find(3, "Rang"));
    EXPECT_TRUE(run.drawn.Find(6, "Km/h"));
    EXPECT_EQ(run.drawn.FramesOn(5).front(), QRect(0, 120, 1002, 126));
    EXPECT_EQ(run.drawn.FramesOn(5).size(), 4u) << "header and three rows of one column";
}

TEST(GridPrint, RowRange) {
    const TableSource source(5);
    // From row after to row: the header only.
    PrintRun run = PrintRecorded(source, Page(4800, 6800), 4, 3);
    EXPECT_EQ(run.pages, 1);
    EXPECT_EQ(run.drawn.FramesOn(1).size(), 5u);
    EXPECT_TRUE(run.drawn.Find(1, "Seite 1"));
    // A range past the grid stops at its last row.
    run = PrintRecorded(source, Page(4800, 6800), 2, 1000);
    EXPECT_EQ(run.drawn.FramesOn(1).size(), 5u * 5u);
    EXPECT_FALSE(run.drawn.Find(1, "1."));
    EXPECT_TRUE(run.drawn.Find(1, "5."));
}

TEST(GridPrint, ARowHigherThanAPageIsPrintedAloneInsteadOfForever) {
    TableSource source(2);
    source.rowHeight = 200;
    const PrintRun run = PrintRecorded(source, Page(4800, 600), 1, 2);
    EXPECT_EQ(run.pages, 2);
    EXPECT_TRUE(run.drawn.Find(1, "1."));
    EXPECT_TRUE(run.drawn.Find(2, "2."));
}

TEST(GridPrint, CountAndPreviewFollowTheRunningPageCounter) {
    const TableSource source(5);
    int counter = 0;
    EXPECT_EQ(
        PrintPages(nullptr, PrintMode::Count, 1, 5, source, Page(600, kThreeRowPage), {}, counter),
        6);
    EXPECT_EQ(counter, 6);
    EXPECT_EQ(
        PrintPages(nullptr, PrintMode::Count, 1, 5, source, Page(600, kThreeRowPage), {}, counter),
        6);
    EXPECT_EQ(counter, 12) << "the counter is never reset";

    // The preview draws only the page whose running number is PreviewPage, at screen scale on
    // white, and stops after it.
    TPrintOptions options;
    options.PreviewPage = 14;  // the second page of this run
    const PrintRun run = PrintRecorded(source, Page(600, kThreeRowPage), 1, 5, options,
                                       PrintMode::Preview, &counter);
    EXPECT_EQ(counter, 14);
    EXPECT_EQ(run.pages, 2);
    ASSERT_FALSE(run.drawn.rects.empty());
    EXPECT_TRUE(run.drawn.rects.front().filled);
    EXPECT_EQ(run.drawn.rects.front().rect, QRect(0, 0, 100, kThreeRowPage / 6));
    EXPECT_TRUE(run.drawn.Find(1, "Seite 2-1"));
    EXPECT_FALSE(run.drawn.Find(1, "Seite 1-1"));
    EXPECT_TRUE(run.drawn.Find(1, "4."));
    EXPECT_EQ(run.drawn.Find(1, "Nr.")->baseline.x(), 43 + 3);
    EXPECT_EQ(run.drawn.FramesOn(1).front(), QRect(0, 20, 43, 21));
    EXPECT_EQ(run.newPages, 0);
}

TEST(GridPrint, RenderedPage) {
    const TableSource source(12);
    QImage image(2100, 2000, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        int counter = 0;
        TPrintOptions options;
        options.PageTitle = "vidazorov       2026-12-08-01-40";
        PrintPages(&painter, PrintMode::Print, 1, 12, source, Page(2100, 2000), options, counter);
    }
    SaveShot(image, "gridprint_page");
    auto black = [&](int x, int y) { return qGray(image.pixel(x, y)) < 128; };
    // The shared vertical edge between the first two columns, down the header and first row.
    for (int y = 121; y < 372; ++y)
        EXPECT_TRUE(black(258, y)) << y;
    EXPECT_FALSE(black(257, 240));
    EXPECT_FALSE(black(259, 240));
    // The shared horizontal edge between header and first row, across all columns.
    for (int x = 0; x <= 1032 + 1002; ++x)
        EXPECT_TRUE(black(x, 246)) << x;
    EXPECT_FALSE(black(2040, 246));
    EXPECT_FALSE(black(100, 245));
    EXPECT_FALSE(black(100, 247));
    // Some ink in the title line and in the first cell's text.
    int ink = 0;
    for (int y = 6; y < 90; ++y)
        for (int x = 0; x < 2100; ++x)
            ink += black(x, y);
    EXPECT_GT(ink, 500);
    ink = 0;
    for (int y = 125; y < 240; ++y)
        for (int x = 18; x < 250; ++x)
            ink += black(x, y);
    EXPECT_GT(ink, 500);
}

TEST(GridPrint, PrintDocumentToPdf) {
    const TableSource source(120);
    QTemporaryDir dir;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath("protocol.pdf"));
    TPrintOptions options;
    options.JobTitle = "vidazorov";
    options.PageTitle = "vidazorov       2026-12-08-01-40";
    options.FromRow = 1;
    options.ToRow = 120;
    int counter = 0;
    PrintDocument(printer, source, options, counter, 96, 96);
    QFile pdf(dir.filePath("protocol.pdf"));
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    const QByteArray bytes = pdf.readAll();
    const int pages = int(bytes.count("/Type /Page\n")) + int(bytes.count("/Type /Page\r")) +
                      int(bytes.count("/Type /Page ")) + int(bytes.count("/Type /Page/"));
    EXPECT_GT(counter, 1);
    EXPECT_EQ(pages, counter) << "every page begun is a page of the document";
}

TEST(GridPrint, NoPrinterInstalled) {
    if (PrinterInstalled()) GTEST_SKIP() << "this machine has a printer; the job would be real";
    ScopedDialogs dialogs;
    const TableSource source(1);
    int counter = 0;
    bool filterSwitchedOff = false;
    PrintOnDefaultPrinter(nullptr, source, {}, counter, 96, 96, [&] { filterSwitchedOff = true; });
    EXPECT_EQ(dialogs.errors, QStringList({"No Printer is installed"}));
    EXPECT_FALSE(filterSwitchedOff);
    EXPECT_EQ(counter, 0);
}
