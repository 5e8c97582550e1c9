#include <gtest/gtest.h>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMouseEvent>
#include <QTest>

#include "platform/exception.h"
#include "tests/support/scripteddialogs.h"
#include "platform/tcolor.h"
#include "platform/ttimer.h"
#include "tests/support/testenv.h"
#include "widgets/floatedit.h"
#include "widgets/spin.h"

namespace {

class ScopedLocale {
public:
    explicit ScopedLocale(const QLocale& l) : saved_(QLocale()) { QLocale::setDefault(l); }
    ~ScopedLocale() { QLocale::setDefault(saved_); }

private:
    QLocale saved_;
};

QLocale LocaleWith(char sep) {
    return sep == ',' ? QLocale(QLocale::German, QLocale::Germany)
                      : QLocale(QLocale::English, QLocale::UnitedStates);
}

// The configuration dialog's distance edit in a window, with a second control to move the focus
// to. Built under a locale with the given decimal separator.
struct FeDist {
    ScopedLocale locale;
    QWidget window;
    TSpinFloatEdit* fe;
    QLineEdit* other;
    explicit FeDist(char sep) : locale(LocaleWith(sep)) {
        fe = new TSpinFloatEdit(&window);
        fe->SetIncrement(0.5L);
        fe->SetDigits(3);
        fe->SetMax(100);
        fe->SetValue(5);
        fe->setGeometry(70, 10, 62, 22);
        other = new QLineEdit(&window);
        other->setGeometry(10, 50, 60, 22);
        window.resize(160, 90);
        window.show();
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
        other->setFocus();
        fe->setFocus(Qt::TabFocusReason);
    }
    QString S(const char* text) const {
        QString s = QString::fromLatin1(text);
        s.replace(QLatin1Char(','), fe->DecimalChar());
        return s;
    }
    void Type(QChar c) { QTest::keyClicks(fe, QString(c)); }
    void Type(const char* s) { QTest::keyClicks(fe, QString::fromLatin1(s)); }
    void Leave() { other->setFocus(Qt::TabFocusReason); }
};

void SendMouse(QWidget* w, QEvent::Type type, QPoint pos, Qt::MouseButton button,
               Qt::MouseButtons buttons) {
    QMouseEvent e(type, QPointF(pos), w->mapToGlobal(QPointF(pos)), button, buttons,
                  Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

}  // namespace

TEST(FloatEdit, CreationValuesAndDecimalCharCopiedOnce) {
    ScopedLocale german(QLocale(QLocale::German, QLocale::Germany));
    TSpinFloatEdit fe;
    EXPECT_EQ(fe.Digits(), 1);
    EXPECT_EQ(fe.Min(), 0.0L);
    EXPECT_EQ(fe.Max(), 100.0L);
    EXPECT_EQ(fe.Increment(), 1.0L);
    EXPECT_TRUE(fe.EditorEnabled());
    EXPECT_TRUE(fe.ErrorMessage().isEmpty());
    EXPECT_EQ(fe.Alignment(), TAlignment::taRightJustify);
    EXPECT_TRUE(fe.alignment() & Qt::AlignRight);
    EXPECT_EQ(fe.DecimalChar(), QLatin1Char(','));
    EXPECT_EQ(fe.text(), QStringLiteral("0,0"));
    {
        ScopedLocale c(QLocale::c());
        fe.SetValue(2.5L);
        EXPECT_EQ(fe.text(), QStringLiteral("2,5"));  // still the separator it was made with
    }
    fe.SetAlignment(TAlignment::taCenter);
    EXPECT_TRUE(fe.alignment() & Qt::AlignHCenter);
}

TEST(FloatEdit, LimitSettersRefuseCrossedLimits) {
    ScopedDialogs dialogs;
    TSpinFloatEdit fe;
    fe.SetErrorMessage(QStringLiteral("Out of range"));
    fe.SetValue(50);
    try {
        fe.SetMin(101);
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(),
                  QStringLiteral("Minimum value must not be greater than maximum value !"));
    }
    try {
        fe.SetMax(-1);
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(),
                  QStringLiteral("Maximum value must not be less than minimum value !"));
    }
    EXPECT_EQ(fe.Min(), 0.0L);
    EXPECT_EQ(fe.Max(), 100.0L);
    // A limit change that moves the value shows no message.
    fe.SetMax(40);
    EXPECT_EQ(fe.text(), QStringLiteral("40.0"));
    fe.SetValue(30);
    fe.SetMin(35);
    EXPECT_EQ(fe.text(), QStringLiteral("35.0"));
    EXPECT_TRUE(dialogs.errors.isEmpty());
    // Min may equal Max.
    fe.SetMax(35);
    EXPECT_EQ(fe.Value(), 35.0L);
    EXPECT_THROW(fe.SetMin(std::numeric_limits<Extended>::quiet_NaN()), Exception);
    EXPECT_EQ(fe.Min(), 35.0L);
}

