#pragma once

#include <QString>
#include <QStringList>

// What the program was asked to do on its command line. Parsed before any window exists, so
// that --help and --version work without a display.
struct CommandLine {
    enum class Action { Run, Help, Version, Error };
    Action action = Action::Run;
    QString programName;   // the name the program was started by, for messages
    QString protocolFile;  // a protocol to open at start-up, as given; empty for none
    int livePort = 0;      // --live PORT: the live results page on PORT for this run; 0 for none
    QString error;         // Action::Error: what is wrong, one line
};

// args as main receives them, the program first. The toolkit's own options (-platform, -style,
// -session and the like, which a session manager may pass) are accepted and left to the toolkit.
CommandLine ParseCommandLine(const QStringList& args);

QString HelpText(const QString& programName);
QString VersionText(const QString& programName);
// The lines for an Action::Error, ending with a pointer to --help.
QString ErrorText(const CommandLine& cl);

// Exit statuses of the command line's own answers.
inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 2;
