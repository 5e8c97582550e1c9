#include <gtest/gtest.h>
#include <QDialog>
#include <QLineEdit>
#include <QPainter>
#include <QTest>

#include <memory>

#include "platform/exception.h"
#include "tests/support/scripteddialogs.h"
#include "tests/support/testenv.h"
#include "widgets/bitbtnwithcolor.h"

namespace {

QColor C(TColor c) {
    return ToQColor(c);
}

// A window with the button at (5, 5) and an edit that can hold the focus elsewhere.
struct ButtonHost {
    QWidget window;
    TBitBtnWithColor* button;
    QLineEdit* edit;
    ButtonHost() {
        window.resize(200, 80);
        button = new TBitBtnWithColor(&window);
        button->move(5, 5);
        button->setText(QStringLiteral("START"));
        // Plain pixels make the caption's position measurable.
        QFont f = button->font();
        f.setStyleStrategy(QFont::NoAntialias);
        button->setFont(f);
        edit = new QLineEdit(&window);
        edit->setGeometry(100, 5, 80, 22);
        window.show();
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
        edit->setFocus();
    }
};

// The bounding box of pixels of one colour inside a rectangle.
QRect BoxOf(const QImage& img, const QRect& area, const QColor& c) {
    QRect box;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (img.pixelColor(x, y) == c) box |= QRect(x, y, 1, 1);
    return box;
}

QImage Big(const QImage& img) {
    return img.scaled(img.size() * 6, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

QImage SolidGlyph(int w, int h, QColor fill, QColor bottomLeft) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(fill);
    img.setPixelColor(0, h - 1, bottomLeft);
    return img;
}

}  // namespace

TEST(BitBtnWithColor, CreationValues) {
    TBitBtnWithColor b;
    EXPECT_EQ(b.Color(), clBtnFace);
    EXPECT_TRUE(b.Glyph().isNull());
    EXPECT_EQ(b.NumGlyphs(), 1);
    EXPECT_EQ(b.Layout(), TButtonLayout::blGlyphLeft);
    EXPECT_EQ(b.Margin(), -1);
    EXPECT_EQ(b.Spacing(), 4);
    EXPECT_EQ(b.Kind(), TBitBtnWithColorKind::bkCustom);
    EXPECT_EQ(b.ModalResult(), 0);
    EXPECT_FALSE(b.Default());
    EXPECT_FALSE(b.Cancel());
    EXPECT_EQ(b.GlyphHolder().TransparentColor(), clOlive);
}

TEST(BitBtnWithColor, UpStateGreenFace) {
    ButtonHost h;
    h.button->SetColor(clGreen);
    const QImage img = Render(h.button);
    SaveShot(Big(img), QStringLiteral("button_up_green"));
    // Raised edge: light and white top-left, black and grey bottom-right.
    EXPECT_EQ(img.pixelColor(0, 0), C(cl3DLight));
    EXPECT_EQ(img.pixelColor(10, 0), C(cl3DLight));
    EXPECT_EQ(img.pixelColor(74, 0), C(cl3DDkShadow));
    EXPECT_EQ(img.pixelColor(0, 24), C(cl3DDkShadow));
    EXPECT_EQ(img.pixelColor(74, 24), C(cl3DDkShadow));
    EXPECT_EQ(img.pixelColor(1, 1), C(clBtnHighlight));
    EXPECT_EQ(img.pixelColor(73, 10), C(clBtnShadow));
    EXPECT_EQ(img.pixelColor(10, 23), C(clBtnShadow));
    EXPECT_EQ(img.pixelColor(2, 2), C(clGreen));
    EXPECT_EQ(img.pixelColor(72, 22), C(clGreen));
    // Caption in the font colour, centred both ways (within a pixel).
    const QRect text =
        BoxOf(img, QRect(2, 2, 71, 21), h.button->palette().color(QPalette::ButtonText));
    ASSERT_FALSE(text.isEmpty());
    EXPECT_LE(std::abs((text.left() - 2) - (72 - text.right())), 2);
    EXPECT_LE(std::abs((text.top() - 2) - (22 - text.bottom())), 3);
}

TEST(BitBtnWithColor, DownStateShadowFrameAndShiftedCaption) {
    ButtonHost h;
    h.button->SetColor(clGreen);
    const QImage up = Render(h.button);
    h.button->setDown(true);
    const QImage down = Render(h.button);
    SaveShot(Big(down), QStringLiteral("button_down_green"));
    EXPECT_EQ(down.pixelColor(0, 0), C(clBtnShadow));
    EXPECT_EQ(down.pixelColor(74, 24), C(clBtnShadow));
    EXPECT_EQ(down.pixelColor(40, 0), C(clBtnShadow));
    EXPECT_EQ(down.pixelColor(1, 1), C(clGreen));
    EXPECT_EQ(down.pixelColor(73, 23), C(clGreen));
    const QColor ink = h.button->palette().color(QPalette::ButtonText);
    const QRect a = BoxOf(up, QRect(3, 3, 69, 19), ink);
    const QRect b = BoxOf(down, QRect(3, 3, 69, 19), ink);
    ASSERT_FALSE(a.isEmpty());
    EXPECT_EQ(b, a.translated(1, 1));
}

TEST(BitBtnWithColor, DisabledCaptionIsEmbossedWhateverTheFontColour) {
    ButtonHost h;
    h.button->SetColor(clRed);
    QPalette pal = h.button->palette();
    pal.setColor(QPalette::ButtonText, Qt::white);
    h.button->setPalette(pal);
    h.button->setEnabled(false);
    const QImage img = Render(h.button);
    SaveShot(Big(img), QStringLiteral("button_disabled_red"));
    const QRect inside(3, 3, 69, 19);
    const QRect grey = BoxOf(img, inside, QColor(0x80, 0x80, 0x80));
    const QRect white = BoxOf(img, inside, QColor(0xFF, 0xFF, 0xFF));
    ASSERT_FALSE(grey.isEmpty());
    ASSERT_FALSE(white.isEmpty());
    // The white copy sits one pixel right and down of the grey one.
    EXPECT_EQ(white.bottomRight(), grey.bottomRight() + QPoint(1, 1));
    // Every grey pixel's lower-right neighbour is grey or white (the white copy peeks out).
    int peeks = 0;
    for (int y = grey.top(); y <= grey.bottom(); ++y)
        for (int x = grey.left(); x <= grey.right(); ++x)
            if (img.pixelColor(x, y) == QColor(0x80, 0x80, 0x80) &&
                img.pixelColor(x + 1, y + 1) == QColor(0xFF, 0xFF, 0xFF))
                ++peeks;
    EXPECT_GT(peeks, 0);
    // The edge is still the raised one.
    EXPECT_EQ(img.pixelColor(0, 0), C(cl3DLight));
}

TEST(BitBtnWithColor, FocusedButtonFrameAndFocusRectangle) {
    ButtonHost h;
    h.button->SetColor(clGreen);
    h.button->setFocus();
    EXPECT_TRUE(h.button->IsFocused());
    const QImage img = Render(h.button);
    SaveShot(Big(img), QStringLiteral("button_focused_green"));
    EXPECT_EQ(img.pixelColor(0, 0), C(clWindowFrame));
    EXPECT_EQ(img.pixelColor(74, 24), C(clWindowFrame));
    EXPECT_EQ(img.pixelColor(1, 1), C(cl3DLight));
    EXPECT_EQ(img.pixelColor(2, 2), C(clBtnHighlight));
    EXPECT_EQ(img.pixelColor(73, 23), C(cl3DDkShadow));
    EXPECT_EQ(img.pixelColor(72, 22), C(clBtnShadow));
    // Dotted focus rectangle 4 pixels inside: alternate pixels inverted.
    const QColor inverted(0xFF, 0x7F, 0xFF);
    EXPECT_EQ(img.pixelColor(4, 4), inverted);
    EXPECT_EQ(img.pixelColor(5, 4), C(clGreen));
    EXPECT_EQ(img.pixelColor(6, 4), inverted);
    EXPECT_EQ(img.pixelColor(70, 4), inverted);
    EXPECT_EQ(img.pixelColor(4, 20), inverted);
    EXPECT_EQ(img.pixelColor(70, 20), inverted);
    EXPECT_EQ(img.pixelColor(4, 5), C(clGreen));
    EXPECT_EQ(img.pixelColor(3, 4), C(clGreen));
    // Focus moving to the edit takes the frame away again.
    h.edit->setFocus();
    EXPECT_FALSE(h.button->IsFocused());
    EXPECT_EQ(Render(h.button).pixelColor(0, 0), C(cl3DLight));
}

TEST(BitBtnWithColor, DefaultButtonIsActiveWhileNoOtherButtonHasFocus) {
    ButtonHost h;
    auto* other = new TBitBtnWithColor(&h.window);
    other->move(5, 40);
    other->show();
    h.button->SetDefault(true);
    EXPECT_TRUE(h.button->IsFocused());  // the edit has the focus
    other->setFocus();
    EXPECT_FALSE(h.button->IsFocused());
    EXPECT_TRUE(other->IsFocused());
    h.edit->setFocus();
    EXPECT_TRUE(h.button->IsFocused());
    EXPECT_FALSE(other->IsFocused());
}

TEST(BitBtnWithColor, GlyphDrawnOnFaceWithTransparentBackground) {
    ButtonHost h;
    h.button->setText(QString());
    h.button->SetColor(clGreen);
    h.button->SetGlyph(SolidGlyph(16, 16, Qt::red, C(clOlive)));
    const QImage img = Render(h.button);
    // Inside the edge: 69 x 19 from (3, 3); the glyph is centred in it at (30, 5).
    EXPECT_EQ(img.pixelColor(35, 10), QColor(Qt::red));
    EXPECT_EQ(img.pixelColor(45, 20), QColor(Qt::red));
    EXPECT_EQ(img.pixelColor(30, 20), C(clGreen));  // the transparent bottom-left pixel
    EXPECT_EQ(img.pixelColor(29, 10), C(clGreen));
    EXPECT_EQ(img.pixelColor(46, 10), C(clGreen));
}

TEST(BitBtnWithColor, KindSetsItsRowAndFallsBackToCustom) {
    TBitBtnWithColor b;
    b.SetKind(TBitBtnWithColorKind::bkOK);
    EXPECT_EQ(b.Kind(), TBitBtnWithColorKind::bkOK);
    EXPECT_TRUE(b.Default());
    EXPECT_FALSE(b.Cancel());
    EXPECT_EQ(b.ModalResult(), 1);
    EXPECT_EQ(b.Caption(), QStringLiteral("OK"));
    EXPECT_EQ(b.NumGlyphs(), 2);
    EXPECT_EQ(b.Glyph().size(), QSize(36, 18));
    // A colour change re-assigns the glyph: the kind no longer holds.
    b.SetColor(clGreen);
    EXPECT_EQ(b.Kind(), TBitBtnWithColorKind::bkCustom);

    TBitBtnWithColor c;
    c.SetKind(TBitBtnWithColorKind::bkNo);
    EXPECT_TRUE(c.Cancel());
    EXPECT_FALSE(c.Default());
    EXPECT_EQ(c.ModalResult(), 7);
    c.SetModalResult(0);
    EXPECT_EQ(c.Kind(), TBitBtnWithColorKind::bkCustom);

    TBitBtnWithColor d;
    d.SetKind(TBitBtnWithColorKind::bkYes);
    d.SetDefault(false);
    EXPECT_EQ(d.Kind(), TBitBtnWithColorKind::bkCustom);

    TBitBtnWithColor e;
    e.SetKind(TBitBtnWithColorKind::bkAll);
    EXPECT_EQ(e.Glyph().size(), QSize(36, 19));
    EXPECT_EQ(e.NumGlyphs(), 2);  // 36 / 19 is no whole count; the kind sets two
    EXPECT_EQ(e.Kind(), TBitBtnWithColorKind::bkAll);
    e.SetGlyph(QImage());
    EXPECT_EQ(e.Kind(), TBitBtnWithColorKind::bkCustom);

    // Every kind has a caption and a two-image strip whose background is the olive corner.
    for (int k = 1; k <= int(TBitBtnWithColorKind::bkAll); ++k) {
        const auto kind = TBitBtnWithColorKind(k);
        EXPECT_FALSE(TBitBtnWithColor::KindCaption(kind).isEmpty());
        const QImage g = TBitBtnWithColor::KindGlyph(kind);
        EXPECT_EQ(g.width(), 36);
        EXPECT_EQ(g.pixelColor(0, g.height() - 1), C(clOlive));
    }
}

TEST(BitBtnWithColor, MarginNumGlyphsAndGlyphCount) {
    TBitBtnWithColor b;
    b.SetMargin(3);
    b.SetMargin(-2);
    EXPECT_EQ(b.Margin(), 3);
    b.SetMargin(-1);
    EXPECT_EQ(b.Margin(), -1);
    b.SetNumGlyphs(7);
    EXPECT_EQ(b.NumGlyphs(), 4);
    b.SetNumGlyphs(0);  // ignored by the holder
    EXPECT_EQ(b.NumGlyphs(), 4);
    b.SetGlyph(SolidGlyph(36, 18, Qt::blue, C(clOlive)));
    EXPECT_EQ(b.NumGlyphs(), 2);
    EXPECT_EQ(b.GlyphHolder().GlyphSize(), QSize(18, 18));
    b.SetGlyph(SolidGlyph(90, 18, Qt::blue, C(clOlive)));
    EXPECT_EQ(b.NumGlyphs(), 1);
    // Not a whole multiple: the count stays.
    b.SetNumGlyphs(3);
    b.SetGlyph(SolidGlyph(40, 18, Qt::blue, Qt::yellow));
    EXPECT_EQ(b.NumGlyphs(), 3);
    EXPECT_EQ(b.GlyphHolder().TransparentColor(), FromQColor(Qt::yellow));
    // A colour change keeps the count the caller chose.
    b.SetColor(clRed);
    EXPECT_EQ(b.NumGlyphs(), 3);
}

TEST(ButtonGlyph, StateImagesFollowTheStripAndTheFace) {
    // Strip of two 4 x 4 images: up is blue on olive, disabled has white, grey and black.
    QImage strip(8, 4, QImage::Format_RGB32);
    strip.fill(C(clOlive));
    strip.setPixelColor(1, 1, Qt::blue);
    strip.setPixelColor(5, 1, QColor(0xFF, 0xFF, 0xFF));
    strip.setPixelColor(6, 1, QColor(0x80, 0x80, 0x80));
    strip.setPixelColor(5, 2, Qt::black);
    TButtonGlyph g;
    g.SetGlyph(strip);
    ASSERT_EQ(g.NumGlyphs(), 2);
    g.CreateButtonGlyph(TButtonState::bsUp, clGreen);
    const QImage up = *g.StateImage(TButtonState::bsUp);
    EXPECT_EQ(up.pixelColor(0, 0), C(clGreen));
    EXPECT_EQ(up.pixelColor(1, 1), QColor(Qt::blue));
    g.CreateButtonGlyph(TButtonState::bsDisabled, clGreen);
    const QImage dis = *g.StateImage(TButtonState::bsDisabled);
    EXPECT_EQ(dis.pixelColor(0, 0), C(clGreen));
    EXPECT_EQ(dis.pixelColor(1, 1), C(clBtnHighlight));
    EXPECT_EQ(dis.pixelColor(2, 1), C(clBtnShadow));
    EXPECT_EQ(dis.pixelColor(1, 2), QColor(Qt::black));
    // Down uses image 0 with fewer than three images.
    g.CreateButtonGlyph(TButtonState::bsDown, clGreen);
    EXPECT_EQ(g.StateImage(TButtonState::bsDown)->pixelColor(1, 1), QColor(Qt::blue));
    // Exclusive keeps the transparent colour as a mask.
    g.CreateButtonGlyph(TButtonState::bsExclusive, clGreen);
    EXPECT_EQ(qAlpha(g.StateImage(TButtonState::bsExclusive)->pixel(0, 0)), 0);
    // Built once: asking again gives the same slot.
    const int slot = g.ImageIndex(TButtonState::bsUp);
    EXPECT_EQ(g.CreateButtonGlyph(TButtonState::bsUp, clRed), slot);
    // Discarding drops every state.
    g.Invalidate();
    EXPECT_EQ(g.StateImage(TButtonState::bsUp), nullptr);
    EXPECT_EQ(g.ImageIndex(TButtonState::bsDisabled), -1);
}

TEST(ButtonGlyph, SingleImageDisabledIsEmbossedSilhouette) {
    QImage img(8, 8, QImage::Format_RGB32);
    img.fill(C(clOlive));
    for (int y = 2; y < 4; ++y)
        for (int x = 2; x < 4; ++x)
            img.setPixelColor(x, y, Qt::black);
    img.setPixelColor(5, 5, Qt::white);  // white is no part of the silhouette
    TButtonGlyph g;
    g.SetGlyph(img);
    ASSERT_EQ(g.NumGlyphs(), 1);
    g.CreateButtonGlyph(TButtonState::bsDisabled, clRed);
    const QImage d = *g.StateImage(TButtonState::bsDisabled);
    EXPECT_EQ(d.pixelColor(2, 2), C(clBtnShadow));
    EXPECT_EQ(d.pixelColor(3, 3), C(clBtnShadow));
    EXPECT_EQ(d.pixelColor(4, 4), C(clBtnHighlight));
    EXPECT_EQ(d.pixelColor(4, 3), C(clBtnHighlight));
    EXPECT_EQ(d.pixelColor(4, 1), C(clRed));
    EXPECT_EQ(d.pixelColor(5, 5), C(clRed));
    EXPECT_EQ(d.pixelColor(6, 6), C(clRed));
}

TEST(ButtonGlyph, CacheSharesListsBySizeAndReusesSlots) {
    {
        TButtonGlyph a, b, c, other;
        ASSERT_NE(SharedGlyphCache(), nullptr);
        const QImage strip16 = SolidGlyph(32, 16, Qt::blue, C(clOlive));
        a.SetGlyph(strip16);
        b.SetGlyph(strip16);
        c.SetGlyph(strip16);
        other.SetGlyph(SolidGlyph(10, 10, Qt::blue, C(clOlive)));
        EXPECT_EQ(a.CreateButtonGlyph(TButtonState::bsUp, clGreen), 0);
        EXPECT_EQ(b.CreateButtonGlyph(TButtonState::bsUp, clGreen), 1);
        EXPECT_EQ(a.CreateButtonGlyph(TButtonState::bsDisabled, clGreen), 2);
        EXPECT_EQ(other.CreateButtonGlyph(TButtonState::bsUp, clGreen), 0);  // its own list
        EXPECT_EQ(a.List(), b.List());
        EXPECT_NE(a.List(), other.List());
        EXPECT_EQ(SharedGlyphCache()->ListCount(), 2);
        TGlyphList* list16 = a.List();
        // a's images are discarded: slots 0 and 2 are free; c takes the lowest.
        a.SetNumGlyphs(1);
        EXPECT_EQ(list16->Count(), 1);
        EXPECT_EQ(c.CreateButtonGlyph(TButtonState::bsUp, clGreen), 0);
        EXPECT_EQ(c.CreateButtonGlyph(TButtonState::bsDisabled, clGreen), 2);
        EXPECT_EQ(list16->Capacity(), 3);
        // The 10 x 10 list goes when its last slot is returned.
        other.Invalidate();
        EXPECT_EQ(SharedGlyphCache()->FindList(QSize(10, 10)), nullptr);
        EXPECT_EQ(SharedGlyphCache()->ListCount(), 1);
    }
    // Last holder gone with an empty cache: the cache is freed.
    EXPECT_EQ(SharedGlyphCache(), nullptr);
}

TEST(BitBtnWithColor, ColorChangeRebuildsImagesInTheNewColour) {
    ButtonHost h;
    h.button->setText(QString());
    h.button->SetColor(clGreen);
    h.button->SetGlyph(SolidGlyph(16, 16, Qt::red, C(clOlive)));
    Render(h.button);
    EXPECT_NE(h.button->GlyphHolder().ImageIndex(TButtonState::bsUp), -1);
    h.button->SetColor(clYellow);
    EXPECT_EQ(h.button->GlyphHolder().ImageIndex(TButtonState::bsUp), -1);
    EXPECT_EQ(Render(h.button).pixelColor(30, 20), C(clYellow));
}

TEST(BitBtnWithColor, MouseDownForAnyButtonAndClicks) {
    ButtonHost h;
    std::vector<Qt::MouseButton> downs;
    QPoint where;
    int clicks = 0;
    h.button->OnMouseDown = [&](TBitBtnWithColor* s, Qt::MouseButton b, Qt::KeyboardModifiers,
                                int x, int y) {
        EXPECT_EQ(s, h.button);
        downs.push_back(b);
        where = QPoint(x, y);
    };
    h.button->OnClick = [&](TBitBtnWithColor*) { ++clicks; };
    QTest::mouseClick(h.button, Qt::RightButton, {}, QPoint(10, 12));
    ASSERT_EQ(downs.size(), 1u);
    EXPECT_EQ(downs[0], Qt::RightButton);
    EXPECT_EQ(where, QPoint(10, 12));
    EXPECT_EQ(clicks, 0);  // right release is no click
    QTest::mouseClick(h.button, Qt::MiddleButton, {}, QPoint(10, 12));
    EXPECT_EQ(downs.back(), Qt::MiddleButton);
    QTest::mouseClick(h.button, Qt::LeftButton, {}, QPoint(10, 12));
    EXPECT_EQ(downs.back(), Qt::LeftButton);
    EXPECT_EQ(clicks, 1);
    // A double click counts as a second press.
    downs.clear();
    QTest::mouseDClick(h.button, Qt::LeftButton, {}, QPoint(10, 12));
    EXPECT_GE(downs.size(), 1u);
    // Keys on the focused button.
    clicks = 0;
    h.button->setFocus();
    QTest::keyClick(h.button, Qt::Key_Return);
    QTest::keyClick(h.button, Qt::Key_Enter, Qt::KeypadModifier);
    QTest::keyClick(h.button, Qt::Key_Space);
    EXPECT_EQ(clicks, 3);
}

TEST(BitBtnWithColor, MouseDownHandlerMayDisableTheButton) {
    // The run buttons act on the press and disable themselves: the release must not click.
    ButtonHost h;
    int clicks = 0;
    h.button->OnMouseDown = [&](TBitBtnWithColor* s, Qt::MouseButton, Qt::KeyboardModifiers, int,
                                int) { s->setEnabled(false); };
    h.button->OnClick = [&](TBitBtnWithColor*) { ++clicks; };
    QTest::mouseClick(h.button, Qt::LeftButton, {}, QPoint(10, 12));
    EXPECT_EQ(clicks, 0);
    EXPECT_FALSE(h.button->isDown());
}

TEST(BitBtnWithColor, HandlerErrorsAreReportedNotThrown) {
    ScopedDialogs dialogs;
    ButtonHost h;
    h.button->OnClick = [](TBitBtnWithColor*) { throw Exception(QStringLiteral("boom")); };
    QTest::mouseClick(h.button, Qt::LeftButton, {}, QPoint(10, 12));
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_EQ(dialogs.errors[0], QStringLiteral("boom"));
}

TEST(BitBtnWithColor, ModalResultClosesDialogAndCancelAnswersEsc) {
    QDialog dialog;
    auto* ok = new TBitBtnWithColor(&dialog);
    ok->SetKind(TBitBtnWithColorKind::bkOK);
    auto* cancel = new TBitBtnWithColor(&dialog);
    cancel->SetKind(TBitBtnWithColorKind::bkCancel);
    cancel->move(0, 30);
    int clicked = 0;
    ok->OnClick = [&](TBitBtnWithColor*) { ++clicked; };
    dialog.show();
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    // Focusing a button in a dialog moves Qt's default flag, not the button's Default.
    cancel->setFocus();
    EXPECT_EQ(cancel->Kind(), TBitBtnWithColorKind::bkCancel);
    EXPECT_FALSE(cancel->Default());
    QTest::mouseClick(ok, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(ok->Kind(), TBitBtnWithColorKind::bkOK);
    EXPECT_EQ(dialog.result(), 1);
    EXPECT_EQ(clicked, 1);
    EXPECT_FALSE(dialog.isVisible());

    dialog.show();
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    ok->setFocus();
    QTest::keyClick(ok, Qt::Key_Escape);
    EXPECT_EQ(dialog.result(), 2);
    EXPECT_FALSE(dialog.isVisible());
}

TEST(BitBtnWithColor, CloseKindClosesItsWindow) {
    QWidget window;
    auto* b = new TBitBtnWithColor(&window);
    b->SetKind(TBitBtnWithColorKind::bkClose);
    int clicked = 0;
    b->OnClick = [&](TBitBtnWithColor*) { ++clicked; };
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    b->click();
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(clicked, 0);
}

TEST(BitBtnWithColor, KindGlyphUsesItsDisabledImageWhenDisabled) {
    ButtonHost h;
    h.button->SetKind(TBitBtnWithColorKind::bkOK);
    h.button->SetColor(clYellow);
    const QImage up = Render(h.button);
    h.button->setEnabled(false);
    const QImage disabled = Render(h.button);
    QImage both(up.width(), up.height() * 2, QImage::Format_RGB32);
    {
        QPainter p(&both);
        p.drawImage(0, 0, up);
        p.drawImage(0, up.height(), disabled);
    }
    SaveShot(Big(both), QStringLiteral("button_kind_ok"));
    // The check mark sits left of the caption: green when enabled, grey when disabled.
    const QRect glyphArea(3, 3, 30, 19);
    EXPECT_FALSE(BoxOf(up, glyphArea, C(clGreen)).isEmpty());
    EXPECT_TRUE(BoxOf(disabled, glyphArea, C(clGreen)).isEmpty());
    EXPECT_FALSE(BoxOf(disabled, glyphArea, C(clBtnShadow)).isEmpty());
    // No olive background anywhere: it became the face colour.
    EXPECT_TRUE(BoxOf(up, QRect(0, 0, 75, 25), C(clOlive)).isEmpty());
}
