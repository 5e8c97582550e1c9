// The bounded, non-blocking read of a file chosen by a person: a protocol, a journal.
#include "platform/regularfile.h"

#include "platform/fileerror.h"

#include <QFile>
#include <algorithm>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace {

QString SizeProblem(qint64 size, qint64 maxBytes) {
    if (size <= maxBytes) return QString();
    return QStringLiteral("It is larger than %1 MB, the most a file here may have.")
        .arg((maxBytes + 1024 * 1024 - 1) / (1024 * 1024));
}

QString NotRegular() {
    return QStringLiteral("It is not a regular file.");
}

bool Fail(QString* error, const QString& reason) {
    if (error) *error = reason;
    return false;
}

}  // namespace

QString RegularFileProblem(const QString& fileName, qint64 maxBytes) {
    struct stat st {};
    if (::stat(QFile::encodeName(fileName).constData(), &st) != 0) return ReadFailureReason(errno);
    if (!S_ISREG(st.st_mode)) return NotRegular();
    return SizeProblem(qint64(st.st_size), maxBytes);
}

namespace {

// Opens a regular file for reading, or -1 with the reason in *error; its size in *size.
int OpenRegularFile(const QString& fileName, qint64 maxBytes, QString* error, qint64* size) {
    const QByteArray path = QFile::encodeName(fileName);
    // Looked at before opening: opening a FIFO waits for a writer, and opening a serial device
    // raises its control lines.
    struct stat st {};
    if (::stat(path.constData(), &st) != 0) {
        Fail(error, ReadFailureReason(errno));
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        Fail(error, NotRegular());
        return -1;
    }
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        Fail(error, ReadFailureReason(errno));
        return -1;
    }
    // The name may have been replaced in between: what is open must itself be a regular file.
    QString problem;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        problem = NotRegular();
    else
        problem = SizeProblem(qint64(st.st_size), maxBytes);
    if (!problem.isEmpty()) {
        ::close(fd);
        Fail(error, problem);
        return -1;
    }
    *size = qint64(st.st_size);
    return fd;
}

}  // namespace

bool ReadRegularFileLines(const QString& fileName, qint64 maxBytes, QString* error,
                          const std::function<bool(QByteArrayView line, bool torn)>& onLine) {
    qint64 size = 0;
    const int fd = OpenRegularFile(fileName, maxBytes, error, &size);
    if (fd < 0) return false;
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    constexpr qsizetype kChunk = 1 << 20;
    QByteArray buffer;
    qint64 total = 0;
    for (;;) {
        const qsizetype had = buffer.size();
        buffer.resize(had + kChunk);
        ssize_t r;
        do {
            r = ::read(fd, buffer.data() + had, size_t(kChunk));
        } while (r < 0 && errno == EINTR);
        if (r < 0) {
            Fail(error, ReadFailureReason(errno));
            return false;
        }
        buffer.truncate(had + r);
        total += r;
        if (const QString problem = SizeProblem(total, maxBytes); !problem.isEmpty()) {
            Fail(error, problem);
            return false;
        }
        qsizetype pos = 0;
        for (qsizetype nl; (nl = buffer.indexOf('\n', pos)) >= 0; pos = nl + 1)
            if (!onLine(QByteArrayView(buffer).sliced(pos, nl - pos), false)) return true;
        buffer.remove(0, pos);
        if (r == 0) {
            if (!buffer.isEmpty()) onLine(buffer, true);
            return true;
        }
    }
}

std::optional<QByteArray> ReadRegularFile(const QString& fileName, qint64 maxBytes,
                                          QString* error) {
    qint64 size = 0;
    const int fd = OpenRegularFile(fileName, maxBytes, error, &size);
    if (fd < 0) return std::nullopt;
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    // Read up to one byte more than allowed, so that a file growing meanwhile is noticed.
    QByteArray bytes(qsizetype(size) + 1, Qt::Uninitialized);
    qsizetype got = 0;
    for (;;) {
        if (got == bytes.size()) {
            if (got > maxBytes) break;
            bytes.resize(std::min<qsizetype>(maxBytes + 1, got * 2 + 4096));
        }
        const ssize_t r = ::read(fd, bytes.data() + got, size_t(bytes.size() - got));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) {
            Fail(error, ReadFailureReason(errno));
            return std::nullopt;
        }
        if (r == 0) break;
        got += r;
    }
    if (const QString problem = SizeProblem(got, maxBytes); !problem.isEmpty()) {
        Fail(error, problem);
        return std::nullopt;
    }
    bytes.truncate(got);
    return bytes;
}
