#pragma once

#include <QString>

// The program file and the names derived from it. Tests may point the program file elsewhere.
QString ProgramFilePath();
void SetProgramFilePath(const QString& path);  // empty restores the real executable path
QString ProgramBaseName();                     // file name without directory and extension
QString ProgramDir();

// <config>/<base name>: $XDG_CONFIG_HOME or ~/.config, then the program's base name.
QString ProgramConfigDir();

// The application title shown in front of the window caption.
QString ApplicationTitle();
void SetApplicationTitle(const QString& title);
