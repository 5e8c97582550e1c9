#include <gtest/gtest.h>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <stdexcept>

#include "platform/exception.h"
#include "platform/guard.h"
#include "tests/support/scripteddialogs.h"
#include "platform/ttimer.h"
#include "tests/support/testenv.h"

TEST(Dialogs, ScriptedAnswersInOrderThenDefault) {
    ScopedDialogs d;
    d.confirmAnswers = {true, false};
    EXPECT_TRUE(Dialogs().Confirm(nullptr, "Exit program?"));
    EXPECT_FALSE(Dialogs().Confirm(nullptr, "Exit program?"));
    EXPECT_FALSE(Dialogs().Confirm(nullptr, "Clear protocol?"));
    EXPECT_EQ(d.confirms, QStringList({"Exit program?", "Exit program?", "Clear protocol?"}));
}

TEST(Dialogs, AnErrorWithDetailsKeepsThemUnderADetailsButton) {
    const QString text = "Word could not save /home/anna/r.doc: access denied";
    const QString details = "SfxBaseModel::impl_store <file:///home/anna/r.doc> failed: 0x507(Error "
                            "Area:Io Class:Access Code:7)";
    QString shown, hidden;
    bool detailsButton = false;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_TRUE(box);
        shown = box->text();
        hidden = box->detailedText();
        SaveShot(Render(box), "error-with-details");
        for (QPushButton* b : box->findChildren<QPushButton*>()) {
            if (!b->text().contains("Details")) continue;
            detailsButton = true;
            b->click();
            SaveShot(Render(box), "error-with-details-open");
        }
        box->accept();
    });
    Dialogs().ErrorWithDetails(nullptr, text, details);
    EXPECT_EQ(shown, text);
    EXPECT_EQ(hidden, details);
    EXPECT_TRUE(detailsButton);
}

TEST(Dialogs, FileFilterSplitsIntoNamePairs) {
    EXPECT_EQ(SplitFileFilter("MS Excel (*.csv)|*.csv|Text file (*.txt)|*.txt"),
              QStringList({"MS Excel (*.csv)", "Text file (*.txt)"}));
}

TEST(Guard, EscapedExceptionIsShownAndTheProgramGoesOn) {
    ScopedDialogs d;
    Guarded([] { throw Exception("Unable to open com port: 2"); });
    Guarded([] { throw std::runtime_error("boom"); });
    Guarded([] { throw 42; });
    ASSERT_EQ(d.errors.size(), 3);
    EXPECT_EQ(d.errors[0], "Unable to open com port: 2");
    EXPECT_EQ(d.errors[1], "boom");
}

TEST(TTimer, FireRunsHandlerAndIntervalZeroNeverRuns) {
    ScopedDialogs d;
    TTimer t(nullptr, 10, false);
    int n = 0;
    t.OnTimer = [&](TTimer* sender) {
        EXPECT_EQ(sender, &t);
        ++n;
        throw Exception("late");
    };
    t.Fire();
    EXPECT_EQ(n, 1);
    EXPECT_EQ(d.errors, QStringList({"late"}));
    t.SetEnabled(true);
    EXPECT_TRUE(t.Enabled());
    t.SetInterval(0);
    EXPECT_EQ(t.Interval(), 0);
}

TEST(SaveDialogNames, ANameWithoutExtensionGetsTheSelectedTypes) {
    FileDialogRequest save;
    save.filter =
        "MS Excel (*.csv)|*.csv|MS Word (*.doc)|*.doc|Internet HTML (*.html)|*.html|"
        "Text file (*.txt)|*.txt|Any (*.*)|*.*";
    save.defaultExt = ".csv";
    EXPECT_EQ(FilterExtension(save, 1), ".csv");
    EXPECT_EQ(FilterExtension(save, 2), ".doc");
    EXPECT_EQ(FilterExtension(save, 4), ".txt");
    EXPECT_EQ(FilterExtension(save, 5), ".csv");  // no extension of its own: the default
    EXPECT_EQ(FilterExtension(save, 9), ".csv");
    save.filterIndex = 2;
    EXPECT_EQ(WithTypeExtension("/r/2027-03-03-09-05", save), "/r/2027-03-03-09-05.doc");
    EXPECT_EQ(WithTypeExtension("/r/result", save), "/r/result.doc");
    EXPECT_EQ(WithTypeExtension("/r/result.", save), "/r/result.doc");
    EXPECT_EQ(WithTypeExtension("/r/result.csv", save), "/r/result.csv");  // typed: kept
    EXPECT_EQ(WithTypeExtension("/r/results.txt", save), "/r/results.txt");
    EXPECT_EQ(WithTypeExtension("/r.d/result", save), "/r.d/result.doc");  // a dot in the folder
    EXPECT_EQ(WithTypeExtension("", save), "");                            // cancelled
    save.filterIndex = 3;
    EXPECT_EQ(WithTypeExtension("page", save), "page.html");
}

// While the clock runs the window hands Enter to LAP: a question then takes it as no answer at
// all, and its default (No for anything that removes results) is never chosen by an Enter meant
// for a finisher. Without the handler, or when it declines, Enter answers as usual.
TEST(Dialogs, EnterGoesToTheHandlerWhileItTakesIt) {
    int laps = 0;
    bool running = true;
    SetEnterHandler([&] {
        if (!running) return false;
        ++laps;
        return true;
    });
    bool stillOpen = false;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_TRUE(box);
        QTest::keyClick(box, Qt::Key_Return);
        QTest::keyClick(box->defaultButton(), Qt::Key_Enter);
        stillOpen = box->isVisible();
        running = false;
        QTest::keyClick(box, Qt::Key_Return);  // answers now: its default, No
    });
    EXPECT_FALSE(Dialogs().Ask(nullptr, "Delete finisher 7 (rank 2, 1,00)?", false));
    EXPECT_EQ(laps, 2);
    EXPECT_TRUE(stillOpen);
    SetEnterHandler({});
}
