#include "journal/journalformat.h"

#include <QStringDecoder>
#include <array>

namespace {

constexpr std::array<std::uint32_t, 256> MakeCrcTable() {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1u) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t[i] = c;
    }
    return t;
}
constexpr auto kCrcTable = MakeCrcTable();

constexpr char kHex[] = "0123456789abcdef";

bool NeedsEscape(unsigned char c) {
    return c <= 0x20 || c == 0x7f || c == '%';
}

void AppendEscaped(QByteArray& out, const QString& value) {
    const QByteArray utf8 = value.toUtf8();
    for (const char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        if (NeedsEscape(c)) {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += ch;
        }
    }
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// UTF-8 as written: a leading U+FEFF is part of the value, not a byte-order mark to skip.
QString FromUtf8(QByteArrayView bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    return decoder(bytes);
}

bool Unescape(QByteArrayView in, QString& out) {
    if (!in.contains('%')) {
        out = FromUtf8(in);
        return true;
    }
    QByteArray bytes;
    bytes.reserve(in.size());
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] != '%') {
            bytes += in[i];
            continue;
        }
        if (i + 2 >= in.size()) return false;
        const int hi = HexDigit(in[i + 1]), lo = HexDigit(in[i + 2]);
        if (hi < 0 || lo < 0) return false;
        bytes += char(hi * 16 + lo);
        i += 2;
    }
    out = FromUtf8(bytes);
    return true;
}

void AppendChecksum(QByteArray& line) {
    const std::uint32_t crc = Crc32(line);
    line += " *";
    for (int shift = 28; shift >= 0; shift -= 4)
        line += kHex[(crc >> shift) & 15u];
    line += '\n';
}

}  // namespace

std::uint32_t Crc32(QByteArrayView data) {
    std::uint32_t c = 0xFFFFFFFFu;
    for (const char ch : data)
        c = kCrcTable[(c ^ static_cast<unsigned char>(ch)) & 0xFFu] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

JournalRecord& JournalRecord::Add(const char* key, const QString& value) {
    fields.emplace_back(QByteArray(key), value);
    return *this;
}
JournalRecord& JournalRecord::Add(const char* key, qint64 value) {
    return Add(key, QString::number(value));
}
JournalRecord& JournalRecord::Add(const char* key, std::uint32_t value) {
    return Add(key, QString::number(value));
}
JournalRecord& JournalRecord::Add(const char* key, int value) {
    return Add(key, QString::number(value));
}
JournalRecord& JournalRecord::Add(const char* key, bool value) {
    return Add(key, QString(value ? QLatin1Char('1') : QLatin1Char('0')));
}

QString JournalRecord::Value(QByteArrayView key, const QString& def) const {
    for (const auto& [k, v] : fields)
        if (k == key) return v;
    return def;
}

bool JournalRecord::Has(QByteArrayView key) const {
    for (const auto& f : fields)
        if (f.first == key) return true;
    return false;
}

qint64 JournalRecord::Int(QByteArrayView key, qint64 def) const {
    for (const auto& [k, v] : fields) {
        if (k != key) continue;
        bool ok = false;
        const qint64 n = v.toLongLong(&ok);
        return ok ? n : def;
    }
    return def;
}

std::uint32_t JournalRecord::Tick(QByteArrayView key) const {
    return static_cast<std::uint32_t>(Int(key));
}

QByteArray FormatRecord(const JournalRecord& record) {
    QByteArray line;
    line.reserve(24 + qsizetype(record.fields.size()) * 16);
    line += record.type;
    for (const auto& [key, value] : record.fields) {
        line += ' ';
        line += key;
        line += '=';
        AppendEscaped(line, value);
    }
    AppendChecksum(line);
    return line;
}

QByteArray VersionLine() {
    JournalRecord r{QByteArray(kJournalMagic)};
    r.Add("version", kJournalVersion);
    return FormatRecord(r);
}

bool ParseRecord(QByteArrayView line, JournalRecord& out) {
    // " *" and eight hexadecimal digits close every sound line.
    if (line.size() < 11) return false;
    const qsizetype mark = line.size() - 10;
    if (line[mark] != ' ' || line[mark + 1] != '*') return false;
    std::uint32_t stored = 0;
    for (qsizetype i = mark + 2; i < line.size(); ++i) {
        const int d = HexDigit(line[i]);
        if (d < 0) return false;
        stored = stored * 16u + std::uint32_t(d);
    }
    const QByteArrayView body = line.first(mark);
    if (Crc32(body) != stored) return false;

    out = JournalRecord{};
    out.fields.reserve(std::size_t(body.count(' ')));
    qsizetype pos = body.indexOf(' ');
    out.type = (pos < 0 ? body : body.first(pos)).toByteArray();
    if (out.type.isEmpty()) return false;
    while (pos >= 0) {
        const qsizetype start = pos + 1;
        pos = body.indexOf(' ', start);
        const QByteArrayView item = body.sliced(start, (pos < 0 ? body.size() : pos) - start);
        const qsizetype eq = item.indexOf('=');
        if (eq <= 0) return false;
        QString value;
        if (!Unescape(item.sliced(eq + 1), value)) return false;
        out.fields.emplace_back(item.first(eq).toByteArray(), std::move(value));
    }
    return true;
}

JournalLineReader::Line JournalLineReader::Feed(QByteArrayView line, bool torn,
                                                JournalRecord& out) {
    ++lineNo_;
    if (stopped_) return Line::Stop;
    // A last line without its line feed was cut off while being written.
    const bool sound = !torn && ParseRecord(line, out);
    if (lineNo_ == 1) {
        stopped_ = true;
        if (!sound || out.type != kJournalMagic) {
            // A file that was torn inside its very first line holds nothing yet.
            status_ = torn && VersionLine().startsWith(line) ? JournalContents::Status::Empty
                                                             : JournalContents::Status::NotJournal;
            return Line::Stop;
        }
        version_ = int(out.Int("version"));
        if (version_ > kJournalVersion) {
            status_ = JournalContents::Status::Newer;
            return Line::Stop;
        }
        if (version_ < 1) {
            status_ = JournalContents::Status::NotJournal;
            return Line::Stop;
        }
        stopped_ = false;
        status_ = JournalContents::Status::Ok;
        return Line::Skip;
    }
    // An empty line closes a line that a failed write left torn, before the write was retried.
    if (line.isEmpty() && !torn) return Line::Skip;
    if (!sound) {
        // The lines after a damaged one are still the race's: only this one is lost.
        status_ = JournalContents::Status::Damaged;
        damaged_.push_back(lineNo_);
        return Line::Damaged;
    }
    return Line::Record;
}

JournalContents ParseJournal(QByteArrayView data) {
    JournalContents c;
    JournalLineReader reader;
    qsizetype pos = 0;
    while (pos < data.size()) {
        const qsizetype nl = data.indexOf('\n', pos);
        const bool torn = nl < 0;
        const QByteArrayView line = data.sliced(pos, (torn ? data.size() : nl) - pos);
        pos = torn ? data.size() : nl + 1;
        JournalRecord r;
        const JournalLineReader::Line kind = reader.Feed(line, torn, r);
        if (kind == JournalLineReader::Line::Stop) break;
        if (kind == JournalLineReader::Line::Record) c.records.push_back(std::move(r));
    }
    c.status = reader.Status();
    c.version = reader.Version();
    c.damagedLines = reader.DamagedLines();
    return c;
}
