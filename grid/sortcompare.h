#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <functional>
#include <optional>

// How the values of a sort column are compared.
enum class TSortStyle {
    ssAutomatic,        // chosen per column by DetectSortStyle, then kept
    ssNormal,           // text
    ssNumeric,          // floating-point numbers in the regional format
    ssNumericExtended,  // text with embedded whole numbers (Run 9 before Run 10)
    ssDateTime,         // regional short date, optionally with a time
    ssTime,             // regional time of day
    ssCustom            // TSortOptions::SortCompare
};

enum class TSortDirection { sdAscending, sdDescending };

// A comparison of two cell texts: negative, zero or positive.
using TSortCompare = std::function<int(const QString&, const QString&)>;

struct TSortOptions {
    bool CanSort = true;     // when false, every request to sort does nothing
    QString SecondaryIndex;  // further key columns as a comma list of column numbers
    TSortStyle SortStyle = TSortStyle::ssNormal;
    bool SortCaseSensitive = false;  // when false, A-Z are compared as a-z
    int SortCol = 0;
    TSortDirection SortDirection = TSortDirection::sdAscending;
    bool UpdateOnSizeChange = false;
    TSortCompare SortCompare;  // for ssCustom; cleared at the end of every sort
};

// One data row during a sort pass: its text in the pass's column and its position before the
// pass (1-based).
struct TSortedListEntry {
    QString Value;
    int RowIndex = 0;
};

// The regional parsers. Accepted forms, after blanks around the text are dropped:
// - numbers: optional sign, digits with the regional decimal separator, optional exponent
//   ("1e3"); no group separators, no infinities;
// - times: the regional short or long time format (without its time zone), hours, minutes and
//   seconds with one or two digits (so 9:05 reads under HH:mm);
// - dates: the regional short date format, with a two- or four-digit year and one- or two-digit
//   day and month, alone or followed by a blank and a time as above.
// Construct once and reuse: building the format lists costs more than a parse.
class RegionalParser {
public:
    explicit RegionalParser(const QLocale& locale = QLocale());
    std::optional<double> Number(const QString& text) const;
    // Milliseconds on a continuous scale (days and time of day), for comparing.
    std::optional<qint64> DateTime(const QString& text) const;
    // Milliseconds since midnight.
    std::optional<int> Time(const QString& text) const;

private:
    QLocale locale_;
    QStringList timeFormats_;
    QStringList dateFormats_;
};

// Folds the capitals A-Z to lower case; every other character stays.
QString FoldAsciiCase(const QString& text);

// The sign (-1, 0, 1) of a character-wise comparison in code point order (the order of the
// UTF-8 bytes); a string that is a prefix of the other is smaller.
int CompareText(QStringView a, QStringView b);

// Both values parsed by the regional parser and compared as numbers, instants or times of day;
// when either does not parse, CompareText.
int CompareNumeric(const QString& a, const QString& b);
int CompareDateTime(const QString& a, const QString& b);
int CompareTime(const QString& a, const QString& b);

// Text with embedded numbers. Positions where both texts hold the same non-digit are dropped
// (at the last position of the shorter text the longer one's tail goes with it); what differs
// remains, and so do the tails from a differing or digit last position. Equal non-digits common
// to the ends of what remains are trimmed. Equal remains compare equal; remains that are both
// whole numbers compare by value; anything else by CompareText. So Run 9 < Run 10, A1B < A2B,
// 1.5 < 1.25 (15 against 125), and ab equals abc.
// An empty text sorts before any other; two numbers of equal value written differently (01 and
// 1) compare by their text, so that the order is the same whichever side they are on.
int CompareNumericExtended(QStringView a, QStringView b);

// The comparison of a style; ssAutomatic and ssNormal compare text. ssCustom without a
// comparison keeps the order (0).
int CompareByStyle(TSortStyle style, const QString& a, const QString& b,
                   const TSortCompare& custom = {});

// The order of two entries in a sort pass: case folded unless SortCaseSensitive, compared by
// SortStyle, negated for sdDescending; equal values keep their previous order (by RowIndex) in
// either direction.
int CompareEntries(const TSortedListEntry& left, const TSortedListEntry& right,
                   const TSortOptions& options);

// ssNumeric when every cell is a regional number, else ssDateTime when every cell is a date,
// else ssTime when every cell is a time of day, else ssNormal. An empty cell is none of them.
TSortStyle DetectSortStyle(const QStringList& dataCells);
