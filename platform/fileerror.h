#pragma once

#include <QString>

// Why a file could not be read or written, in the program's words, each with the system's own
// reason (the text of the error code) where the system gave one. One sentence, ending in a period.

// For a file that was to be read: "It does not exist." for ENOENT, otherwise what kept the
// program from it and the system's words ("There is no permission to read it: Permission
// denied.").
QString ReadFailureReason(int error);

// For a file that was to be written: ENOENT names the missing folder, EACCES, EPERM and EROFS say
// which folder may not be written to and why, ENOSPC and EDQUOT that the disk is full; anything
// else "The system could not write it: <the system's words>."
QString WriteFailureReason(int error, const QString& fileName);

// Whether files can be created in a folder by this process, as the system decides it (the
// process's effective rights, so a process that gave up its privileges is refused as it will be
// on writing). False for what is not an existing folder.
bool IsWritableFolder(const QString& path);

// Why a file of this name could not be written now, or an empty string: looked at by creating a
// scratch file beside it and removing it again, the way a save would begin. Nothing of an
// existing file is touched. A name that is a folder, or something else than a regular file, is
// refused as writing it would be.
QString WriteProblem(const QString& fileName);