TEST(FloatEdit, SetValueClampsAndShowsErrorMessage) {
    ScopedDialogs dialogs;
    TSpinFloatEdit fe;
    fe.SetValue(150);
    EXPECT_EQ(fe.text(), QStringLiteral("100.0"));
    EXPECT_TRUE(dialogs.errors.isEmpty());  // no message without ErrorMessage
    fe.SetErrorMessage(QStringLiteral("Distance 0 to 100 km"));
    fe.SetValue(-3);
    EXPECT_EQ(fe.text(), QStringLiteral("0.0"));
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_EQ(dialogs.errors[0], QStringLiteral("Distance 0 to 100 km"));
    fe.SetValue(std::numeric_limits<Extended>::quiet_NaN());
    EXPECT_EQ(fe.text(), QStringLiteral("100.0"));
    EXPECT_EQ(dialogs.errors.size(), 2);
    fe.SetValue(42.195L);
    EXPECT_EQ(dialogs.errors.size(), 2);
}

TEST(FloatEdit, DigitsReformatAndStopAt18) {
    TSpinFloatEdit fe;
    fe.SetValue(42.195L);
    EXPECT_EQ(fe.text(), QStringLiteral("42.2"));  // one decimal by default
    fe.SetDigits(3);
    EXPECT_EQ(fe.text(), QStringLiteral("42.200"));  // the shown value is what is kept
    fe.SetValue(42.195L);
    fe.SetDigits(25);
    EXPECT_EQ(fe.Digits(), 18);
    EXPECT_EQ(fe.text(), QStringLiteral("42.195000000000000000"));
    fe.SetDigits(0);
    EXPECT_EQ(fe.text(), QStringLiteral("42"));
}

TEST(FloatEdit, ReadingOddTexts) {
    TSpinFloatEdit fe;
    fe.SetMin(-50);
    for (const char* zero : {"-", ".", "", "E"}) {
        fe.setText(QString::fromLatin1(zero));
        EXPECT_EQ(fe.Value(), 0.0L) << zero;
    }
    fe.setText(QStringLiteral("abc"));
    EXPECT_EQ(fe.Value(), -50.0L);  // unreadable: Min
    fe.setText(QStringLiteral("1e5"));
    EXPECT_EQ(fe.Value(), 100.0L);  // clamped silently
    fe.setText(QStringLiteral(" 12.5 "));
    EXPECT_EQ(fe.Value(), 12.5L);
}

TEST(FloatEdit, ValuesSetWhileLoadingWaitForTheLimits) {
    ScopedDialogs dialogs;
    TSpinFloatEdit fe;
    fe.BeginLoading();
    fe.SetValue(142.195L);  // above the default Max: must not be clamped yet
    fe.SetDigits(3);
    fe.SetMax(200);
    EXPECT_EQ(fe.PendingValue(), 142.195L);
    EXPECT_EQ(fe.Value(), 142.195L);
    fe.EndLoading();
    EXPECT_FALSE(fe.Loading());
    EXPECT_EQ(fe.text(), QStringLiteral("142.195"));
    EXPECT_TRUE(dialogs.errors.isEmpty());
}

class FeDistTyping : public testing::TestWithParam<char> {};

TEST_P(FeDistTyping, TypingThroughTheFilter) {
    FeDist d(GetParam());
    EXPECT_EQ(d.fe->text(), d.S("5,000"));
    EXPECT_EQ(d.fe->selectedText(), d.fe->text());  // tabbed in: all selected
    d.Type("1000");
    EXPECT_EQ(d.fe->text(), QStringLiteral("100"));
    d.Type(d.fe->DecimalChar());
    d.Type("10");
    EXPECT_EQ(d.fe->text(), d.S("100,0"));
    // Refused characters change nothing.
    d.Type("E+x ");
    d.Type(d.fe->DecimalChar() == QLatin1Char(',') ? '.' : ',');
    EXPECT_EQ(d.fe->text(), d.S("100,0"));
}

