#include "grid/textfile.h"

#include "platform/fileerror.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStringDecoder>
#include <algorithm>
#include <array>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// Windows-1252 bytes 0x80-0x9F; the five bytes without a character map to the C1 controls of
// the same value, as Windows itself decodes them.
constexpr std::array<char16_t, 32> kCp1252High{{
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
}};

QString DecodeWindows1252(const QByteArray& bytes) {
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        *out++ = QChar(b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : char16_t(b));
    }
    return text;
}

bool IsBlank(QChar c) {
    return c.unicode() >= 1 && c.unicode() <= 32;
}

bool IsLineEnd(QChar c) {
    return c == u'\r' || c == u'\n';
}

// Whether a quoted item from the quote at `open` to the quote at `close` that spans line ends is
// one cell holding line breaks. The writer puts such an item exactly at the start of its line or
// right after a comma and follows it by a comma or the line end; a quote in any other place was
// typed by hand, and taking it as joining lines would fold the rows after it into one cell.
bool JoinsLines(const QChar* t, qsizetype n, qsizetype lineStart, qsizetype open, qsizetype close) {
    const bool startsItem = open == lineStart || t[open - 1] == u',';
    const bool endsItem = close + 1 == n || t[close + 1] == u',' || IsLineEnd(t[close + 1]);
    return startsItem && endsItem;
}

// Control codes that no text holds. Tab, the line ends, vertical tab, form feed and the end mark
// of old DOS files (SUB) occur in text.
bool IsControlByte(unsigned char b) {
    return b < 0x20 && b != '\t' && b != '\n' && b != '\v' && b != '\f' && b != '\r' && b != 0x1A;
}

// UTF-16 text of mostly Latin letters, digits and punctuation has a NUL in every other byte: the
// high byte of each character, at odd offsets in little-endian and even ones in big-endian order.
bool LooksLikeUtf16(const QByteArray& bytes) {
    qsizetype even = 0, odd = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i)
        if (bytes[i] == '\0') ++(i % 2 ? odd : even);
    const qsizetype pairs = bytes.size() / 2;
    const qsizetype most = std::max(even, odd), fewest = std::min(even, odd);
    return pairs > 0 && most * 5 >= pairs * 2 && fewest * 10 <= most;
}

bool IsUtf8(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(bytes);  // decoding happens only on the conversion
    return !utf8.hasError();
}

QString Utf16Problem() {
    return QStringLiteral(
        "It is UTF-16 text, which the program does not read: a protocol file is UTF-8 or "
        "Windows-1252 text.");
}

}  // namespace

QString NotTextProblem(const QByteArray& bytes) {
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    if (n >= 2 && ((b[0] == 0xFF && b[1] == 0xFE) || (b[0] == 0xFE && b[1] == 0xFF)))
        return Utf16Problem();
    if (const qsizetype nul = bytes.indexOf('\0'); nul >= 0) {
        if (LooksLikeUtf16(bytes)) return Utf16Problem();
        return QStringLiteral("It is not a text file: its byte %1 is a NUL byte.").arg(nul + 1);
    }
    const auto control = std::find_if(b, b + n, IsControlByte);
    // Valid UTF-8 is taken as it stands (a cell may hold a control code the program wrote).
    if (control == b + n || IsUtf8(bytes)) return QString();
    return QStringLiteral("It is not a text file: its byte %1 is the control code 0x%2.")
        .arg(control - b + 1)
        .arg(*control, 2, 16, QLatin1Char('0'));
}

QByteArray EncodeLines(const QStringList& lines) {
    QString text;
    qsizetype length = 0;
    for (const QString& line : lines)
        length += line.size() + 2;
    text.reserve(length);
    for (const QString& line : lines) {
        text += line;
        text += QLatin1String("\r\n");
    }
    return text.toUtf8();
}

QString DecodeText(const QByteArray& bytes) {
    QByteArray data = bytes;
    const qsizetype nul = data.indexOf('\0');
    if (nul >= 0) data.truncate(nul);
    // Stateless: a sequence cut off at the end counts as an error too. A leading byte-order
    // mark is skipped.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(data);
    if (!utf8.hasError()) return text;
    return DecodeWindows1252(data);
}

