#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "grid/fontsetting.h"

// Everything a protocol file holds, apart from the grid that shows it.
struct ProtocolGeometry {
    int width = -1;  // of the window holding the grid
    int height = -1;
    std::vector<int> colWidths;
    std::optional<int> left;  // absent when the file says -1
    std::optional<int> top;

    // A window that is not smaller than the work area (the desktop without task bars) in either
    // direction is maximised instead of placed.
    bool Maximised(int workAreaWidth, int workAreaHeight) const {
        return !(width < workAreaWidth || height < workAreaHeight);
    }
};

struct ProtocolFileData {
    // Column formats take precedence over row formats. Absent when a file lacks its
    // "GenerelSettings" line; the grid then keeps its own value. Written as "0" when absent.
    std::optional<bool> columnFormatsFirst;
    TFontList columnFormats;
    TFontList rowFormats;
    QStringList userSettings;
    // Written as the window's and columns' geometry when present, else as ColCount + 4 items
    // "-1". Read only when asked for.
    std::optional<ProtocolGeometry> geometry;
    // Row 0 holds the header captions. Saved rows each hold ColCount cells; rows read from a file
    // hold what their line held.
    std::vector<QStringList> rows;

    // The counts a grid takes from a file: one row per row line, and as many columns as the last
    // row line has items (0 when the file has no row line: the grid then keeps its columns and,
    // left with fewer than two rows, says "Rowsize too small").
    int RowCount() const { return int(rows.size()); }
    int ColCount() const { return rows.empty() ? 0 : int(rows.back().size()); }
};

// A text format as five comma-list items: text colour, bold, italic, underline, background.
QString FontSettingText(const TFontSetting& setting);
// Reads such an entry; flags are set only by the item "1", and the entry is not active.
// Nothing when an item is missing or a colour is not a colour.
std::optional<TFontSetting> ParseFontSetting(const QString& text);

// The lines of a protocol file.
QStringList ProtocolLines(const ProtocolFileData& data);

// The most a protocol file may hold; a file beyond it is refused as a whole. A protocol of a big
// race (tens of thousands of finishers in five columns) stays far below, and opening a file at
// the limits takes well under a second.
constexpr qsizetype kMaxProtocolColumns = 1000;
constexpr qsizetype kMaxProtocolCells = 250000;
// "It has more than 1000 columns or 250000 cells, the most a protocol may have."
QString TooManyCellsProblem();

// Reads the lines of a protocol file. Every section line is optional; the first line that is not
// one is the geometry line, and every line after it is a row, the header row first, up to the
// last line holding an item (blank lines at the end are not rows). Nothing, with the reason in
// *error, when the lines are not a protocol: a format entry that does not read, no geometry
// line, more columns or cells than the limits above, or (withGeometry) a geometry line without
// whole numbers for the window and every column. A grid applies the data only when it is there,
// so a file that fails leaves the grid as it was.
std::optional<ProtocolFileData> ParseProtocolLines(const QStringList& lines, bool withGeometry,
                                                   QString* error = nullptr);

// Protocol files. Writing returns an empty string on success, else the message for the operator
// (CantWriteMessage with the reason). The old file stays untouched when writing fails.
QString SaveProtocolFile(const QString& fileName, const ProtocolFileData& data);
// Reads only a regular text file of at most kMaxTextFileBytes (ReadTextFileLines, textfile.h).
std::optional<ProtocolFileData> LoadProtocolFile(const QString& fileName, bool withGeometry,
                                                 QString* error = nullptr);
// For a protocol file that did not open: "Can't read the protocol file:", a carriage return and
// the file name, and, after one more carriage return, why the program does not read it (it does
// not exist or may not be read, is no regular file, too large, no text, beyond the limits of a
// protocol or no protocol at all), found by reading it once more.
QString CantReadProtocolMessage(const QString& fileName);

// The semicolon file for spreadsheets: one line per row, cells joined by ";". A cell holding a
// semicolon, a double quote, a CR or an LF goes between double quotes with inner quotes doubled
// (so it stays one cell for every reader); every other cell is written as it stands. Returns
// what SaveProtocolFile returns.
QByteArray SemicolonFileBytes(const std::vector<QStringList>& rows);
QString SaveSemicolonFile(const QString& fileName, const std::vector<QStringList>& rows);

// "Can't write to file:" + CR + file name, and CR + the reason (WriteFailureReason) when given.
QString CantWriteMessage(const QString& fileName, const QString& reason = QString());