TEST_P(FeDistTyping, MinusAndSeparatorReplacements) {
    FeDist d(GetParam());
    d.fe->SetValue(42.195L);
    d.fe->selectAll();
    d.Type("-");
    EXPECT_EQ(d.fe->text(), QStringLiteral("-0"));
    EXPECT_EQ(d.fe->selectionStart(), 1);
    EXPECT_EQ(d.fe->selectedText(), QStringLiteral("0"));
    d.Type("5");  // -5 is below Min
    EXPECT_EQ(d.fe->text(), QStringLiteral("-0"));
    d.fe->selectAll();
    d.Type(d.fe->DecimalChar());
    EXPECT_EQ(d.fe->text(), d.S("0,0"));
    EXPECT_EQ(d.fe->selectionStart(), 2);
    EXPECT_EQ(d.fe->selectedText(), QStringLiteral("0"));
    d.Type("7");
    EXPECT_EQ(d.fe->text(), d.S("0,7"));
}

TEST_P(FeDistTyping, DecimalsAndUpArrowAtTheTop) {
    FeDist d(GetParam());
    d.fe->SetValue(12.345L);
    d.fe->end(false);
    d.Type("6");
    EXPECT_EQ(d.fe->text(), d.S("12,345"));
    d.fe->SetDigits(0);
    EXPECT_EQ(d.fe->text(), QStringLiteral("12"));
    d.fe->end(false);
    d.Type(d.fe->DecimalChar());
    EXPECT_EQ(d.fe->text(), QStringLiteral("12"));
    d.fe->SetDigits(3);
    d.fe->SetValue(99.8L);
    QTest::keyClick(d.fe, Qt::Key_Up);
    EXPECT_EQ(d.fe->text(), d.S("100,000"));
    QTest::keyClick(d.fe, Qt::Key_Down);
    EXPECT_EQ(d.fe->text(), d.S("99,500"));
}

INSTANTIATE_TEST_SUITE_P(Separators, FeDistTyping, testing::Values(',', '.'),
                         [](const testing::TestParamInfo<char>& i) {
                             return i.param == ',' ? "comma" : "dot";
                         });

TEST(FloatEdit, SteppingPastTheLimitShowsErrorMessage) {
    ScopedDialogs dialogs;
    FeDist d(',');
    d.fe->SetErrorMessage(QStringLiteral("0 to 100 km"));
    d.fe->SetValue(99.8L);
    QTest::keyClick(d.fe, Qt::Key_Up);
    EXPECT_EQ(d.fe->text(), QStringLiteral("100,000"));
    EXPECT_EQ(dialogs.errors.size(), 1);
}

TEST(FloatEdit, ExitCheckKeepsFocusOnInvalidText) {
    ScopedDialogs dialogs;
    FeDist d(',');
    d.fe->SetValue(10.5L);
    d.Leave();
    d.fe->setFocus(Qt::TabFocusReason);  // entry value 10,500
    EXPECT_EQ(d.fe->EnterValue(), 10.5L);
    int exits = 0;
    d.fe->OnExit = [&](TCustomFloatEdit*) { ++exits; };
    // Delete the separator: 10500 (deletion is not filtered).
    d.fe->setCursorPosition(3);
    QTest::keyClick(d.fe, Qt::Key_Backspace);
    EXPECT_EQ(d.fe->text(), QStringLiteral("10500"));
    d.Leave();
    EXPECT_TRUE(d.fe->hasFocus());
    EXPECT_FALSE(d.other->hasFocus());
    EXPECT_EQ(d.fe->text(), QStringLiteral("10,500"));
    EXPECT_EQ(d.fe->selectedText(), d.fe->text());
    EXPECT_EQ(exits, 0);
    EXPECT_TRUE(dialogs.errors.isEmpty());  // no ErrorMessage: silent
    // With a message, it is shown; the restore is the same.
    d.fe->SetErrorMessage(QStringLiteral("Invalid distance"));
    d.fe->setText(QStringLiteral("-"));
    d.Leave();
    EXPECT_TRUE(d.fe->hasFocus());
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_EQ(dialogs.errors[0], QStringLiteral("Invalid distance"));
    EXPECT_EQ(d.fe->text(), QStringLiteral("10,500"));
    // A valid text leaves, reformatted.
    d.fe->setText(QStringLiteral("7,5"));
    d.Leave();
    EXPECT_TRUE(d.other->hasFocus());
    EXPECT_EQ(d.fe->text(), QStringLiteral("7,500"));
    EXPECT_EQ(exits, 1);
}

