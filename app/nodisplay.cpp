#include "app/nodisplay.h"

#include <QtGlobal>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// Whether a platform (a name of QT_QPA_PLATFORM, options after a colon) draws on a display. No
// name is the toolkit's default, X11 or Wayland.
bool NeedsDisplay(const QString& platform) {
    const QString name = platform.section(QLatin1Char(':'), 0, 0).trimmed();
    return name.isEmpty() || name == QLatin1String("xcb") ||
           name.startsWith(QLatin1String("wayland"));
}

QString PlatformArgument(const QStringList& args) {
    QString platform;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--")) break;
        if (a == QLatin1String("-platform") || a == QLatin1String("--platform"))
            platform = args.value(i + 1);
        else if (a.startsWith(QLatin1String("-platform=")) ||
                 a.startsWith(QLatin1String("--platform=")))
            platform = a.section(QLatin1Char('='), 1);
    }
    return platform;
}

struct Held {
    QtMsgType type;
    int line;
    QByteArray category, file, function;
    QString text;
};

struct Opening {
    QString programName;
    QtMessageHandler previous = nullptr;
    std::vector<Held> held;
};
Opening* g_opening = nullptr;

void HandleWhileOpening(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    Opening& o = *g_opening;
    const bool platformMessage = context.category &&
                                 QByteArray(context.category).startsWith("qt.qpa");
    // Only the toolkit's failure to start its platform ends the program here; any other fatal
    // message goes its usual way.
    const bool noPlatform = platformMessage || !o.held.empty() ||
                            text.contains(QLatin1String("platform plugin"));
    if (type == QtFatalMsg && noPlatform) {
        // The toolkit's reason is its first word about the platform ("could not connect to
        // display :5"); its own last words only say that no platform could be started. Where
        // its logging rules keep the first words back, the display asked for is named.
        QString reason;
        for (const Held& h : o.held)
            if (reason.isEmpty() && h.type == QtWarningMsg) reason = h.text;
        for (const char* name : {"WAYLAND_DISPLAY", "DISPLAY"})
            if (reason.isEmpty() && !qEnvironmentVariableIsEmpty(name))
                reason = QString::fromLatin1(name) + u'=' + qEnvironmentVariable(name);
        const QByteArray line = NoDisplayText(o.programName, reason.isEmpty() ? text : reason)
                                    .toLocal8Bit();
        std::fputs(line.constData(), stderr);
        std::fflush(stderr);
        std::_Exit(kExitNoDisplay);
    }
    if (!platformMessage) {
        if (o.previous) o.previous(type, context, text);
        return;
    }
    o.held.push_back(Held{type, context.line, context.category, context.file, context.function,
                          text});
}

}  // namespace

bool DisplayMissing(const QStringList& args, const QProcessEnvironment& env) {
    QString platforms = PlatformArgument(args);
    if (platforms.isEmpty()) platforms = env.value(QStringLiteral("QT_QPA_PLATFORM"));
    for (const QString& platform : platforms.split(QLatin1Char(';')))
        if (!NeedsDisplay(platform)) return false;
    return env.value(QStringLiteral("DISPLAY")).isEmpty() &&
           env.value(QStringLiteral("WAYLAND_DISPLAY")).isEmpty();
}

QString NoDisplayText(const QString& programName, const QString& reason) {
    const QString what =
        reason.isEmpty()
            ? QStringLiteral("no display found (DISPLAY and WAYLAND_DISPLAY are unset)")
            : QStringLiteral("the display cannot be opened (%1)").arg(reason.simplified());
    return QStringLiteral("%1: %2; start it on the desktop, or under a virtual display: "
                          "xvfb-run %1\n")
        .arg(programName, what);
}

DisplayOpening::DisplayOpening(QString programName) {
    g_opening = new Opening{std::move(programName), nullptr, {}};
    g_opening->previous = qInstallMessageHandler(HandleWhileOpening);
}

DisplayOpening::~DisplayOpening() {
    qInstallMessageHandler(g_opening->previous);
    Opening* o = g_opening;
    g_opening = nullptr;
    // The display opened: what the toolkit said about its platform meanwhile is said now.
    for (const Held& h : o->held) {
        const QMessageLogContext context(h.file.isEmpty() ? nullptr : h.file.constData(),
                                         h.line,
                                         h.function.isEmpty() ? nullptr : h.function.constData(),
                                         h.category.constData());
        qt_message_output(h.type, context, h.text);
    }
    delete o;
}
