// Corrections of the list: the operator's keys, the list's context menu and the dialogs turn
// into the race's correction commands, which the journal keeps and a restore replays.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QEvent>
#include <QHelpEvent>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QToolTip>

#include "app/correctiondialog.h"
#include "app/formmain.h"
#include "app/menuitem.h"
#include "app/panel.h"
#include "journal/journalstore.h"
#include "platform/guard.h"
#include "race/timetext.h"

namespace {

QString RankNumber(const QString& rankCell) {
    return rankCell.endsWith(QLatin1Char('.')) ? rankCell.chopped(1) : rankCell;
}

// A time of day ("14:05", "14:05:30", "14:05:30,25") as milliseconds after midnight.
std::optional<qint64> TimeOfDay(const QString& text) {
    QString t = text.trimmed();
    if (t.count(QLatin1Char(':')) == 1 && !t.contains(QLatin1Char(',')) &&
        !t.contains(QLatin1Char('.')))
        t += QStringLiteral(":00");  // hours and minutes
    if (t.count(QLatin1Char(':')) != 2) return std::nullopt;
    const std::optional<ParsedTime> p = ParseTimeText(t);
    if (!p || p->ms >= 24 * 3600000) return std::nullopt;
    return p->ms;
}

}  // namespace

int TFormMain::SelectedRow() const {
    const int row = SortGrid1->Row();
    return row >= 1 && row < race_.RowCount() ? row : 0;
}

void TFormMain::DeleteFinisher(int row) {
    if (row < 1 || race_.Row(row).Empty()) return;
    const std::uint64_t id = race_.Row(row).id;
    const QStringList& cells = race_.Row(row).cells;
    // Deleting removes a result: No is the default, and Enter stays LAP while the clock runs.
    if (!Dialogs().Ask(this,
                       QStringLiteral("Delete finisher ") + cells.value(1) + QStringLiteral(" (rank ") +
                           RankNumber(cells.value(0)) + QStringLiteral(", ") + cells.value(2) +
                           QStringLiteral(")?"),
                       false))
        return;
    // Finishes recorded while the question was open may have moved the row.
    if (const int now = race_.RowOf(id)) Execute(cmd::Delete{now, WallClockMs()});
}

void TFormMain::InsertFinish() {
    TCorrectionDialog d(this, TCorrectionDialog::Kind::Insert,
                        QStringLiteral("The finish goes into the list at its place in time."));
    std::optional<cmd::Insert> insert;
    d.OnAccept = [&]() -> QString {
        const std::optional<ParsedTime> t = ParseTimeText(d.edTime->text());
        if (!t) return QStringLiteral("That is no race time. Type it ") + TimeTextExample() + '.';
        insert = cmd::Insert{t->ms, d.edStartNo->text().trimmed(), WallClockMs()};
        return race_.Refusal(*insert);
    };
    RunCorrectionDialog(d);
    if (insert && race_.Refusal(*insert).isEmpty()) Execute(*insert);
}

void TFormMain::SwapWithNeighbour(int row, int direction) {
    const int other = row + direction;
    if (row < 1 || other < 1 || other >= race_.RowCount()) return;
    const cmd::Swap swap{row, other, WallClockMs()};
    if (!race_.Refusal(swap).isEmpty()) return;
    Execute(swap);
    // The selection follows the finisher the operator moved.
    SortGrid1->SetSelection(TGridRect{1, other, 1, other});
}

void TFormMain::CorrectFinishTime(int row) {
    if (!race_.RowTime(row)) return;
    const std::uint64_t id = race_.Row(row).id;
    const QStringList& cells = race_.Row(row).cells;
    TCorrectionDialog d(this, TCorrectionDialog::Kind::Retime,
                        QStringLiteral("Finisher ") + cells.value(1) + QStringLiteral(" (rank ") +
                            RankNumber(cells.value(0)) + QStringLiteral("), now ") +
                            cells.value(2) + QStringLiteral(". Its time from a backup:"));
    std::optional<cmd::Retime> retime;
    d.OnAccept = [&]() -> QString {
        const std::optional<ParsedTime> t = ParseTimeText(d.edTime->text());
        if (!t) return QStringLiteral("That is no race time. Type it ") + TimeTextExample() + '.';
        const int now = race_.RowOf(id);
        if (now == 0) return QStringLiteral("That finisher is no longer in the list.");
        retime = cmd::Retime{now, t->ms, WallClockMs()};
        return race_.Refusal(*retime);
    };
    RunCorrectionDialog(d);
    if (!retime) return;
    if (const int now = race_.RowOf(id)) {
        retime->row = now;
        if (race_.Refusal(*retime).isEmpty()) Execute(*retime);
    }
}

