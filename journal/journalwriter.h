#pragma once

#include <QByteArray>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "journal/journalformat.h"

// The file a journal is written to. Every call returns 0 or the system's errno.
class JournalFile {
public:
    virtual ~JournalFile() = default;
    // Opens for appending and takes the journal's lock, so that one program writes it at a time
    // (EWOULDBLOCK: another one holds it). With create, makes the file (refusing an existing one)
    // and syncs its folder, so that the new name outlives a power cut.
    virtual int Open(const QString& path, bool create) = 0;
    // Writes as much as it can; `written` tells how much went, also when it fails.
    virtual int Write(const QByteArray& bytes, qsizetype& written) = 0;
    virtual int Sync() = 0;  // called on the syncing thread
    virtual void Close() = 0;
};

// The real file: O_APPEND writes, flock and fdatasync.
std::unique_ptr<JournalFile> MakePosixJournalFile();
// The folder the real file last synced after creating a journal in it, and how many times it
// did: a journal's name is on the disk before its first record is.
struct FolderSyncs {
    QString last;
    int count = 0;
};
FolderSyncs JournalFolderSyncs();

// Makes the seam the writer uses (tests: a full disk). Empty restores the real file.
using JournalFileFactory = std::unique_ptr<JournalFile> (*)();
void SetJournalFileFactory(JournalFileFactory factory);
std::unique_ptr<JournalFile> MakeJournalFile();

// Appends records to one journal, which it holds locked while open. Append hands each line to the
// kernel at once (a killed process loses nothing already appended) and a worker thread syncs it to
// the disk right after; Append never waits for the disk. A line the system refused is kept and
// written again, with everything after it, at the next Append (through a file opened anew where
// the old one went bad), so that a full disk that is cleared loses nothing.
class JournalWriter {
public:
    JournalWriter();
    ~JournalWriter();
    JournalWriter(const JournalWriter&) = delete;
    JournalWriter& operator=(const JournalWriter&) = delete;

    // A new journal (version line first) or an existing one to go on with. 0 or errno
    // (EWOULDBLOCK: another program writes it).
    int Create(const QString& path);
    int Continue(const QString& path);
    bool IsOpen() const { return open_; }
    const QString& Path() const { return path_; }

    // 0, or the errno of a line that could not be written yet; such a line is kept and tried again.
    int Append(const JournalRecord& record);
    int AppendLine(const QByteArray& line);
    // Whether lines wait to be written again.
    bool Behind() const { return !unwritten_.empty(); }
    // Tries the waiting lines once more, syncs and closes; the lock goes with the file.
    void Close();

    // An error the syncing thread met (0 when none), reported once.
    int TakeSyncError();
    // How many lines have been synced, and the number handed to the kernel; the benchmark waits
    // on these.
    std::uint64_t SyncedLines() const { return synced_.load(std::memory_order_acquire); }
    std::uint64_t AppendedLines() const { return appended_.load(std::memory_order_acquire); }

private:
    int OpenFile(const QString& path, bool create);
    int WriteUnwritten();
    void Written(std::uint64_t lines);
    void SyncLoop();
    void StopThread();

    std::unique_ptr<JournalFile> file_;
    QString path_;
    bool open_ = false;
    // Lines refused by the system, oldest first; the first may have gone in part.
    std::deque<QByteArray> unwritten_;
    qsizetype firstWritten_ = 0;
    bool tornTail_ = false;  // the journal went on with ends in a torn line
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    std::atomic<std::uint64_t> appended_{0}, synced_{0};
    std::atomic<int> syncError_{0};
};
