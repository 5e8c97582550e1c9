#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

// The one quoting rule for every comma-separated list the grid writes or reads: the lines of a
// protocol file, the text format entries inside them and the secondary sort columns.
//
// Writing: items joined by commas; an item holding a character 0-32, a double quote or a comma
// goes between double quotes with inner quotes doubled; an empty item among others is written as
// nothing; a list of exactly one empty item is written as two double quotes.
QString CommaListText(const QStringList& items);

// Reading: characters 1-32 before an item and after it are skipped; a quoted item runs to the
// next undoubled quote (or to the end); any other item runs up to a comma or a character 0-32;
// one comma (with the blanks after it) separates items, and a comma that is the very last
// character adds an empty item. A NUL character ends the text.
// With maxItems >= 0, reading stops after maxItems + 1 items: enough to tell a line beyond a
// limit without reading all of it.
QStringList ParseCommaList(QStringView line, qsizetype maxItems = -1);

// Whether the line holds no item at all: nothing but characters 1-32 before its end or a NUL.
bool IsBlankCommaList(QStringView line);
