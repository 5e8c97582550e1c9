#include "app/filefolders.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "platform/dialogs.h"
#include "platform/fileerror.h"

QString FirstUseFolder() {
    const QString working = QDir::currentPath();
    if (IsWritableFolder(working)) return working;
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (IsWritableFolder(documents)) return documents;
    return QDir::homePath();
}

void StartFileDialogs(FileDialogRequest& save, FileDialogRequest& open, const QString& lastDir) {
    save.lastDir = open.lastDir = lastDir;
    const bool exists = !lastDir.isEmpty() && QFileInfo(lastDir).isDir();
    const bool writable = exists && IsWritableFolder(lastDir);
    const QString first = exists && writable ? QString() : FirstUseFolder();
    save.initialDir = writable ? lastDir : first;
    open.initialDir = exists ? lastDir : first;
}

void FileChosen(FileDialogRequest& save, FileDialogRequest& open, const QString& fileName) {
    const QString folder = QFileInfo(fileName).absolutePath();
    save.lastDir = open.lastDir = folder;
    open.initialDir = folder;
    if (IsWritableFolder(folder)) save.initialDir = folder;
}
