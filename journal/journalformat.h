#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstdint>
#include <utility>
#include <vector>

// One line of a race journal: a record type and its named fields, in order.
//
// On disk a line reads  TYPE key=value key=value *CCCCCCCC  where CCCCCCCC is the CRC-32 of every
// byte before " *", in lower-case hexadecimal. Values are UTF-8; a byte that would break the line
// apart (control characters, space, DEL) and "%" itself are written as %XX.
struct JournalRecord {
    QByteArray type;
    std::vector<std::pair<QByteArray, QString>> fields;

    JournalRecord() = default;
    explicit JournalRecord(QByteArray t) : type(std::move(t)) {}
    JournalRecord& Add(const char* key, const QString& value);
    JournalRecord& Add(const char* key, qint64 value);
    JournalRecord& Add(const char* key, std::uint32_t value);
    JournalRecord& Add(const char* key, int value);
    JournalRecord& Add(const char* key, bool value);

    // The value of a field, or def when absent.
    QString Value(QByteArrayView key, const QString& def = {}) const;
    bool Has(QByteArrayView key) const;
    qint64 Int(QByteArrayView key, qint64 def = 0) const;
    std::uint32_t Tick(QByteArrayView key) const;
};

// The first line of every journal names the format and its version.
inline constexpr char kJournalMagic[] = "VIDAZOROV-JOURNAL";
// Version 2 derives each row from the race's commands instead of writing its cells.
inline constexpr int kJournalVersion = 2;

std::uint32_t Crc32(QByteArrayView data);

// The line for a record, with its checksum and the closing line feed.
QByteArray FormatRecord(const JournalRecord& record);
// The version line that opens a journal.
QByteArray VersionLine();

// Parses one line (without its line feed). False when the checksum is missing or wrong or the
// line is malformed.
bool ParseRecord(QByteArrayView line, JournalRecord& out);

// The whole file, read back.
struct JournalContents {
    enum class Status {
        Ok,          // every line was sound
        Damaged,     // some lines were torn or damaged; records holds every sound one
        Empty,       // no version line at all
        NotJournal,  // the first line is no journal's version line
        Newer,       // written by a later version of the format: not read
    };
    Status status = Status::Empty;
    int version = 0;
    std::vector<JournalRecord> records;  // without the version line
    std::vector<int> damagedLines;       // 1-based line numbers of the damaged lines
};
JournalContents ParseJournal(QByteArrayView data);

// Reads a journal one line at a time, so that a journal of any size can be streamed.
class JournalLineReader {
public:
    enum class Line {
        Record,   // a sound record, in `out`
        Skip,     // the version line, or an empty line
        Damaged,  // torn or damaged: lost, and the reading goes on
        Stop,     // not a journal this program reads: nothing more is read
    };
    // One line without its line feed; torn when the file ended before its line feed.
    Line Feed(QByteArrayView line, bool torn, JournalRecord& out);
    JournalContents::Status Status() const { return status_; }
    int Version() const { return version_; }
    const std::vector<int>& DamagedLines() const { return damaged_; }

private:
    int lineNo_ = 0;
    bool stopped_ = false;
    int version_ = 0;
    JournalContents::Status status_ = JournalContents::Status::Empty;
    std::vector<int> damaged_;
};
