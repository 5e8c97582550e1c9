// The sort grid's files: the protocol file (settings, geometry and rows) and the semicolon file.
#include <QGuiApplication>
#include <QScreen>
#include <algorithm>

#include "grid/commalist.h"
#include "grid/protocolfile.h"
#include "grid/sortgrid.h"
#include "grid/textfile.h"
#include "platform/dialogs.h"

namespace {

// How many of the optional settings lines (each at most once, in this order) open the list.
qsizetype LeadingSettingsLines(const QStringList& lines) {
    static const QString kSections[] = {
        QStringLiteral("GenerelSettings"), QStringLiteral("FontColSettings"),
        QStringLiteral("FontRowSettings"), QStringLiteral("UserSettings")};
    qsizetype n = 0;
    for (const QString& name : kSections) {
        if (n >= lines.size()) break;
        const QStringList items = ParseCommaList(lines[n]);
        if (!items.isEmpty() && items.front() == name) ++n;
    }
    return n;
}

// The entries a file brought replace the front of the list; the list keeps any further entries
// it has.
void OverlayFormats(TFontList& list, const TFontList& fromFile) {
    if (list.size() < fromFile.size()) list.resize(fromFile.size());
    std::copy(fromFile.begin(), fromFile.end(), list.begin());
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Writing

QStringList TSortGrid::SaveToStrings(bool WithGeometry) const {
    ProtocolFileData data;
    data.columnFormatsFirst = columnFormatsFirst_;
    data.columnFormats = columnFormats_;
    data.rowFormats = rowFormats_;
    data.userSettings = userSettings_;
    const int cols = ColCount(), rows = RowCount();
    if (WithGeometry) {
        const QWidget* w = window();
        ProtocolGeometry g;
        g.width = w->width();
        g.height = w->height();
        g.colWidths.reserve(size_t(cols));
        for (int c = 0; c < cols; ++c)
            g.colWidths.push_back(ColWidths(c));
        g.left = w->x();
        g.top = w->y();
        data.geometry = std::move(g);
    }
    data.rows.reserve(size_t(rows));
    for (int r = 0; r < rows; ++r) {
        QStringList cells;
        cells.reserve(cols);
        for (int c = 0; c < cols; ++c)
            cells << Cells(c, r);
        data.rows.push_back(std::move(cells));
    }
    return ProtocolLines(data);
}

bool TSortGrid::SaveToFile(const QString& FileName, bool WithGeometry) {
    QString reason;
    if (WriteFileAtomically(FileName, EncodeLines(SaveToStrings(WithGeometry)), &reason))
        return true;
    Dialogs().Error(this, CantWriteMessage(FileName, reason));
    return false;
}

bool TSortGrid::SaveToCSV(const QString& FileName) {
    std::vector<QStringList> rows;
    rows.reserve(size_t(RowCount()));
    for (int r = 0; r < RowCount(); ++r) {
        QStringList cells;
        cells.reserve(ColCount());
        for (int c = 0; c < ColCount(); ++c)
            cells << Cells(c, r);
        rows.push_back(std::move(cells));
    }
    const QString message = SaveSemicolonFile(FileName, rows);
    if (message.isEmpty()) return true;
    Dialogs().Error(this, message);
    return false;
}

// ---------------------------------------------------------------------------------------------
// Reading

bool TSortGrid::LoadFromFile(const QString& FileName, bool WithGeometry) {
    // Only a regular text file of a bounded size: a FIFO or a device would block the window (and
    // the running clock) for ever, a huge file for long, and bytes that are no text would replace
    // the list with nonsense.
    std::optional<QStringList> lines = ReadTextFileLines(FileName);
    if (!lines) return false;
    return LoadFromStrings(*lines, WithGeometry);
}

bool TSortGrid::LoadFromStrings(QStringList& Lines, bool WithGeometry) {
    // Everything is read and checked before the grid is touched, so that lines that are not a
    // protocol cannot leave a half-rebuilt grid behind.
    const std::optional<ProtocolFileData> data = ParseProtocolLines(Lines, WithGeometry);
    if (!data) return false;
    Lines.remove(0, LeadingSettingsLines(Lines));
    ApplyProtocol(*data, WithGeometry);
    return true;
}

void TSortGrid::ApplyProtocol(const ProtocolFileData& data, bool WithGeometry) {
    BeginUpdate();
    // Clear ends the update (updates do not nest), so the count changes below are size changes of
    // their own: the grid goes to the first row, the format lists follow the counts, and a file
    // without row lines is reported as "Rowsize too small".
    Clear();
    BeginUpdate();
    if (data.columnFormatsFirst) columnFormatsFirst_ = *data.columnFormatsFirst;
    userSettings_ = data.userSettings;
    for (size_t k = 0; k < data.rows.size(); ++k) {
        const QStringList& items = data.rows[k];
        for (qsizetype i = 0; i < items.size(); ++i)
            SetCells(int(i), int(k), items[i]);
    }
    EndUpdate();
    SetRowCount(std::max(1, data.RowCount()));
    if (data.ColCount() > 0) SetColCount(data.ColCount());
    // The file's entries are laid over the lists only now: had they been put in before the count
    // changes, those would append entries behind them, and the lists (and the file) would grow
    // with every load and save.
    OverlayFormats(columnFormats_, data.columnFormats);
    OverlayFormats(rowFormats_, data.rowFormats);
    // A geometry line of "-1" items (a file saved without geometry) has nothing to apply: taking
    // its widths would hide every column.
    if (WithGeometry && data.geometry && data.geometry->width > 0 && data.geometry->height > 0)
        ApplyGeometry(*data.geometry);
    else
        AutoSizeColumns(true);
    sortOptions_.SortDirection = TSortDirection::sdAscending;
    SortByColumn(0);
    SetModified(false);
    EndUpdate();
}

void TSortGrid::ApplyGeometry(const ProtocolGeometry& geometry) {
    QWidget* w = window();
    const QScreen* screen = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    const QRect workArea = screen ? screen->availableGeometry() : QRect();
    if (!geometry.Maximised(workArea.width(), workArea.height())) {
        w->setWindowState(w->windowState() & ~Qt::WindowMaximized);
        w->move(geometry.left.value_or(w->x()), geometry.top.value_or(w->y()));
        w->resize(geometry.width, geometry.height);
    } else {
        w->setWindowState(w->windowState() | Qt::WindowMaximized);
    }
    for (int c = 0; c < ColCount() && c < int(geometry.colWidths.size()); ++c)
        SetColWidths(c, geometry.colWidths[size_t(c)]);
}