QStringList SplitLines(const QString& text) {
    const qsizetype n = text.size();
    const QChar* t = text.constData();
    // Every quote and line end once, so that each quoted item's end is found without scanning
    // it again: the time stays linear in the text whatever the quotes do.
    std::vector<qsizetype> quotes, breaks;
    for (qsizetype i = 0; i < n; ++i) {
        if (t[i] == u'"')
            quotes.push_back(i);
        else if (IsLineEnd(t[i]))
            breaks.push_back(i);
    }
    // closing[j]: the quote that ends a quoted item whose text starts at quote j (a doubled quote
    // is text), or m when none does.
    const size_t m = quotes.size();
    std::vector<size_t> closing(m + 1, m);
    for (size_t j = m; j-- > 0;)
        closing[j] = j + 1 < m && quotes[j + 1] == quotes[j] + 1 ? closing[j + 2] : j;
    auto lineEndFrom = [&](qsizetype p) {
        const auto it = std::lower_bound(breaks.begin(), breaks.end(), p);
        return it == breaks.end() ? n : *it;
    };

    // Follows the comma-list reader just far enough to know where its items start.
    QStringList lines;
    qsizetype lineStart = 0;
    bool betweenItems = true;
    qsizetype i = 0;
    while (i < n) {
        const QChar c = t[i];
        if (IsLineEnd(c)) {
            lines << text.mid(lineStart, i - lineStart);
            if (c == u'\r' && i + 1 < n && t[i + 1] == u'\n') ++i;
            lineStart = ++i;
            betweenItems = true;
            continue;
        }
        if (betweenItems && c == u'"') {
            const size_t j =
                size_t(std::lower_bound(quotes.begin(), quotes.end(), i) - quotes.begin());
            const size_t k = closing[j + 1];
            const qsizetype lineEnd = lineEndFrom(i);
            if (k < m && (quotes[k] < lineEnd || JoinsLines(t, n, lineStart, i, quotes[k]))) {
                i = quotes[k] + 1;
                continue;
            }
            // Not an item this program wrote over several lines: the quote takes the rest of its
            // own line only, and the next line is a line of its own.
            i = lineEnd;
            continue;
        }
        // A quote inside an unquoted item is part of its text and opens nothing.
        betweenItems = IsBlank(c) || c == u',';
        ++i;
    }
    if (lineStart < n) lines << text.mid(lineStart);
    return lines;
}

QStringList DecodeLines(const QByteArray& bytes) {
    return SplitLines(DecodeText(bytes));
}

std::optional<QStringList> ReadTextFileLines(const QString& fileName, QString* error) {
    const std::optional<QByteArray> bytes = ReadRegularFile(fileName, kMaxTextFileBytes, error);
    if (!bytes) return std::nullopt;
    if (const QString problem = NotTextProblem(*bytes); !problem.isEmpty()) {
        if (error) *error = problem;
        return std::nullopt;
    }
    return DecodeLines(*bytes);
}

bool WriteFileAtomically(const QString& fileName, const QByteArray& bytes, QString* reason) {
    auto fail = [&](int error) {
        if (reason) *reason = WriteFailureReason(error, fileName);
        return false;
    };
    // A link stays a link: what it points to is replaced.
    QFileInfo target(fileName);
    for (int depth = 0; depth < 40 && target.isSymLink(); ++depth)
        target = QFileInfo(target.symLinkTarget());
    const QString path = target.absoluteFilePath();
    const QByteArray encoded = QFile::encodeName(path);
    struct stat st {};
    const bool exists = ::stat(encoded.constData(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) return fail(EISDIR);
    if (exists && !S_ISREG(st.st_mode)) {
        // A FIFO or a device would block the window or swallow the protocol.
        if (reason) *reason = QStringLiteral("It is not a regular file.");
        return false;
    }

    // The bytes go to a new file beside the target (created with the permissions a new file gets,
    // or those of the file it replaces), which is renamed over the target only when complete.
    QByteArray temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temporary = encoded + '.' +
                    QByteArray::number(QRandomGenerator::global()->generate(), 16).rightJustified(8, '0');
        fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return fail(errno);
    }
    if (fd < 0) return fail(EEXIST);
    auto abandon = [&](int error) {
        ::close(fd);
        ::unlink(temporary.constData());
        return fail(error);
    };
    if (exists && ::fchmod(fd, st.st_mode & 07777) != 0) return abandon(errno);
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t r = ::write(fd, bytes.constData() + written, size_t(bytes.size() - written));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return abandon(errno);
        written += r;
    }
    // On the disk before it takes the old file's place, so that a power cut leaves one of the two.
    if (::fsync(fd) != 0 && errno != EINVAL) return abandon(errno);
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temporary.constData());
        return fail(error);
    }
    if (::rename(temporary.constData(), encoded.constData()) != 0) {
        const int error = errno;
        ::unlink(temporary.constData());
        return fail(error);
    }
    return true;
}
