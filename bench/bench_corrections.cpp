// Corrections high up a long list: delete, insert and undo at row 10 of a race of 20,000
// finishers, each through the window's command with the repaint that follows it (median and
// worst of 25 each).
#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "app/formmain.h"
#include "app/menuitem.h"
#include "bench/benchsupport.h"
#include "platform/tickcounter.h"
#include "tests/support/scripteddialogs.h"

namespace {
using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

}  // namespace

int main(int argc, char** argv) {
    BenchEnvironment env(argc, argv);
    ScopedDialogs dialogs;
    dialogs.defaultConfirm = true;
    ScopedManualClock clock(1000);
    TFormMain form;
    form.show();
    QApplication::processEvents();
    form.mStart->Click();
    for (int i = 0; i < 20000; ++i) {
        clock.Advance(37);
        form.cbStartN->setEditText(QString::number(i % 1000));
        form.mLAP->Click();
    }
    // The list scrolled to its top, where the correction is seen.
    form.SortGrid1->SetTopRow(1);
    QApplication::processEvents();
    const qint64 wall = QDateTime::currentMSecsSinceEpoch();
    auto timed = [](auto&& work) {
        const auto t0 = Clock::now();
        work();
        QApplication::processEvents();  // the repaint
        return Ms(Clock::now() - t0);
    };
    {
        // The race alone, without the window: what the model's part of it costs.
        TRace race = form.Race();
        std::vector<double> model;
        for (int i = 0; i < 25; ++i) {
            const auto t0 = Clock::now();
            race.Apply(cmd::Delete{10, wall});
            race.Apply(cmd::Undo{wall});
            model.push_back(Ms(Clock::now() - t0) / 2);
        }
        std::printf("the race alone:    median %6.2f ms per delete or undo\n", Summarise(model).median);
        std::vector<double> noPaint;
        for (int i = 0; i < 25; ++i) {
            const auto t0 = Clock::now();
            form.Execute(cmd::Delete{10, wall});
            noPaint.push_back(Ms(Clock::now() - t0));
            timed([&] { form.Execute(cmd::Undo{wall}); });
        }
        std::printf("delete, no paint:  median %6.2f ms\n", Summarise(noPaint).median);
    }
    std::vector<double> del, ins, undo;
    for (int i = 0; i < 25; ++i) {
        del.push_back(timed([&] { form.Execute(cmd::Delete{10, wall}); }));
        undo.push_back(timed([&] { form.Execute(cmd::Undo{wall}); }));
        // Between the 9th and the 10th finisher.
        ins.push_back(timed([&] { form.Execute(cmd::Insert{37 * 10 - 5, "x", wall}); }));
        timed([&] { form.Execute(cmd::Undo{wall}); });
    }
    for (const auto& [name, v] : {std::pair{"delete row 10:", del}, std::pair{"insert at row 10:", ins},
                                  std::pair{"undo at row 10:", undo}}) {
        const Stats s = Summarise(v);
        std::printf("%-18s median %6.2f ms, max %6.2f ms (20,000 rows, repaint included)\n", name,
                    s.median, s.max);
    }
    std::printf("rows: %d, laps: %d\n", form.SortGrid1->RowCount() - 1, form.Race().LapCount());
    return 0;
}