TEST(FloatEdit, TwoInvalidEditsDoNotFightOverTheFocus) {
    FeDist d(',');
    auto* second = new TSpinFloatEdit(&d.window);
    second->setGeometry(70, 50, 62, 22);
    second->show();
    second->setText(QStringLiteral("999"));  // invalid too, but never entered
    int secondExits = 0;
    second->OnExit = [&](TCustomFloatEdit*) { ++secondExits; };
    d.fe->setText(QStringLiteral("500"));
    second->setFocus(Qt::TabFocusReason);
    EXPECT_TRUE(d.fe->hasFocus());
    EXPECT_EQ(d.fe->text(), QStringLiteral("5,000"));
    EXPECT_EQ(second->text(), QStringLiteral("999"));
    EXPECT_EQ(secondExits, 0);
}

TEST(FloatEdit, EmptyEditLeftTakesMin) {
    FeDist d('.');
    d.fe->SetMax(100);
    d.fe->setText(QString());
    int exits = 0;
    d.fe->OnExit = [&](TCustomFloatEdit*) { ++exits; };
    d.Leave();
    EXPECT_TRUE(d.other->hasFocus());
    EXPECT_EQ(d.fe->text(), QStringLiteral("0.000"));
    EXPECT_EQ(exits, 1);
}

TEST(FloatEdit, EscRestoresEntryValueAndEnterRaisesOnEnterPress) {
    FeDist d(',');
    EXPECT_EQ(d.fe->EnterValue(), 5.0L);
    d.Type("42");
    EXPECT_EQ(d.fe->text(), QStringLiteral("42"));
    QTest::keyClick(d.fe, Qt::Key_Escape);
    EXPECT_EQ(d.fe->text(), QStringLiteral("5,000"));
    EXPECT_EQ(d.fe->selectedText(), d.fe->text());

    int enterPresses = 0;
    QStringList keyPresses;
    d.fe->OnEnterPress = [&](TCustomFloatEdit* s, QChar& key) {
        EXPECT_EQ(s, d.fe);
        EXPECT_EQ(key, QLatin1Char('\r'));
        ++enterPresses;
    };
    d.fe->OnKeyPress = [&](TCustomFloatEdit*, QChar& key) { keyPresses << QString(key); };
    QTest::keyClick(d.fe, Qt::Key_Return);
    EXPECT_EQ(enterPresses, 1);
    EXPECT_TRUE(keyPresses.isEmpty());  // Enter raises no ordinary key event
    EXPECT_EQ(d.fe->text(), QStringLiteral("5,000"));
    // Refused keys still raise the ordinary key event; a handler may discard an accepted key.
    d.fe->selectAll();
    d.Type("x");
    EXPECT_EQ(keyPresses, QStringList{QStringLiteral("x")});
    d.fe->OnKeyPress = [&](TCustomFloatEdit*, QChar& key) {
        if (key == QLatin1Char('3')) key = QChar();
    };
    d.Type("123");
    EXPECT_EQ(d.fe->text(), QStringLiteral("12"));
}

TEST(FloatEdit, EditorDisabledOnlyButtonsStep) {
    FeDist d(',');
    d.fe->SetEditorEnabled(false);
    d.fe->selectAll();
    d.Type("7");
    QTest::keyClick(d.fe, Qt::Key_Up);
    QTest::keyClick(d.fe, Qt::Key_Down);
    QTest::keyClick(d.fe, Qt::Key_Backspace);
    QTest::keyClick(d.fe, Qt::Key_Delete);
    EXPECT_EQ(d.fe->text(), QStringLiteral("5,000"));
    TTimerSpeedButton* up = d.fe->Button()->UpButton();
    QTest::mouseClick(up, Qt::LeftButton, {}, up->rect().center());
    EXPECT_EQ(d.fe->text(), QStringLiteral("5,500"));
    TTimerSpeedButton* down = d.fe->Button()->DownButton();
    QTest::mouseClick(down, Qt::LeftButton, {}, down->rect().center());
    QTest::mouseClick(down, Qt::LeftButton, {}, down->rect().center());
    EXPECT_EQ(d.fe->text(), QStringLiteral("4,500"));
}

