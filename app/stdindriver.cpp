#include "app/stdindriver.h"

#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <optional>

#include "app/formmain.h"
#include "app/menuitem.h"
#include "platform/dialogs.h"
#include "race/timetext.h"

namespace {

void Say(const QString& line) {
    const QByteArray bytes = line.toUtf8() + '\n';
    // Straight to the pipe, unbuffered: the test kills this process at any moment.
    (void)!::write(STDOUT_FILENO, bytes.constData(), std::size_t(bytes.size()));
}

// Standard input, line by line: the commands, and the answers to questions asked while one of
// them runs.
class Input {
public:
    // Reads once what is there, or, with untilLine, until a whole line is there; nothing more
    // after the end of input.
    void Fill(bool untilLine) {
        while (!ended_) {
            if (untilLine && pending_.contains('\n')) return;
            char buf[4096];
            const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                ended_ = true;
                return;
            }
            pending_.append(buf, n);
            if (!untilLine) return;
        }
    }
    std::optional<QByteArray> Line() {
        const qsizetype nl = pending_.indexOf('\n');
        if (nl < 0) return std::nullopt;
        QByteArray line = pending_.left(nl);
        pending_.remove(0, nl + 1);
        return line;
    }
    bool Ended() const { return ended_; }

private:
    QByteArray pending_;
    bool ended_ = false;
};

Input& In() {
    static Input input;
    return input;
}

// Questions are answered from standard input, messages are told on standard output, and the
// file dialogs and the configuration dialog are cancelled: the driver's runs never wait for a
// person.
class DriverDialogs : public DialogProvider {
public:
    bool Confirm(QWidget*, const QString& text) override {
        Say(QStringLiteral("ask ") + OneLine(text));
        In().Fill(true);
        const std::optional<QByteArray> answer = In().Line();
        return answer && answer->trimmed() == "yes";
    }
    void Error(QWidget*, const QString& text) override {
        Say(QStringLiteral("error ") + OneLine(text));
    }
    void Information(QWidget*, const QString& text) override {
        Say(QStringLiteral("info ") + OneLine(text));
    }
    QString OpenFile(QWidget*, FileDialogRequest&) override { return {}; }
    QString SaveFile(QWidget*, FileDialogRequest&) override { return {}; }
    int Exec(QDialog*) override { return 0; }
    void Beep() override {}

private:
    static QString OneLine(QString text) {
        return text.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    }
};

void SayRow(TFormMain& f, int row) {
    QStringList cells;
    for (int c = 0; c < f.SortGrid1->ColCount(); ++c)
        cells << f.SortGrid1->Cells(c, row);
    Say(QStringLiteral("row ") + QString::number(row) + QLatin1Char('\t') +
        cells.join(QLatin1Char('\t')));
}

// Types over the start number of the newest row as the operator does: a click on the cell,
// then the keys.
void EditNewestStartNumber(TFormMain& f, const QString& text) {
    TSortGrid* g = f.SortGrid1;
    const int newest = f.Race().LapCount();
    if (newest < 1) return;
    QWidget* vp = g->viewport();
    const QPointF pos = g->CellRect(1, newest).center();
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
    // Confirmed, as Enter in the cell does.
    g->SetEditorMode(false);
    SayRow(f, newest);
}

void Run(TFormMain& f, const QByteArray& line) {
    const QList<QByteArray> words = line.trimmed().split(' ');
    const QByteArray cmd = words.value(0);
    if (cmd == "start") {
        f.mStart->Click();
    } else if (cmd == "lap") {
        f.cbStartN->setEditText(QString::fromUtf8(words.value(1)));
        const int before = f.Race().LapCount();
        f.mLAP->Click();
        if (f.Race().LapCount() != before) {
            SayRow(f, f.Race().LapCount());
            return;
        }
    } else if (cmd == "edit") {
        EditNewestStartNumber(f, QString::fromUtf8(words.value(1)));
        return;
    } else if (cmd == "stop") {
        f.mStop->Click();
    } else if (cmd == "reset") {
        f.mReset->Click();
    } else if (cmd == "rows") {
        for (int r = 1; r < f.SortGrid1->RowCount(); ++r)
            SayRow(f, r);
    } else if (cmd == "delete" || cmd == "insert" || cmd == "swap" || cmd == "retime" ||
               cmd == "undo" || cmd == "redo") {
        // Corrections as the window's dialogs make them, without the dialogs.
        const qint64 wall = QDateTime::currentMSecsSinceEpoch();
        const int row = words.value(1).toInt();
        const std::optional<ParsedTime> time = ParseTimeText(QString::fromUtf8(words.value(cmd == "insert" ? 1 : 2)));
        if (cmd == "delete") f.Execute(cmd::Delete{row, wall});
        if (cmd == "insert" && time)
            f.Execute(cmd::Insert{time->ms, QString::fromUtf8(words.value(2)), wall});
        if (cmd == "swap") f.Execute(cmd::Swap{row, words.value(2).toInt(), wall});
        if (cmd == "retime" && time) f.Execute(cmd::Retime{row, time->ms, wall});
        if (cmd == "undo") f.Execute(cmd::Undo{wall});
        if (cmd == "redo") f.Execute(cmd::Redo{wall});
    } else if (cmd == "marks") {
        for (int r = 1; r < f.Race().RowCount(); ++r)
            if (!f.Race().Row(r).notes.isEmpty())
                Say(QStringLiteral("mark ") + QString::number(r) + QLatin1Char('\t') +
                    f.Race().Row(r).notes.join(QStringLiteral(" | ")));
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

void InstallStdinDriverDialogs() {
    static DriverDialogs dialogs;
    SetDialogs(&dialogs);
}

void InstallStdinDriver(TFormMain& form) {
    InstallStdinDriverDialogs();
    auto* notifier = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, &form);
    auto runPending = [&form] {
        while (const std::optional<QByteArray> line = In().Line())
            Run(form, *line);
    };
    QObject::connect(notifier, &QSocketNotifier::activated, &form, [notifier, runPending] {
        In().Fill(false);
        if (In().Ended()) notifier->setEnabled(false);
        runPending();
    });
    // Commands that came with the answer to a start-up question are already read.
    QTimer::singleShot(0, &form, runPending);
    Say(QStringLiteral("ready"));
}
