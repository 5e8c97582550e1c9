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

std::optional<QByteArray> ReadRegularFile(const QString& fileName, qint64 maxBytes,
                                          QString* error) {
    const QByteArray path = QFile::encodeName(fileName);
    // Looked at before opening: opening a FIFO waits for a writer, and opening a serial device
    // raises its control lines.
    struct stat st {};
    if (::stat(path.constData(), &st) != 0) {
        Fail(error, ReadFailureReason(errno));
        return std::nullopt;
    }
    if (!S_ISREG(st.st_mode)) {
        Fail(error, NotRegular());
        return std::nullopt;
    }
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        Fail(error, ReadFailureReason(errno));
        return std::nullopt;
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    // The name may have been replaced in between: what is open must itself be a regular file.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        Fail(error, NotRegular());
        return std::nullopt;
    }
    if (const QString problem = SizeProblem(qint64(st.st_size), maxBytes); !problem.isEmpty()) {
        Fail(error, problem);
        return std::nullopt;
    }
    // Read up to one byte more than allowed, so that a file growing meanwhile is noticed.
    QByteArray bytes(qsizetype(st.st_size) + 1, Qt::Uninitialized);
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
