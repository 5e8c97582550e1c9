#include <gtest/gtest.h>
#include <QLabel>
#include <QPointer>
#include <QTest>

#include <memory>

#include "tests/support/testenv.h"
#include "widgets/led.h"

namespace {

// Counts paint events of one widget, so that "repaints at once" and "does not repaint" can be
// told apart.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* w) { w->installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) ++paints;
        return false;
    }
};

// A parent in a known colour with one LED at (10, 10).
struct LedHost {
    QWidget parent;
    TLed* led;
    explicit LedHost(QColor back = QColor(0x12, 0x34, 0x56)) {
        QPalette pal = parent.palette();
        pal.setColor(QPalette::Window, back);
        parent.setPalette(pal);
        parent.setAutoFillBackground(true);
        parent.resize(60, 60);
        led = new TLed(&parent);
        led->move(10, 10);
        parent.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&parent));
    }
    // The LED's own pixel (x, y), read from a rendering of the parent.
    QColor Pixel(int x, int y) {
        const QImage img = Render(&parent);
        return img.pixelColor(10 + x, 10 + y);
    }
};

// Tiny images are saved enlarged so that a person can see single pixels.
QImage Big(const QImage& img) {
    return img.scaled(img.size() * 8, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

QColor Hex(unsigned rgb) {
    return QColor(int(rgb >> 16), int((rgb >> 8) & 0xFF), int(rgb & 0xFF));
}

}  // namespace

TEST(Led, CreationValues) {
    TLed led;
    EXPECT_EQ(led.Kind(), TLedKind::lkRed);
    EXPECT_EQ(led.Shape(), TLedShape::lsCircle);
    EXPECT_FALSE(led.Value());
    EXPECT_EQ(led.LabelLinked(), nullptr);
    EXPECT_TRUE(led.LabelOnText().isEmpty());
    EXPECT_TRUE(led.LabelOffText().isEmpty());
    EXPECT_EQ(led.size(), QSize(16, 16));
    EXPECT_FALSE(led.accessibleName().isEmpty());
}

TEST(Led, NewLedDrawsDarkRedCircle) {
    LedHost h;
    const QColor back(0x12, 0x34, 0x56);
    SaveShot(Big(Render(&h.parent)), QStringLiteral("led_dark_red"));
    // Index 0 corners show the parent.
    EXPECT_EQ(h.Pixel(0, 0), back);
    EXPECT_EQ(h.Pixel(15, 15), back);
    EXPECT_EQ(h.Pixel(15, 0), back);
    // Grey upper-left rim, white lower-right rim, black body.
    EXPECT_EQ(h.Pixel(5, 0), Hex(0x808080));
    EXPECT_EQ(h.Pixel(0, 5), Hex(0x808080));
    EXPECT_EQ(h.Pixel(15, 8), Hex(0xFFFFFF));
    EXPECT_EQ(h.Pixel(8, 15), Hex(0xFFFFFF));
    EXPECT_EQ(h.Pixel(8, 8), Hex(0x000000));
    // The small red reflection, and nothing red next to it.
    for (QPoint p : {QPoint(5, 4), QPoint(6, 4), QPoint(7, 4), QPoint(4, 5), QPoint(5, 5),
                     QPoint(4, 6), QPoint(4, 7)})
        EXPECT_EQ(h.Pixel(p.x(), p.y()), Hex(0xFF0000)) << p.x() << "," << p.y();
    EXPECT_EQ(h.Pixel(8, 4), Hex(0x000000));
    EXPECT_EQ(h.Pixel(4, 8), Hex(0x000000));
}

TEST(Led, LitRedCircleAndRectangle) {
    LedHost h;
    h.led->SetValue(true);
    EXPECT_EQ(h.Pixel(8, 8), Hex(0xFF0000));    // body
    EXPECT_EQ(h.Pixel(6, 2), Hex(0xFF00FF));    // highlight
    EXPECT_EQ(h.Pixel(5, 4), Hex(0xFFFFFF));    // brightest spot
    EXPECT_EQ(h.Pixel(12, 12), Hex(0x000000));  // shaded lower right
    h.led->SetShape(TLedShape::lsRectangle);
    SaveShot(Big(Render(&h.parent)), QStringLiteral("led_lit_red_rect"));
    EXPECT_EQ(h.Pixel(0, 2), QColor(0x12, 0x34, 0x56));
    EXPECT_EQ(h.Pixel(0, 3), Hex(0x808080));
    EXPECT_EQ(h.Pixel(1, 5), Hex(0xFF0000));
    EXPECT_EQ(h.Pixel(2, 5), Hex(0xFF00FF));
    EXPECT_EQ(h.Pixel(5, 12), Hex(0xFFFFFF));
    EXPECT_EQ(h.Pixel(5, 13), QColor(0x12, 0x34, 0x56));
}

TEST(Led, KindChangeRepaintsWithoutOnChange) {
    LedHost h;
    h.led->SetValue(true);
    int changes = 0;
    h.led->OnChange = [&](TLed*) { ++changes; };
    PaintCounter counter(h.led);
    h.led->SetKind(TLedKind::lkGreen);
    EXPECT_GE(counter.paints, 1);  // repainted at once, not deferred
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(h.Pixel(8, 8), Hex(0x00FF00));
    EXPECT_EQ(h.Pixel(6, 2), Hex(0xFFFF00));
    SaveShot(Big(Render(&h.parent)), QStringLiteral("led_lit_green"));
    const int before = counter.paints;
    h.led->SetKind(TLedKind::lkGreen);  // same kind: nothing
    EXPECT_EQ(counter.paints, before);
}

TEST(Led, SameValueDoesNothing) {
    LedHost h;
    QLabel label(&h.parent);
    h.led->SetLabelOffText(QStringLiteral("off"));
    h.led->SetLabelLinked(&label);
    label.setText(QStringLiteral("changed by someone"));
    int changes = 0;
    h.led->OnChange = [&](TLed*) { ++changes; };
    PaintCounter counter(h.led);
    h.led->SetValue(false);
    EXPECT_EQ(counter.paints, 0);
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(label.text(), QStringLiteral("changed by someone"));
}

TEST(Led, LabelCaptionIsSetBeforeOnChange) {
    TLed led;
    QLabel label;
    led.SetLabelOnText(QStringLiteral("Armed"));
    led.SetLabelOffText(QStringLiteral("Locked"));
    // Linking to a dark LED sets the off text at once.
    led.SetLabelLinked(&label);
    EXPECT_EQ(label.text(), QStringLiteral("Locked"));
    QString seenInHandler;
    TLed* sender = nullptr;
    led.OnChange = [&](TLed* s) {
        sender = s;
        seenInHandler = label.text();
    };
    led.SetValue(true);
    EXPECT_EQ(sender, &led);
    EXPECT_EQ(seenInHandler, QStringLiteral("Armed"));
    // Changing the text of the inactive state rewrites the caption with the active text.
    label.setText(QString());
    led.SetLabelOffText(QStringLiteral("Closed"));
    EXPECT_EQ(label.text(), QStringLiteral("Armed"));
    led.SetLabelOnText(QStringLiteral("Open"));
    EXPECT_EQ(label.text(), QStringLiteral("Open"));
    led.SetValue(false);
    EXPECT_EQ(label.text(), QStringLiteral("Closed"));
}

TEST(Led, DestroyedLabelUnlinksItself) {
    TLed led;
    led.SetLabelOnText(QStringLiteral("on"));
    auto label = std::make_unique<QLabel>();
    led.SetLabelLinked(label.get());
    label.reset();
    EXPECT_EQ(led.LabelLinked(), nullptr);
    int changes = 0;
    led.OnChange = [&](TLed*) { ++changes; };
    led.SetValue(true);  // must not touch the dead label
    led.SetLabelOnText(QStringLiteral("again"));
    EXPECT_EQ(changes, 1);
    // A new label can be linked afterwards.
    QLabel other;
    led.SetLabelLinked(&other);
    EXPECT_EQ(other.text(), QStringLiteral("again"));
}

TEST(Led, LargeLedDrawsImageTopLeft) {
    LedHost h;
    h.led->resize(32, 32);
    h.led->SetValue(true);
    EXPECT_EQ(h.Pixel(8, 8), Hex(0xFF0000));
    EXPECT_EQ(h.Pixel(5, 0), Hex(0x808080));
    const QColor back(0x12, 0x34, 0x56);
    // Everything outside the top-left 16 x 16 shows the parent.
    for (QPoint p : {QPoint(16, 8), QPoint(24, 24), QPoint(8, 20), QPoint(31, 31), QPoint(20, 0)})
        EXPECT_EQ(h.Pixel(p.x(), p.y()), back) << p.x() << "," << p.y();
}

TEST(Led, ClickIsLeftPressAndReleaseOnIt) {
    LedHost h;
    int clicks = 0;
    h.led->OnClick = [&](TLed* s) {
        EXPECT_EQ(s, h.led);
        ++clicks;
    };
    QTest::mouseClick(h.led, Qt::LeftButton, {}, QPoint(8, 8));
    EXPECT_EQ(clicks, 1);
    QTest::mouseClick(h.led, Qt::RightButton, {}, QPoint(8, 8));
    EXPECT_EQ(clicks, 1);
    // Released outside: no click.
    QTest::mousePress(h.led, Qt::LeftButton, {}, QPoint(8, 8));
    QTest::mouseRelease(h.led, Qt::LeftButton, {}, QPoint(40, 40));
    EXPECT_EQ(clicks, 1);
    // The LED adds nothing of its own to a click: no value change.
    EXPECT_FALSE(h.led->Value());
}
