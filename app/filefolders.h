#pragma once

#include <QString>

struct FileDialogRequest;

// The folders the save and open dialogs start in. Both start where a file was last saved to or
// opened from (lastDir, kept in the settings). Saving starts there only while that folder can be
// written to, and opening only while it exists; otherwise, and before any file was chosen, both
// start in the working folder when it can be written to, else in the user's documents folder
// (XDG), else in the home folder. The program's own folder is never taken for being the
// program's: an installed program's folder cannot be written to.

// The first folder of that list that is fit for the first use of a dialog.
QString FirstUseFolder();

// At start-up, from the folder kept in the settings (empty when none was).
void StartFileDialogs(FileDialogRequest& save, FileDialogRequest& open, const QString& lastDir);

// After a file was chosen in either dialog: both start in its folder next time (the save dialog
// when that folder can be written to).
void FileChosen(FileDialogRequest& save, FileDialogRequest& open, const QString& fileName);
