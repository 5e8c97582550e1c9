#include "journal/journalwriter.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <atomic>
#include <cerrno>

namespace {

FolderSyncs g_folderSyncs;

void SyncFolder(const QString& folder) {
    const int dfd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd < 0) return;
    if (::fsync(dfd) == 0) {
        g_folderSyncs.last = folder;
        ++g_folderSyncs.count;
    }
    ::close(dfd);
}

class PosixJournalFile : public JournalFile {
public:
    ~PosixJournalFile() override { Close(); }
    int Open(const QString& path, bool create) override {
        Close();
        const QByteArray p = QFile::encodeName(path);
        const int flags = O_WRONLY | O_APPEND | O_CLOEXEC | (create ? O_CREAT | O_EXCL : 0);
        const int fd = ::open(p.constData(), flags, 0644);
        if (fd < 0) return errno;
        if (::flock(fd, LOCK_EX | LOCK_NB) < 0) {
            const int err = errno;
            ::close(fd);
            return err;
        }
        fd_ = fd;
        if (create) SyncFolder(QFileInfo(path).absolutePath());
        return 0;
    }
    int Write(const QByteArray& bytes, qsizetype& written) override {
        written = 0;
        const int fd = fd_.load();
        if (fd < 0) return EBADF;
        while (written < bytes.size()) {
            const ssize_t n =
                ::write(fd, bytes.constData() + written, std::size_t(bytes.size() - written));
            if (n < 0) {
                if (errno == EINTR) continue;
                return errno;
            }
            written += n;
        }
        return 0;
    }
    // On the syncing thread, while the writing thread may open the file anew after a failure.
    int Sync() override {
        const int fd = fd_.load();
        return fd >= 0 && ::fdatasync(fd) < 0 ? errno : 0;
    }
    void Close() override {
        const int fd = fd_.exchange(-1);
        if (fd >= 0) ::close(fd);
    }

private:
    std::atomic<int> fd_{-1};
};

JournalFileFactory g_factory = nullptr;

// Errors after which the open file itself is no good: it is opened anew.
bool FileWentBad(int err) {
    return err == EIO || err == EBADF || err == ENODEV || err == ENXIO || err == ESTALE;
}

}  // namespace

FolderSyncs JournalFolderSyncs() {
    return g_folderSyncs;
}

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
    unwritten_.clear();
    firstWritten_ = 0;
    tornTail_ = false;
    thread_ = std::thread([this] { SyncLoop(); });
    return 0;
}

int JournalWriter::Create(const QString& path) {
    if (const int err = OpenFile(path, true)) return err;
    return AppendLine(VersionLine());
}

int JournalWriter::Continue(const QString& path) {
    if (const int err = OpenFile(path, false)) return err;
    // A line the last writer left torn is closed off before the next record, so that the record
    // starts a line of its own instead of being lost with it. Nothing is written before that.
    QFile f(path);
    tornTail_ = f.open(QIODevice::ReadOnly) && f.size() > 0 && f.seek(f.size() - 1) &&
                f.read(1) != QByteArrayLiteral("\n");
    return 0;
}

int JournalWriter::Append(const JournalRecord& record) {
    if (!open_) return 0;
    return AppendLine(FormatRecord(record));
}

void JournalWriter::Written(std::uint64_t lines) {
    {
        // Held only for the count, never across a sync: the worker cannot miss this wake-up.
        std::lock_guard lock(mutex_);
        appended_.fetch_add(lines, std::memory_order_release);
    }
    wake_.notify_one();
}

int JournalWriter::AppendLine(const QByteArray& line) {
    if (!open_) return 0;
    if (tornTail_) {
        tornTail_ = false;
        unwritten_.push_back(QByteArrayLiteral("\n"));
    }
    if (!unwritten_.empty()) {
        unwritten_.push_back(line);
        return WriteUnwritten();
    }
    qsizetype written = 0;
    if (const int err = file_->Write(line, written)) {
        unwritten_.push_back(line);
        firstWritten_ = written;
        return err;
    }
    Written(1);
    return 0;
}

int JournalWriter::WriteUnwritten() {
    int err = 0;
    std::uint64_t done = 0;
    bool reopened = false;
    while (!unwritten_.empty()) {
        qsizetype written = 0;
        err = file_->Write(unwritten_.front().mid(firstWritten_), written);
        firstWritten_ += written;
        if (err != 0 && FileWentBad(err) && !reopened) {
            // A fresh file description. What the old one left half-written is closed off as a
            // line of its own, which the reader passes over as damaged, and the line goes again
            // whole.
            reopened = true;
            file_->Close();
            err = file_->Open(path_, false);
            if (err == 0 && firstWritten_ > 0) {
                qsizetype n = 0;
                err = file_->Write(QByteArrayLiteral("\n"), n);
            }
            if (err != 0) break;
            firstWritten_ = 0;
            continue;
        }
        if (err != 0) break;
        unwritten_.pop_front();
        firstWritten_ = 0;
        ++done;
    }
    if (done > 0) Written(done);
    return err;
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
    if (open_ && !unwritten_.empty()) WriteUnwritten();
    StopThread();
    if (file_) file_->Close();
    file_.reset();
    open_ = false;
    unwritten_.clear();
    firstWritten_ = 0;
}

int JournalWriter::TakeSyncError() {
    return syncError_.exchange(0);
}
