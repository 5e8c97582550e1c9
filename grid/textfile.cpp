#include "grid/textfile.h"

#include <QSaveFile>
#include <QStringDecoder>
#include <array>

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

}  // namespace

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
    // Follows the comma-list reader just far enough to know whether a character lies inside a
    // quoted item.
    enum class State { Between, Unquoted, Quoted };
    QStringList lines;
    const qsizetype n = text.size();
    const QChar* t = text.constData();
    qsizetype lineStart = 0;
    qsizetype i = 0;
    State state = State::Between;
    auto endLine = [&](qsizetype end) {
        lines << text.mid(lineStart, end - lineStart);
        if (t[end] == u'\r' && end + 1 < n && t[end + 1] == u'\n') ++end;
        lineStart = end + 1;
        state = State::Between;
        return lineStart;
    };
    while (i < n) {
        const QChar c = t[i];
        if (state == State::Quoted) {
            if (c == u'"') {
                if (i + 1 < n && t[i + 1] == u'"') {
                    i += 2;
                    continue;
                }
                state = State::Between;
            }
            ++i;
            continue;
        }
        if (c == u'\r' || c == u'\n') {
            i = endLine(i);
            continue;
        }
        if (state == State::Between) {
            if (c == u'"')
                state = State::Quoted;
            else if (!IsBlank(c) && c != u',')
                state = State::Unquoted;
        } else if (IsBlank(c) || c == u',') {
            state = State::Between;
        }
        ++i;
    }
    if (state == State::Quoted) {
        // The quote never closes: the rest is read line by line as it stands.
        i = lineStart;
        while (i < n) {
            if (t[i] == u'\r' || t[i] == u'\n')
                i = endLine(i);
            else
                ++i;
        }
    }
    if (lineStart < n) lines << text.mid(lineStart);
    return lines;
}

QStringList DecodeLines(const QByteArray& bytes) {
    return SplitLines(DecodeText(bytes));
}

bool WriteFileAtomically(const QString& fileName, const QByteArray& bytes) {
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
