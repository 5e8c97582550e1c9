#include "platform/fileerror.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

QString SystemWords(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

QString FolderOf(const QString& fileName) {
    return QFileInfo(fileName).absolutePath();
}

// Why no file can be created in the folder, found by creating a scratch file there and removing
// it again, in the words for writing fileName; empty when one can.
QString CreateProblem(const QString& folder, const QString& fileName) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray scratch =
            QFile::encodeName(folder + QStringLiteral("/.vidazorov-check-%1")
                                           .arg(QRandomGenerator::global()->generate(), 8, 16,
                                                QLatin1Char('0')));
        const int fd = ::open(scratch.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::close(fd);
            ::unlink(scratch.constData());
            return QString();
        }
        if (errno != EEXIST) return WriteFailureReason(errno, fileName);
    }
    return QString();
}

}  // namespace

QString ReadFailureReason(int error) {
    switch (error) {
        case ENOENT:
            return QStringLiteral("It does not exist.");
        case EACCES:
        case EPERM:
            return QStringLiteral("There is no permission to read it: %1.").arg(SystemWords(error));
        default:
            return QStringLiteral("The system could not read it: %1.").arg(SystemWords(error));
    }
}

QString WriteFailureReason(int error, const QString& fileName) {
    const QString folder = FolderOf(fileName);
    switch (error) {
        case ENOENT:
            return QStringLiteral("The folder %1 does not exist.").arg(folder);
        case EACCES:
        case EPERM:
            return QStringLiteral("There is no permission to write in the folder %1: %2.")
                .arg(folder, SystemWords(error));
        case EROFS:
            return QStringLiteral("The folder %1 is on a read-only disk: %2.")
                .arg(folder, SystemWords(error));
        case ENOSPC:
        case EDQUOT:
            return QStringLiteral("The disk is full: %1.").arg(SystemWords(error));
        case EISDIR:
            return QStringLiteral("It is a folder.");
        default:
            return QStringLiteral("The system could not write it: %1.").arg(SystemWords(error));
    }
}

bool IsWritableFolder(const QString& path) {
    if (path.isEmpty() || !QFileInfo(path).isDir()) return false;
    // AT_EACCESS: the rights the process writes with, not those it was started with.
    if (::faccessat(AT_FDCWD, QFile::encodeName(path).constData(), W_OK | X_OK, AT_EACCESS) == 0)
        return true;
    // A system that cannot answer the question that way (an old kernel, or a sandbox refusing the
    // call) is asked by trying.
    if (errno != ENOSYS && errno != EPERM && errno != EINVAL) return false;
    return CreateProblem(path, path + QStringLiteral("/.")).isEmpty();
}

QString WriteProblem(const QString& fileName) {
    struct stat st {};
    if (::stat(QFile::encodeName(fileName).constData(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return WriteFailureReason(EISDIR, fileName);
        if (!S_ISREG(st.st_mode)) return QStringLiteral("It is not a regular file.");
    }
    return CreateProblem(FolderOf(fileName), fileName);
}