TEST(FloatEdit, ReadOnlyBeepsAndKeepsValue) {
    ScopedDialogs dialogs;
    FeDist d(',');
    d.fe->setReadOnly(true);
    TTimerSpeedButton* up = d.fe->Button()->UpButton();
    QTest::mouseClick(up, Qt::LeftButton, {}, up->rect().center());
    QTest::keyClick(d.fe, Qt::Key_Down);
    EXPECT_EQ(dialogs.beeps, 2);
    EXPECT_EQ(d.fe->text(), QStringLiteral("5,000"));
    // Typing a minus or the separator does not rewrite a read-only text either.
    d.fe->selectAll();
    d.Type("-");
    d.Type(",");
    d.Type("7");
    EXPECT_EQ(d.fe->text(), QStringLiteral("5,000"));
}

TEST(FloatEdit, ComputedIncrementReplacesTheStep) {
    FeDist d(',');
    std::vector<bool> calls;
    d.fe->OnComputedIncrement = [&](TSpinFloatEdit* s, bool up) {
        calls.push_back(up);
        s->SetValue(s->Value() * 2);
    };
    QTest::keyClick(d.fe, Qt::Key_Up);
    QTest::keyClick(d.fe, Qt::Key_Down);
    EXPECT_EQ(calls, (std::vector<bool>{true, false}));
    EXPECT_EQ(d.fe->text(), QStringLiteral("20,000"));
}

