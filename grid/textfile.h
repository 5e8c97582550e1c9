#pragma once

#include "platform/regularfile.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

// Text files of the grid: UTF-8 without a byte-order mark, every line ended by CR LF.

// The bytes of the lines, each followed by CR LF.
QByteArray EncodeLines(const QStringList& lines);

// The text of a file: UTF-8 when the bytes are valid UTF-8 (a leading byte-order mark is
// dropped), otherwise Windows-1252, the code page protocol files were written in before.
// Everything from the first NUL byte on is ignored.
QString DecodeText(const QByteArray& bytes);

// Splits text into lines ended by CR, LF or CR LF; an unterminated last line counts, a final
// line end adds no empty line. Line ends inside a quoted comma-list item belong to the item, so
// a cell holding a line break stays in its row, when the item stands as the writer puts it: its
// opening quote starts the line or follows a comma, and its closing quote ends the line or is
// followed by a comma. Any other quote (one typed by hand, never closed, or closed in the middle
// of an item) takes no line end: its line is split there as every other line.
// Linear in the length of the text.
QStringList SplitLines(const QString& text);

// DecodeText and SplitLines.
QStringList DecodeLines(const QByteArray& bytes);

// Why bytes are not a text file the program reads, or an empty string: a byte-order mark of
// UTF-16, a NUL byte (UTF-16 without a byte-order mark is told by where its NUL bytes stand), or,
// in bytes that are not UTF-8, a control code that no text holds (other than tab, the line ends,
// vertical tab, form feed and SUB). Such bytes decoded as text would make a list of nonsense or
// drop everything after a NUL.
QString NotTextProblem(const QByteArray& bytes);

// The lines of a text file: a regular file of at most kMaxTextFileBytes (ReadRegularFile) that
// is text (NotTextProblem), decoded and split. Nothing, with the reason in *error, otherwise.
std::optional<QStringList> ReadTextFileLines(const QString& fileName, QString* error = nullptr);

// Writes the whole file or nothing: the bytes go to a temporary file beside it, synced to the
// disk, which replaces the target only when complete, so a failed save leaves the old file as it
// was. A link is followed, and the file it names is replaced. A folder or anything else than a
// regular file in the target's place is not written. False, with the reason in the program's
// words (WriteFailureReason) in *reason, when the file could not be written.
bool WriteFileAtomically(const QString& fileName, const QByteArray& bytes,
                         QString* reason = nullptr);
