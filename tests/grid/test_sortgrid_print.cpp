#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPainter>
#include <QPrinterInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include "grid/sortgrid.h"
#include "tests/support/scripteddialogs.h"
#include "tests/support/testenv.h"

namespace {

// The protocol grid as the main window creates it, with n finishers.
struct PrintedProtocol {
    explicit PrintedProtocol(int n) {
        g.SetDefaultColWidth(42);
        g.SetDefaultRowHeight(20);
        QFont f(QStringLiteral("Courier New"));
        f.setPixelSize(15);
        g.setFont(f);
        g.SortOptions().CanSort = false;
        g.SetRowCount(n + 1);
        g.Rows(0) = QStringList{"Rang", "Nr.", "Time", "Split", "Km/h"};
        for (int r = 1; r <= n; ++r)
            g.SetRow(
                r, {QString::number(r) + ".", QString::number(100 + r), "1.02,03", "0,00", "19,5"});
        g.PrintOptions().PageTitle = QStringLiteral("vidazorov       2026-12-08-01-40");
    }
    ScopedDialogs dialogs;
    TSortGrid g;
};

// Printer pixels at 600 dpi against a 96 dpi screen: every screen pixel is 6.
PrintPageGeometry Page(int width, int height) {
    PrintPageGeometry g;
    g.pageWidth = width;
    g.pageHeight = height;
    g.printerDpiX = g.printerDpiY = 600;
    g.screenDpiX = g.screenDpiY = 96;
    return g;
}

bool Black(const QImage& img, int x, int y) {
    return qGray(img.pixel(x, y)) < 128;
}

int Ink(const QImage& img, const QRect& r) {
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            n += Black(img, x, y);
    return n;
}

QImage PreviewPage(TSortGrid& g, unsigned page, const PrintPageGeometry& geometry) {
    QImage image(geometry.pageWidth / 6, geometry.pageHeight / 6, QImage::Format_RGB32);
    image.fill(Qt::gray);
    QPainter painter(&image);
    g.PrintOptions().PreviewPage = page;
    g.PrintPages(&painter, PrintMode::Preview, 1, g.RowCount() - 1, geometry);
    return image;
}

}  // namespace

TEST(SortGridPrint, ThePageTakesWidthsHeightsAndCellsFromTheGrid) {
    PrintedProtocol p(3);
    p.g.SetColWidths(1, 60);
    QImage image(2100, 2000, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        int newPages = 0;
        EXPECT_EQ(
            p.g.PrintPages(&painter, PrintMode::Print, 1, 3, Page(2100, 2000), [&] { ++newPages; }),
            1);
        EXPECT_EQ(newPages, 0);
    }
    SaveShot(image, "sortgrid_print_page");
    EXPECT_EQ(p.g.PageCounter(), 1);
    // Column edges: 42 screen pixels and the frame share are 258 printer pixels; "Nr." is wider.
    const int edges[] = {0, 258, 258 + 366, 624 + 258, 882 + 258, 1140 + 258};
    for (int x : edges)
        for (int y = 121; y < 120 + 4 * 126; y += 7)
            EXPECT_TRUE(Black(image, x, y)) << x << "," << y;
    EXPECT_FALSE(Black(image, 1399, 200));
    // Row edges every 21 screen pixels below the header's top at 20; nothing below row 3.
    for (int y : {120, 246, 372, 498, 624})
        EXPECT_TRUE(Black(image, 100, y)) << y;
    EXPECT_EQ(Ink(image, QRect(0, 626, 2100, 2000 - 626)), Ink(image, QRect(1500, 1800, 600, 200)))
        << "only the page number lies below the last row";
    // Text in every cell of the first data row, drawn in the grid's font scaled up.
    for (int x0 : {0, 258, 624, 882, 1140})
        EXPECT_GT(Ink(image, QRect(x0 + 10, 250, 200, 110)), 100) << x0;
}

TEST(SortGridPrint, PreviewRepeatsTheHeaderOnEveryPageAndCountsPages) {
    PrintedProtocol p(40);
    const PrintPageGeometry geometry = Page(2100, 2400);  // 350 by 400 screen pixels
    const int counted = p.g.PrintPages(nullptr, PrintMode::Count, 1, 40, geometry);
    EXPECT_EQ(counted, 3);  // (400 - 20 - 21 - 20) / 21 = 16 rows a page
    EXPECT_EQ(p.g.PageCounter(), 3);
    const QImage first = PreviewPage(p.g, 4, geometry);
    const QImage second = PreviewPage(p.g, 4 + 2, geometry);  // the second page of the next run
    EXPECT_EQ(p.g.PageCounter(), 3 + 1 + 2);                  // a preview stops after its page
    SaveShot(first, "sortgrid_preview_page1");
    SaveShot(second, "sortgrid_preview_page2");
    // Preview pages are white at screen scale; title and header row are the same on both pages,
    // the rows and the page number are not.
    EXPECT_EQ(first.pixel(349, 399), qRgb(255, 255, 255));
    const QRect titleAndHeader(0, 0, 350, 20 + 22);
    EXPECT_EQ(first.copy(titleAndHeader), second.copy(titleAndHeader));
    EXPECT_GT(Ink(first, QRect(0, 0, 350, 18)), 50);
    EXPECT_NE(first.copy(0, 42, 350, 21), second.copy(0, 42, 350, 21));
    EXPECT_NE(first.copy(250, 381, 100, 19), second.copy(250, 381, 100, 19));
}