TEST(FloatEdit, PasteOnlyWithEditorEnabledAndCheckedOnExit) {
    FeDist d('.');
    QGuiApplication::clipboard()->setText(QStringLiteral("250"));
    d.fe->SetEditorEnabled(false);
    d.fe->selectAll();
    QTest::keyClick(d.fe, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(d.fe->text(), QStringLiteral("5.000"));
    d.fe->SetEditorEnabled(true);
    d.fe->selectAll();
    QTest::keyClick(d.fe, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(d.fe->text(), QStringLiteral("250"));  // pasted text is not filtered...
    d.Leave();
    EXPECT_TRUE(d.fe->hasFocus());  // ...but caught at exit
    EXPECT_EQ(d.fe->text(), QStringLiteral("5.000"));
    // The context menu offers cut and paste only while they would work.
    auto menuAction = [&](const char* name) -> QAction* {
        QContextMenuEvent e(QContextMenuEvent::Mouse, QPoint(5, 5),
                            d.fe->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(d.fe, &e);
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) return nullptr;
        QAction* found = nullptr;
        for (QAction* a : menu->actions())
            if (a->objectName() == QLatin1String(name)) found = a;
        const bool enabled = found && found->isEnabled();
        menu->close();
        return enabled ? found : nullptr;
    };
    EXPECT_NE(menuAction("edit-paste"), nullptr);
    d.fe->SetEditorEnabled(false);
    EXPECT_EQ(menuAction("edit-paste"), nullptr);
    d.fe->selectAll();
    EXPECT_EQ(menuAction("edit-cut"), nullptr);
    d.fe->SetEditorEnabled(true);
    // Alt combinations are menu keys and type nothing.
    d.fe->selectAll();
    QTest::keyClick(d.fe, Qt::Key_S, Qt::AltModifier);
    EXPECT_EQ(d.fe->text(), QStringLiteral("5.000"));
}

TEST(FloatEdit, LayoutKeepsMinimumHeightAndButtonsAtTheRightEdge) {
    FeDist d(',');
    const int minHeight = d.fe->MinEditHeight();
    const int h = QFontMetrics(d.fe->font()).height();
    const int hs = QFontMetrics(QApplication::font()).height();
    EXPECT_EQ(minHeight, h + std::min(hs, h) / 4 + 6);
    d.fe->resize(62, 10);
    EXPECT_EQ(d.fe->height(), minHeight);
    d.fe->resize(62, 30);
    const QRect b = d.fe->Button()->geometry();
    EXPECT_EQ(b.width(), 15);
    // Flush with the inside of the border at the top, one pixel clear of it right and below.
    const int border = b.top();
    EXPECT_GE(border, 1);
    EXPECT_EQ(b.height(), 30 - 2 * border - 1);
    EXPECT_EQ(b.right(), 62 - border - 2);
    EXPECT_EQ(d.fe->textMargins().right(), 15 + 2);
    // The text never reaches under the buttons.
    d.fe->SetValue(88.888L);
    d.fe->SetAlignment(TAlignment::taRightJustify);
    d.Leave();
    const QImage img = Render(d.fe);
    SaveShot(img.scaled(img.size() * 4, Qt::IgnoreAspectRatio, Qt::FastTransformation),
             QStringLiteral("float_edit"));
    int rightmostInk = -1;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < b.left(); ++x)
            if (x > 3 && img.pixelColor(x, y).lightness() < 100)
                rightmostInk = std::max(rightmostInk, x);
    EXPECT_LE(rightmostInk, b.left() - 2);
    EXPECT_GT(rightmostInk, b.left() - 10);  // right-aligned up to the buttons
}

TEST(SpinButton, PairLayoutAndGlyphs) {
    TSpinButton pair;
    pair.show();
    EXPECT_EQ(pair.size(), QSize(20, 25));
    EXPECT_EQ(pair.UpButton()->geometry(), QRect(0, 0, 20, 12));
    EXPECT_EQ(pair.DownButton()->geometry(), QRect(0, 11, 20, 14));
    pair.resize(10, 17);
    EXPECT_EQ(pair.width(), 15);
    EXPECT_EQ(pair.UpButton()->geometry(), QRect(0, 0, 15, 8));
    EXPECT_EQ(pair.DownButton()->geometry(), QRect(0, 7, 15, 10));
    EXPECT_FALSE(pair.TabStop());
    // The built-in triangles: 7 wide, 4 high, in a 9 x 6 image.
    const QImage up = TSpinButton::SpinUpGlyph();
    EXPECT_EQ(up.size(), QSize(9, 6));
    EXPECT_EQ(up.pixelColor(4, 1), QColor(Qt::black));
    EXPECT_NE(up.pixelColor(3, 1), QColor(Qt::black));
    for (int x = 1; x <= 7; ++x)
        EXPECT_EQ(up.pixelColor(x, 4), QColor(Qt::black));
    const QImage down = TSpinButton::SpinDownGlyph();
    EXPECT_EQ(down.pixelColor(4, 4), QColor(Qt::black));
    EXPECT_EQ(down.pixelColor(1, 1), QColor(Qt::black));
    // Rendered: the apex of the up triangle sits centred in the 15 x 8 up button.
    const QImage img = Render(pair.UpButton());
    EXPECT_EQ(img.pixelColor(7, 2), QColor(Qt::black));
    EXPECT_EQ(img.pixelColor(4, 5), QColor(Qt::black));
    EXPECT_EQ(img.pixelColor(3, 5), ToQColor(clBtnFace));
    EXPECT_EQ(img.pixelColor(0, 0), ToQColor(clBtnHighlight));
    EXPECT_EQ(img.pixelColor(14, 7), ToQColor(cl3DDkShadow));
}

TEST(SpinButton, KeysFocusFrameAndFocusControl) {
    QWidget window;
    auto* pair = new TSpinButton(&window);
    pair->SetTabStop(true);
    int ups = 0, downs = 0;
    pair->OnUpClick = [&](TSpinButton*) { ++ups; };
    pair->OnDownClick = [&](TSpinButton*) { ++downs; };
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    pair->setFocus();
    EXPECT_TRUE(pair->UpButton()->FocusFrame());
    QTest::keyClick(pair, Qt::Key_Space);
    EXPECT_EQ(ups, 1);
    QTest::keyClick(pair, Qt::Key_Down);
    EXPECT_EQ(downs, 1);
    EXPECT_EQ(pair->FocusedButton(), pair->DownButton());
    EXPECT_TRUE(pair->DownButton()->FocusFrame());
    EXPECT_FALSE(pair->UpButton()->FocusFrame());
    QTest::keyClick(pair, Qt::Key_Space);
    EXPECT_EQ(downs, 2);
    QTest::keyClick(pair, Qt::Key_Up);
    EXPECT_EQ(ups, 2);
    pair->clearFocus();
    EXPECT_FALSE(pair->UpButton()->FocusFrame());

    auto* edit = new QLineEdit(&window);
    pair->SetFocusControl(edit);
    edit->show();
    delete edit;
    EXPECT_EQ(pair->FocusControl(), nullptr);
}

TEST(SpinButton, PressOnButtonFocusesTheEditAndSelectsAll) {
    FeDist d(',');
    d.Leave();
    TTimerSpeedButton* up = d.fe->Button()->UpButton();
    QTest::mousePress(up, Qt::LeftButton, {}, up->rect().center());
    EXPECT_TRUE(d.fe->hasFocus());
    EXPECT_EQ(d.fe->selectedText(), d.fe->text());
    EXPECT_TRUE(up->IsDown());
    QTest::mouseRelease(up, Qt::LeftButton, {}, up->rect().center());
    EXPECT_EQ(d.fe->text(), QStringLiteral("5,500"));
}

TEST(SpinButton, AutoRepeatWhileHeldOnTheButton) {
    FeDist d(',');
    TTimerSpeedButton* up = d.fe->Button()->UpButton();
    const QPoint in = up->rect().center();
    const QPoint out(in.x(), up->height() + 20);
    EXPECT_EQ(up->RepeatTimer(), nullptr);
    SendMouse(up, QEvent::MouseButtonPress, in, Qt::LeftButton, Qt::LeftButton);
    TTimer* timer = up->RepeatTimer();
    ASSERT_NE(timer, nullptr);
    EXPECT_TRUE(timer->Enabled());
    EXPECT_EQ(timer->Interval(), 400);
    EXPECT_EQ(d.fe->text(), QStringLiteral("5,000"));  // the press itself does not step
    timer->Fire();                                     // 400 ms: first repeat
    EXPECT_EQ(d.fe->text(), QStringLiteral("5,500"));
    EXPECT_EQ(timer->Interval(), 100);
    timer->Fire();
    EXPECT_EQ(d.fe->text(), QStringLiteral("6,000"));
    // Off the button: shown up, no stepping; back on: stepping resumes.
    SendMouse(up, QEvent::MouseMove, out, Qt::NoButton, Qt::LeftButton);
    EXPECT_FALSE(up->IsDown());
    timer->Fire();
    timer->Fire();
    EXPECT_EQ(d.fe->text(), QStringLiteral("6,000"));
    SendMouse(up, QEvent::MouseMove, in, Qt::NoButton, Qt::LeftButton);
    EXPECT_TRUE(up->IsDown());
    timer->Fire();
    EXPECT_EQ(d.fe->text(), QStringLiteral("6,500"));
    // The release over the button adds its ordinary click and stops the timer.
    SendMouse(up, QEvent::MouseButtonRelease, in, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(d.fe->text(), QStringLiteral("7,000"));
    EXPECT_FALSE(timer->Enabled());
    // A release off the button gives no click.
    SendMouse(up, QEvent::MouseButtonPress, in, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(timer->Interval(), 400);  // each press waits the full first pause
    SendMouse(up, QEvent::MouseMove, out, Qt::NoButton, Qt::LeftButton);
    SendMouse(up, QEvent::MouseButtonRelease, out, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(d.fe->text(), QStringLiteral("7,000"));
}

TEST(SpinButton, ErrorDuringRepeatStopsTheTimer) {
    ScopedDialogs dialogs;
    TSpinButton pair;
    pair.show();
    pair.OnUpClick = [](TSpinButton*) { throw Exception(QStringLiteral("step failed")); };
    TTimerSpeedButton* up = pair.UpButton();
    SendMouse(up, QEvent::MouseButtonPress, up->rect().center(), Qt::LeftButton, Qt::LeftButton);
    up->RepeatTimer()->Fire();
    EXPECT_FALSE(up->RepeatTimer()->Enabled());
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_EQ(dialogs.errors[0], QStringLiteral("step failed"));
    SendMouse(up, QEvent::MouseButtonRelease, QPoint(-5, -5), Qt::LeftButton, Qt::NoButton);
}
