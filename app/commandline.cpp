#include "app/commandline.h"

#include <array>

namespace {

// Options the toolkit takes from the command line itself (QGuiApplication and QApplication),
// with whether each needs a value. Written with one or two dashes, the value attached with "="
// or following as the next argument.
struct ToolkitOption {
    const char* name;
    bool hasValue;
};
constexpr std::array<ToolkitOption, 16> kToolkitOptions{{
    {"platform", true},
    {"platformpluginpath", true},
    {"platformtheme", true},
    {"plugin", true},
    {"qwindowgeometry", true},
    {"geometry", true},
    {"qwindowicon", true},
    {"icon", true},
    {"qwindowtitle", true},
    {"title", true},
    {"display", true},
    {"style", true},
    {"stylesheet", true},
    {"session", true},
    {"reverse", false},
    {"widgetcount", false},
}};

const ToolkitOption* FindToolkitOption(const QString& name) {
    for (const ToolkitOption& o : kToolkitOptions)
        if (name == QLatin1String(o.name)) return &o;
    return nullptr;
}

QString BaseName(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const QString name = slash < 0 ? path : path.mid(slash + 1);
    return name.isEmpty() ? QStringLiteral("vidazorov") : name;
}

}  // namespace

CommandLine ParseCommandLine(const QStringList& args) {
    CommandLine cl;
    cl.programName = BaseName(args.value(0));
    bool help = false, version = false, optionsEnded = false;
    QStringList files;
    auto fail = [&cl](const QString& message) {
        cl.action = CommandLine::Action::Error;
        cl.error = message;
        return cl;
    };
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        if (optionsEnded || a == QLatin1String("-") || !a.startsWith(QLatin1Char('-'))) {
            files << a;
            continue;
        }
        if (a == QLatin1String("--")) {
            optionsEnded = true;
        } else if (a == QLatin1String("-h") || a == QLatin1String("--help")) {
            help = true;
        } else if (a == QLatin1String("-v") || a == QLatin1String("--version")) {
            version = true;
        } else if (a == QLatin1String("--live") || a.startsWith(QLatin1String("--live="))) {
            QString value;
            if (a.startsWith(QLatin1String("--live="))) {
                value = a.mid(7);
            } else {
                if (i + 1 >= args.size())
                    return fail(QStringLiteral("option '--live' needs a port number"));
                value = args[++i];
            }
            bool ok = false;
            const int port = value.toInt(&ok, 10);
            if (!ok || port < 1 || port > 65535)
                return fail(
                    QStringLiteral("'%1' is no port number for '--live' (1 to 65535)").arg(value));
            cl.livePort = port;
        } else {
            const QString body = a.mid(a.startsWith(QLatin1String("--")) ? 2 : 1);
            const qsizetype eq = body.indexOf(QLatin1Char('='));
            const ToolkitOption* o = FindToolkitOption(eq < 0 ? body : body.left(eq));
            if (!o) return fail(QStringLiteral("unknown option '%1'").arg(a));
            if (!o->hasValue && eq >= 0)
                return fail(
                    QStringLiteral("option '%1' takes no value").arg(a.left(a.indexOf('='))));
            if (o->hasValue && eq < 0) {
                if (i + 1 >= args.size())
                    return fail(QStringLiteral("option '%1' needs a value").arg(a));
                ++i;  // the value belongs to the toolkit
            }
        }
    }
    if (files.size() > 1)
        return fail(QStringLiteral("only one protocol file can be opened, %1 were given")
                        .arg(files.size()));
    if (help)
        cl.action = CommandLine::Action::Help;
    else if (version)
        cl.action = CommandLine::Action::Version;
    else
        cl.protocolFile = files.value(0);
    return cl;
}

QString HelpText(const QString& programName) {
    return QStringLiteral(
               "Usage: %1 [OPTION]... [PROTOCOL]\n"
               "Race clock for the finish line of ski races.\n"
               "\n"
               "  PROTOCOL        a protocol text file saved by the program (as \"Open protocol\"\n"
               "                  does), shown when the window opens\n"
               "  --live PORT     serve the live results page on PORT for this run (who may\n"
               "                  connect is the configuration's choice)\n"
               "  -h, --help      show this help and exit\n"
               "  -v, --version   show the version and exit\n"
               "\n"
               "The toolkit's own options (such as -platform NAME or -style NAME) are accepted.\n"
               "Settings: $XDG_CONFIG_HOME/vidazorov/vidazorov.conf (default ~/.config).\n"
               "At every exit the protocol is saved to vidazorov.txt in the current directory.\n")
        .arg(programName);
}

QString VersionText(const QString& programName) {
    return programName + QLatin1Char(' ') + QStringLiteral(VZ_VERSION) + QLatin1Char('\n');
}

QString ErrorText(const CommandLine& cl) {
    return QStringLiteral("%1: %2\nTry '%1 --help' for more information.\n")
        .arg(cl.programName, cl.error);
}