// Prints through the CUPS printer that scripts/cups-pdf-printer.sh adds and reads the PDF back.
TEST(SortGridPrint, PrintsTheProtocolOnARealPrinter) {
    const QString printer = QStringLiteral("VidazorovPDF");
    const QDir out(QStringLiteral("/var/spool/cups-pdf/vidazorov"));
    if (QPrinterInfo::printerInfo(printer).isNull())
        GTEST_SKIP() << "no CUPS printer VidazorovPDF here: scripts/cups-pdf-printer.sh adds it "
                        "where a CUPS "
                        "server with cups-pdf can run as root";
    // The job goes to the default printer; this process's default is ours, the machine's stays.
    const QByteArray oldPrinter = qgetenv("PRINTER");
    qputenv("PRINTER", printer.toUtf8());
    struct Restore {
        QByteArray value;
        ~Restore() { value.isNull() ? qunsetenv("PRINTER") : qputenv("PRINTER", value); }
    } restore{oldPrinter};
    if (QPrinterInfo::defaultPrinter().printerName() != printer)
        GTEST_SKIP() << "CUPS does not take PRINTER as this process's default printer";

    PrintedProtocol p(60);
    p.g.OnSetFilter = [](const QStringList& row, bool& accept) {
        accept = row.at(0).startsWith('1');
    };
    p.g.SetFiltered(true);
    ASSERT_LT(p.g.RowCount(), 61);
    const QString job = QStringLiteral("vidazorov-test-%1-%2")
                            .arg(QCoreApplication::applicationPid())
                            .arg(QDateTime::currentMSecsSinceEpoch());
    p.g.PrintOptions().JobTitle = job;
    p.g.PrintOptions().Copies = 1;
    p.g.PrintOptions().FromRow = 1;
    p.g.PrintOptions().ToRow = 60;
    p.g.Print();
    EXPECT_TRUE(p.dialogs.errors.isEmpty());
    // The filter went off first: all 60 rows were back and printed.
    EXPECT_FALSE(p.g.Filtered());
    EXPECT_EQ(p.g.RowCount(), 61);
    const int pages = p.g.PageCounter();
    EXPECT_GE(pages, 1);

    // cups-pdf names the file after the job.
    QString pdf;
    QElapsedTimer waited;
    waited.start();
    qint64 lastSize = -1;
    while (waited.elapsed() < 120000) {
        const QStringList found = out.entryList({job + "*.pdf"}, QDir::Files);
        if (!found.isEmpty()) {
            const qint64 size = QFileInfo(out.filePath(found.front())).size();
            if (size > 0 && size == lastSize) {
                pdf = out.filePath(found.front());
                break;
            }
            lastSize = size;
        }
        QThread::msleep(250);
    }
    ASSERT_FALSE(pdf.isEmpty()) << "no PDF of job " << job.toStdString() << " within two minutes";
    QFile file(pdf);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.read(5) == "%PDF-");
    file.close();

    // The text reaches the PDF as outlines, so the pages are looked at as pictures.
    const QString pdftoppm = QStandardPaths::findExecutable(QStringLiteral("pdftoppm"));
    if (!pdftoppm.isEmpty()) {
        QTemporaryDir pngs;
        QProcess process;
        process.start(pdftoppm, {"-r", "50", "-gray", "-png", pdf, pngs.filePath("page")});
        ASSERT_TRUE(process.waitForFinished(60000));
        const QStringList files =
            QDir(pngs.path()).entryList({"page*.png"}, QDir::Files, QDir::Name);
        EXPECT_EQ(int(files.size()), pages) << "every page begun is a printed page";
        for (const QString& f : files) {
            SCOPED_TRACE(f.toStdString());
            const QImage page(pngs.filePath(f));
            ASSERT_FALSE(page.isNull());
            const int w = page.width(), h = page.height();
            // A frame line runs down most of the page: the left edge of the first column.
            int longest = 0;
            for (int x = 0; x < w / 3; ++x) {
                int run = 0;
                for (int y = 0; y < h; ++y) {
                    run = Black(page, x, y) ? run + 1 : 0;
                    longest = std::max(longest, run);
                }
            }
            EXPECT_GT(longest, f == files.front() ? h / 2 : h / 10);
            // The title centred at the top, the page number at the bottom right.
            EXPECT_GT(Ink(page, QRect(w / 4, 0, w / 2, h / 20)), 20);
            EXPECT_GT(Ink(page, QRect(w * 3 / 4, h * 9 / 10, w / 4, h / 10)), 10);
        }
    }
    QFile::remove(pdf);
}
