#include "app/stdindriver.h"

#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QSocketNotifier>
#include <cstdio>

#include "app/formmain.h"
#include "app/menuitem.h"
#include "platform/scripteddialogs.h"

namespace {

void Say(const QString& line) {
    const QByteArray bytes = line.toUtf8() + '\n';
    // Straight to the pipe, unbuffered: the test kills this process at any moment.
    (void)!::write(STDOUT_FILENO, bytes.constData(), std::size_t(bytes.size()));
}

void Run(TFormMain& f, const QByteArray& line) {
    const QList<QByteArray> words = line.trimmed().split(' ');
    const QByteArray cmd = words.value(0);
    if (cmd == "start") {
        f.mStart->Click();
    } else if (cmd == "lap") {
        f.cbStartN->setEditText(QString::fromUtf8(words.value(1)));
        const int before = f.LapCount;
        f.mLAP->Click();
        if (f.LapCount != before) {
            QStringList cells;
            for (int c = 0; c < f.SortGrid1->ColCount(); ++c)
                cells << f.SortGrid1->Cells(c, f.LapCount);
            Say(QStringLiteral("row ") + QString::number(f.LapCount) + QLatin1Char('\t') +
                cells.join(QLatin1Char('\t')));
            return;
        }
    } else if (cmd == "stop") {
        f.mStop->Click();
    } else if (cmd == "reset") {
        f.mReset->Click();
    } else if (cmd == "quit") {
        f.close();
    } else if (cmd.isEmpty()) {
        return;
    }
    Say(QStringLiteral("ok ") + QString::fromUtf8(cmd));
}

}  // namespace

bool StdinDriverRequested() {
    return qEnvironmentVariable("VIDAZOROV_DRIVER") == QStringLiteral("stdin");
}

void InstallStdinDriver(TFormMain& form) {
    // Every question is answered Yes.
    static ScriptedDialogs dialogs;
    dialogs.defaultConfirm = true;
    SetDialogs(&dialogs);
    auto* notifier = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, &form);
    auto* pending = new QByteArray;
    QObject::connect(notifier, &QObject::destroyed, [pending] { delete pending; });
    QObject::connect(notifier, &QSocketNotifier::activated, &form, [&form, notifier, pending] {
        char buf[4096];
        const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
        if (n <= 0) {
            notifier->setEnabled(false);
            return;
        }
        pending->append(buf, n);
        for (qsizetype nl; (nl = pending->indexOf('\n')) >= 0;) {
            const QByteArray line = pending->left(nl);
            pending->remove(0, nl + 1);
            Run(form, line);
        }
    });
    Say(QStringLiteral("ready"));
}
