#include "journal/journalwriter.h"

#include <fcntl.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>

namespace {

class PosixJournalFile : public JournalFile {
public:
    ~PosixJournalFile() override { Close(); }
    int Open(const QString& path, bool create) override {
        Close();
        const QByteArray p = QFile::encodeName(path);
        const int flags = O_WRONLY | O_APPEND | O_CLOEXEC | (create ? O_CREAT | O_EXCL : 0);
        fd_ = ::open(p.constData(), flags, 0644);
        return fd_ < 0 ? errno : 0;
    }
    int Write(const QByteArray& bytes) override {
        const char* p = bytes.constData();
        qsizetype left = bytes.size();
        while (left > 0) {
            const ssize_t n = ::write(fd_, p, std::size_t(left));
            if (n < 0) {
                if (errno == EINTR) continue;
                return errno;
            }
            p += n;
            left -= n;
        }
        return 0;
    }
    int Sync() override { return ::fdatasync(fd_) < 0 ? errno : 0; }
    void Close() override {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
};

JournalFileFactory g_factory = nullptr;

}  // namespace

std::unique_ptr<JournalFile> MakePosixJournalFile() {
    return std::make_unique<PosixJournalFile>();
}

void SetJournalFileFactory(JournalFileFactory factory) {
    g_factory = factory;
}

std::unique_ptr<JournalFile> MakeJournalFile() {
    return g_factory ? g_factory() : MakePosixJournalFile();
}

JournalWriter::JournalWriter() = default;

JournalWriter::~JournalWriter() {
    Close();
}

int JournalWriter::OpenFile(const QString& path, bool create) {
    Close();
    file_ = MakeJournalFile();
    path_ = path;
    if (const int err = file_->Open(path, create)) {
        file_.reset();
        return err;
    }
    open_ = true;
    stop_ = false;
    appended_ = synced_ = 0;
    syncError_ = 0;
    thread_ = std::thread([this] { SyncLoop(); });
    return 0;
}

int JournalWriter::Create(const QString& path) {
    if (const int err = OpenFile(path, true)) return err;
    return AppendLine(VersionLine());
}

int JournalWriter::Continue(const QString& path) {
    return OpenFile(path, false);
}

int JournalWriter::Append(const JournalRecord& record) {
    if (!open_) return 0;
    return AppendLine(FormatRecord(record));
}

int JournalWriter::AppendLine(const QByteArray& line) {
    if (!open_) return 0;
    if (const int err = file_->Write(line)) {
        Close();
        return err;
    }
    {
        // Held only for the count, never across a sync: the worker cannot miss this wake-up.
        std::lock_guard lock(mutex_);
        appended_.fetch_add(1, std::memory_order_release);
    }
    wake_.notify_one();
    return 0;
}

void JournalWriter::SyncLoop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] {
            return stop_ || appended_.load(std::memory_order_acquire) !=
                                synced_.load(std::memory_order_acquire);
        });
        const std::uint64_t target = appended_.load(std::memory_order_acquire);
        if (target != synced_.load(std::memory_order_acquire)) {
            lock.unlock();
            // Lines appended while this sync runs are covered by the next one.
            const int err = file_->Sync();
            lock.lock();
            if (err != 0 && syncError_.load() == 0) syncError_ = err;
            synced_.store(target, std::memory_order_release);
        }
        if (stop_ &&
            appended_.load(std::memory_order_acquire) == synced_.load(std::memory_order_acquire))
            return;
    }
}

void JournalWriter::StopThread() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void JournalWriter::Close() {
    StopThread();
    if (file_) file_->Close();
    file_.reset();
    open_ = false;
}

int JournalWriter::TakeSyncError() {
    return syncError_.exchange(0);
}
