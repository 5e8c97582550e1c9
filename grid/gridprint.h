#pragma once

#include <QFont>
#include <QString>
#include <functional>

class QPainter;
class QPrinter;
class QWidget;

enum class TMyPrintRange { prAll, prSelected };

// What the grid is asked to print. All zero or empty in a new grid.
struct TPrintOptions {
    QString JobTitle;   // the print job's name in the spooler
    QString PageTitle;  // centred at the top of every page
    unsigned Copies = 0;
    TMyPrintRange PrintRange = TMyPrintRange::prAll;  // kept, not consulted
    unsigned FromRow = 0;                             // first data row printed
    unsigned ToRow = 0;                               // last data row printed
    unsigned PreviewPage = 0;                         // the running page number a preview draws
};

// What printing reads from the grid. Lengths are screen pixels.
class GridPrintSource {
public:
    virtual ~GridPrintSource() = default;
    virtual int ColCount() const = 0;
    virtual int RowCount() const = 0;
    virtual int ColWidth(int col) const = 0;
    virtual int RowHeight(int row) const = 0;
    virtual QString Cell(int col, int row) const = 0;
    virtual QFont Font() const = 0;
};

// The page in printer pixels (the printable area; its top left is the origin) and the two
// resolutions. Screen lengths are scaled by printer dpi div screen dpi (at least 1).
struct PrintPageGeometry {
    int pageWidth = 0;
    int pageHeight = 0;
    int printerDpiX = 96;
    int printerDpiY = 96;
    int screenDpiX = 96;
    int screenDpiY = 96;
};

enum class PrintMode {
    Print,    // every page, a new printer page where one ends
    Preview,  // only the page whose running number is PreviewPage, at screen scale on white
    Count     // nothing drawn; pages are only counted
};

// Prints rows fromRow..toRow (none when fromRow > toRow; rows past the grid are not printed)
// below the header row. Columns that do not fit the page width follow in further bands of pages.
// Every page has the title centred at the top, "Seite " and the page number within its band
// (plus "-" and the band number when there are several bands) at the bottom right, and the header
// row; each cell is framed, neighbouring frames sharing their edges. A row goes to the next page
// when its frame would reach below PageHeight - 20 screen pixels (scaled), so it never runs into
// the page number.
// pageCounter is the grid's running page number: increased for every page begun, never reset.
// newPage starts a new printer page (Print mode). painter may be null in Count mode.
// Returns the number of pages begun.
int PrintPages(QPainter* painter, PrintMode mode, int fromRow, int toRow,
               const GridPrintSource& source, const PrintPageGeometry& geometry,
               const TPrintOptions& options, int& pageCounter,
               const std::function<void()>& newPage = {});

// True when the system has at least one printer.
bool PrinterInstalled();

// One print job on printer: named JobTitle, Copies copies (0 asks for one), rows FromRow..ToRow.
// Raises Exception when the printer refuses the job.
void PrintDocument(QPrinter& printer, const GridPrintSource& source, const TPrintOptions& options,
                   int& pageCounter, int screenDpiX, int screenDpiY);

// The grid's Print: "No Printer is installed" (error box) when there is none; otherwise
// beforePrinting (the grid switches its filter off there) and the job on the default printer.
void PrintOnDefaultPrinter(QWidget* parent, const GridPrintSource& source,
                           const TPrintOptions& options, int& pageCounter, int screenDpiX,
                           int screenDpiY, const std::function<void()>& beforePrinting = {});
