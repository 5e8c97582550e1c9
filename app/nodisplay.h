#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// Starting without a display: the toolkit would abort with a text of its own and status 134.
// The program says instead, in one line, that there is no display and how to start it anyway,
// and ends with kExitNoDisplay.

inline constexpr int kExitNoDisplay = 1;

// Whether the window system the toolkit will use needs a display that is not there. The platform
// is the one given by -platform on the command line, else by QT_QPA_PLATFORM, else X11 or
// Wayland; X11 and Wayland (and only they) need DISPLAY or WAYLAND_DISPLAY. A list of platforms
// ("wayland;xcb") needs a display when each of them does.
bool DisplayMissing(const QStringList& args, const QProcessEnvironment& env);

// The line for a missing display, or (with a reason) for one the toolkit could not open:
// "<program>: no display found (DISPLAY and WAYLAND_DISPLAY are unset); start it on the desktop,
// or under a virtual display: xvfb-run <program>".
QString NoDisplayText(const QString& programName, const QString& reason = QString());

// Held while the application object is made: should the toolkit fail to open its display, the
// program prints NoDisplayText with the toolkit's reason instead of the toolkit's own lines and
// ends with kExitNoDisplay. The toolkit's messages about its platform are held back meanwhile and
// passed on when the display opened. One at a time.
class DisplayOpening {
public:
    explicit DisplayOpening(QString programName);
    ~DisplayOpening();
    DisplayOpening(const DisplayOpening&) = delete;
    DisplayOpening& operator=(const DisplayOpening&) = delete;
};
