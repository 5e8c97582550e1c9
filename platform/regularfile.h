#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

// The largest text file the program reads: a protocol of a big race takes some hundred kilobytes.
// Reading and showing a file this size takes well under a second.
constexpr qint64 kMaxTextFileBytes = 4 * 1024 * 1024;

// Why a file is not read, or an empty string: "It is not a regular file." for a directory, FIFO,
// socket or device (reading those would block or never end), "It is larger than N MB, the most
// a file here may have.", or why the name cannot be looked at ("It does not exist.",
// fileerror.h). Looks at the name only; nothing is opened.
QString RegularFileProblem(const QString& fileName, qint64 maxBytes = kMaxTextFileBytes);

// The bytes of a regular file of at most maxBytes; nothing, with the reason in *error (the
// problem above, or why the system refused it, in ReadFailureReason's words), otherwise. Never opens anything but a regular file.
std::optional<QByteArray> ReadRegularFile(const QString& fileName,
                                          qint64 maxBytes = kMaxTextFileBytes,
                                          QString* error = nullptr);

// Streams a regular file of at most maxBytes line by line (split at LF, the LF not included),
// with the same checks as ReadRegularFile; `torn` marks a last line without its LF. The callback
// returns false to stop. False, with the reason in *error, when the file could not be read.
bool ReadRegularFileLines(const QString& fileName, qint64 maxBytes, QString* error,
                          const std::function<bool(QByteArrayView line, bool torn)>& onLine);
