#pragma once

#include <QByteArray>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "journal/journalformat.h"

// The file a journal is written to. Every call returns 0 or the system's errno.
class JournalFile {
public:
    virtual ~JournalFile() = default;
    // Opens for appending; creates the file when create is true and refuses an existing one then.
    virtual int Open(const QString& path, bool create) = 0;
    virtual int Write(const QByteArray& bytes) = 0;
    virtual int Sync() = 0;  // called on the syncing thread
    virtual void Close() = 0;
};

// The real file: O_APPEND writes and fdatasync.
std::unique_ptr<JournalFile> MakePosixJournalFile();

// Makes the seam the writer uses (tests: a full disk). Empty restores the real file.
using JournalFileFactory = std::unique_ptr<JournalFile> (*)();
void SetJournalFileFactory(JournalFileFactory factory);
std::unique_ptr<JournalFile> MakeJournalFile();

// Appends records to one journal. Append hands each line to the kernel at once (a killed process
// loses nothing already appended); a worker thread syncs the data to disk within SyncDelayMs.
// Append never waits for the disk.
class JournalWriter {
public:
    static constexpr int SyncDelayMs = 100;

    JournalWriter();
    ~JournalWriter();
    JournalWriter(const JournalWriter&) = delete;
    JournalWriter& operator=(const JournalWriter&) = delete;

    // A new journal (version line first) or an existing one to go on with. 0 or errno.
    int Create(const QString& path);
    int Continue(const QString& path);
    bool IsOpen() const { return open_; }
    const QString& Path() const { return path_; }

    // 0 or errno; after a failure the journal is closed and Append does nothing.
    int Append(const JournalRecord& record);
    int AppendLine(const QByteArray& line);
    // Closes after a last sync.
    void Close();

    // An error the syncing thread met (0 when none), reported once.
    int TakeSyncError();
    // How many lines have been synced, and the number appended; the benchmark waits on these.
    std::uint64_t SyncedLines() const { return synced_.load(std::memory_order_acquire); }
    std::uint64_t AppendedLines() const { return appended_.load(std::memory_order_acquire); }

private:
    int OpenFile(const QString& path, bool create);
    void SyncLoop();
    void StopThread();

    std::unique_ptr<JournalFile> file_;
    QString path_;
    bool open_ = false;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    std::atomic<std::uint64_t> appended_{0}, synced_{0};
    std::atomic<int> syncError_{0};
};