void TFormMain::CorrectStart() {
    TCorrectionDialog d(this, TCorrectionDialog::Kind::Start,
                        QStringLiteral("Every time, gap and speed moves with the start."));
    std::optional<cmd::ShiftStart> shift;
    d.OnAccept = [&]() -> QString {
        TRaceTime by = 0;
        if (d.rbAt->isChecked()) {
            const std::optional<qint64> at = TimeOfDay(d.edTime->text());
            if (!at)
                return QStringLiteral("That is no time of day. Type it as 14:05 or 14:05:30.");
            const QDateTime started = QDateTime::fromMSecsSinceEpoch(race_.StartWallMs());
            const QDateTime typed = started.date().startOfDay().addMSecs(*at);
            by = TRaceTime(race_.StartWallMs() - typed.toMSecsSinceEpoch());
        } else {
            const std::optional<ParsedTime> t = ParseTimeText(d.edTime->text());
            if (!t) return QStringLiteral("That is no time. Type it ") + TimeTextExample() + '.';
            by = d.rbLate->isChecked() ? t->ms : -t->ms;
        }
        shift = cmd::ShiftStart{by, WallClockMs()};
        if (race_.Running() && TickDiff(GetTickCount(), race_.StartTick()) + qint64(by) < 0)
            return QStringLiteral("The start cannot move past this moment.");
        return race_.Refusal(*shift);
    };
    RunCorrectionDialog(d);
    if (shift && race_.Refusal(*shift).isEmpty()) {
        Execute(*shift);
        // The stopped display shows the corrected final time at once; a running one at its
        // next tick.
        if (race_.State() == RunState::Stopped)
            ShowTime(1, TickDiff(race_.StopTick(), race_.StartTick()));
    }
}

void TFormMain::RunCorrectionDialog(TCorrectionDialog& d) {
    // After STOP, Enter may confirm; while the clock runs it is LAP.
    d.bOK->setDefault(!race_.Running());
    Dialogs().Exec(&d);
}

void TFormMain::UndoCorrection() {
    if (race_.CanUndo()) Execute(cmd::Undo{WallClockMs()});
}

void TFormMain::RedoCorrection() {
    if (race_.CanRedo()) Execute(cmd::Redo{WallClockMs()});
}

void TFormMain::ShowCorrectionState() {
    // On every command, LAP among them: only what changed is touched.
    if (mUndo->Enabled() != race_.CanUndo()) mUndo->SetEnabled(race_.CanUndo());
    if (mRedo->Enabled() != race_.CanRedo()) mRedo->SetEnabled(race_.CanRedo());
    const QString hint = race_.StartNotes().join(QLatin1Char('\n'));
    if (PanelTimer->toolTip() != hint) PanelTimer->setToolTip(hint);
}

std::unique_ptr<QMenu> TFormMain::CorrectionMenu(int row) {
    auto menu = std::make_unique<QMenu>(this);
    const bool filled = row >= 1 && !race_.Row(row).Empty();
    auto add = [&](const QString& text, const QKeySequence& keys, bool enabled, auto&& fn) {
        QAction* a = menu->addAction(text);
        a->setShortcut(keys);
        a->setShortcutContext(Qt::WidgetShortcut);  // shown; the window's own keys act
        a->setEnabled(enabled);
        QObject::connect(a, &QAction::triggered, this, [this, fn] { Guarded([&] { fn(); }); });
        return a;
    };
    add(QStringLiteral("&Delete finisher..."), QKeySequence(Qt::Key_Delete), filled,
        [this, row] { DeleteFinisher(row); });
    add(QStringLiteral("&Insert a missed finish..."), QKeySequence(Qt::Key_Insert), true,
        [this] { InsertFinish(); });
    add(QStringLiteral("Swap with the row &above"), QKeySequence(Qt::CTRL | Qt::Key_Up),
        filled && row > 1 && !race_.Row(row - 1).Empty(),
        [this, row] { SwapWithNeighbour(row, -1); });
    add(QStringLiteral("Swap with the row &below"), QKeySequence(Qt::CTRL | Qt::Key_Down),
        filled && !race_.Row(row + 1).Empty(), [this, row] { SwapWithNeighbour(row, 1); });
    add(QStringLiteral("Correct the finish &time..."), QKeySequence(),
        filled && race_.RowTime(row).has_value(), [this, row] { CorrectFinishTime(row); });
    add(QStringLiteral("Correct the &start..."), QKeySequence(), race_.Timed(),
        [this] { CorrectStart(); });
    menu->addSeparator();
    add(race_.CanUndo() ? QStringLiteral("&Undo ") + race_.UndoName() : QStringLiteral("&Undo"),
        QKeySequence(Qt::CTRL | Qt::Key_Z), race_.CanUndo(), [this] { UndoCorrection(); });
    add(race_.CanRedo() ? QStringLiteral("&Redo ") + race_.RedoName() : QStringLiteral("&Redo"),
        QKeySequence(Qt::CTRL | Qt::Key_Y), race_.CanRedo(), [this] { RedoCorrection(); });
    return menu;
}

bool TFormMain::CorrectionKey(int key, Qt::KeyboardModifiers mods) {
    const int row = SelectedRow();
    const bool ctrl = mods & Qt::ControlModifier;
    if (key == Qt::Key_Delete && !ctrl) {
        DeleteFinisher(row);
        return true;
    }
    if (key == Qt::Key_Insert && !ctrl) {
        InsertFinish();
        return true;
    }
    if (ctrl && (key == Qt::Key_Up || key == Qt::Key_Down)) {
        SwapWithNeighbour(row, key == Qt::Key_Up ? -1 : 1);
        return true;
    }
    return false;
}

bool TFormMain::ShowCorrectionHint(const QPoint& pos, const QPoint& globalPos) {
    int c = -1, r = -1;
    SortGrid1->MouseToCell(pos.x(), pos.y(), c, r);
    const QStringList notes = r >= 1 ? race_.Row(r).notes : QStringList();
    if (notes.isEmpty()) return false;
    QToolTip::showText(globalPos, notes.join(QLatin1Char('\n')), SortGrid1->viewport());
    return true;
}
