#include "app/stdindriver.h"

#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QSocketNotifier>
#include <cstdio>

#include "app/formmain.h"
#include "app/menuitem.h"
#include "tests/support/scripteddialogs.h"

namespace {

// Questions are answered Yes, messages are told on standard output, and the file dialogs and the
// configuration dialog are cancelled: the driver's runs never wait for a person.
class DriverDialogs : public DialogProvider {
public:
    bool Confirm(QWidget*, const QString&) override { return true; }
    void Error(QWidget*, const QString& text) override;
    void Information(QWidget*, const QString& text) override;
    QString OpenFile(QWidget*, FileDialogRequest&) override { return {}; }
    QString SaveFile(QWidget*, FileDialogRequest&) override { return {}; }
    int Exec(QDialog*) override { return 0; }
    void Beep() override {}
};

void Say(const QString& line) {
    const QByteArray bytes = line.toUtf8() + '\n';
    // Straight to the pipe, unbuffered: the test kills this process at any moment.
    (void)!::write(STDOUT_FILENO, bytes.constData(), std::size_t(bytes.size()));
}

void SayRow(TFormMain& f, int row) {
    QStringList cells;
    for (int c = 0; c < f.SortGrid1->ColCount(); ++c)
        cells << f.SortGrid1->Cells(c, row);
    Say(QStringLiteral("row ") + QString::number(row) + QLatin1Char('\t') +
        cells.join(QLatin1Char('\t')));
}

void DriverDialogs::Error(QWidget*, const QString& text) {
    Say(QStringLiteral("error ") + QString(text).replace(QLatin1Char('\r'), QLatin1Char(' ')));
}

void DriverDialogs::Information(QWidget*, const QString& text) {
    Say(QStringLiteral("info ") + QString(text).replace(QLatin1Char('\r'), QLatin1Char(' ')));
}

// Types over the start number of the newest row as the operator does: a click on the cell,
// then the keys.
void EditNewestStartNumber(TFormMain& f, const QString& text) {
    TSortGrid* g = f.SortGrid1;
    if (f.LapCount < 1) return;
    QWidget* vp = g->viewport();
    const QPointF pos = g->CellRect(1, f.LapCount).center();
    const QPointF global = vp->mapToGlobal(pos);
    QMouseEvent press(QEvent::MouseButtonPress, pos, global, Qt::LeftButton, Qt::LeftButton, {});
    QApplication::sendEvent(vp, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, pos, global, Qt::LeftButton, Qt::NoButton, {});
    QApplication::sendEvent(vp, &release);
    // A click made here is no real one, so it does not move the focus by itself.
    g->setFocus();
    for (const QChar ch : text) {
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : g;
        QKeyEvent key(QEvent::KeyPress, ch.toUpper().unicode(), Qt::NoModifier, QString(ch));
        QApplication::sendEvent(target, &key);
    }
    SayRow(f, f.LapCount);
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
            SayRow(f, f.LapCount);
            return;
        }
    } else if (cmd == "edit") {
        EditNewestStartNumber(f, QString::fromUtf8(words.value(1)));
        return;
    } else if (cmd == "stop") {
        f.mStop->Click();
    } else if (cmd == "reset") {
        f.mReset->Click();
    } else if (cmd == "live") {
        Say(QStringLiteral("live ") + f.LiveAddresses().join(QLatin1Char(' ')));
        return;
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
    static DriverDialogs dialogs;
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
