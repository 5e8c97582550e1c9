#pragma once

#include <QImage>
#include <QPushButton>
#include <functional>
#include <memory>

#include "platform/tcolor.h"
#include "widgets/buttonglyph.h"
#include "widgets/buttonlayout.h"

class QAction;

enum class TBitBtnWithColorKind {
    bkCustom,
    bkOK,
    bkCancel,
    bkHelp,
    bkYes,
    bkNo,
    bkClose,
    bkAbort,
    bkRetry,
    bkIgnore,
    bkAll
};

// A push button that paints itself with a face colour of its own (Color) and an optional glyph
// beside its caption. Everything the system would paint in the button-face colour is painted in
// Color: the face, the glyph backgrounds and the fill behind the glyph.
class TBitBtnWithColor : public QPushButton {
    Q_OBJECT
public:
    explicit TBitBtnWithColor(QWidget* parent = nullptr);
    ~TBitBtnWithColor() override;

    TColor Color() const { return color_; }
    void SetColor(TColor color);
    const QImage& Glyph() const { return glyph_->Glyph(); }
    void SetGlyph(const QImage& glyph);
    int NumGlyphs() const { return glyph_->NumGlyphs(); }
    void SetNumGlyphs(int n);
    TButtonLayout Layout() const { return layout_; }
    void SetLayout(TButtonLayout layout);
    int Margin() const { return margin_; }
    void SetMargin(int margin);
    int Spacing() const { return spacing_; }
    void SetSpacing(int spacing);
    // Reads back as bkCustom once Default, Cancel, ModalResult or the glyph no longer match the
    // kind that was set.
    TBitBtnWithColorKind Kind() const;
    void SetKind(TBitBtnWithColorKind kind);

    QString Caption() const { return text(); }
    void SetCaption(const QString& caption) { setText(caption); }
    // Kept apart from Qt's own default flag, which a dialog moves to whichever auto-default
    // button has the focus.
    bool Default() const { return default_; }
    void SetDefault(bool value);
    // A cancel button is clicked by Esc anywhere in its window.
    bool Cancel() const { return cancel_; }
    void SetCancel(bool value);
    // Given to the surrounding dialog when the button is clicked (0 = none).
    int ModalResult() const { return modalResult_; }
    void SetModalResult(int value) { modalResult_ = value; }

    // The button is the active one of its window: it has the focus, or it is the default button
    // while no other push button has it.
    bool IsFocused() const { return isFocused_; }

    const TButtonGlyph& GlyphHolder() const { return *glyph_; }

    // A kind's default caption and its glyph strip (two 18-pixel images: up, disabled).
    static QString KindCaption(TBitBtnWithColorKind kind);
    static QImage KindGlyph(TBitBtnWithColorKind kind);
    static int KindModalResult(TBitBtnWithColorKind kind);

    // Any mouse button pressed on the enabled button (after it took the focus and shows pressed).
    std::function<void(TBitBtnWithColor*, Qt::MouseButton, Qt::KeyboardModifiers, int x, int y)>
        OnMouseDown;
    // A click: left release on the button, Space, or Enter while it has the focus.
    std::function<void(TBitBtnWithColor*)> OnClick;
    std::function<void(TBitBtnWithColor*)> OnEnter;
    std::function<void(TBitBtnWithColor*)> OnExit;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void HandleClick();
    void FocusChanged(QWidget* now);
    void SetFocusedState(bool focused);
    TButtonState DrawState() const;

    std::unique_ptr<TButtonGlyph> glyph_;
    TColor color_ = clBtnFace;
    TButtonLayout layout_ = TButtonLayout::blGlyphLeft;
    int margin_ = -1;
    int spacing_ = 4;
    mutable TBitBtnWithColorKind kind_ = TBitBtnWithColorKind::bkCustom;
    bool glyphModified_ = false;
    bool default_ = false;
    bool cancel_ = false;
    int modalResult_ = 0;
    bool isFocused_ = false;
    QAction* cancelAction_ = nullptr;
};
