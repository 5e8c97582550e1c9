#pragma once

#include <QImage>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>

class TTimer;
class TButtonGlyph;

// A speed button (never takes the focus) that repeats its click while held: the first repeat
// 400 ms after the press, then every 100 ms, but only while the pointer stays on the button.
class TTimerSpeedButton : public QWidget {
    Q_OBJECT
public:
    explicit TTimerSpeedButton(QWidget* parent = nullptr);
    ~TTimerSpeedButton() override;

    const QImage& Glyph() const;
    void SetGlyph(const QImage& glyph);
    int NumGlyphs() const;
    void SetNumGlyphs(int n);

    // Draw the dotted focus rectangle (the pair shows which button Space would click).
    bool FocusFrame() const { return focusFrame_; }
    void SetFocusFrame(bool on);
    bool AllowTimer() const { return allowTimer_; }
    void SetAllowTimer(bool on) { allowTimer_ = on; }

    // Shown pressed (the pointer is on the button while it is held).
    bool IsDown() const { return down_; }
    // The repeat timer: nullptr until the first press.
    TTimer* RepeatTimer() const { return timer_; }

    // One click, as a release over the button or a repeat gives it.
    void Click();

    std::function<void(TTimerSpeedButton*)> OnClick;
    std::function<void(TTimerSpeedButton*, Qt::MouseButton)> OnMouseDown;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void TimerExpired();

    std::unique_ptr<TButtonGlyph> glyph_;
    TTimer* timer_ = nullptr;
    bool focusFrame_ = false;
    bool allowTimer_ = false;
    bool down_ = false;
    bool tracking_ = false;
};

// An up and a down button stacked in one control. Clicks (including repeats) raise OnUpClick
// and OnDownClick; with the focus, Space clicks the framed button and the arrow keys click theirs.
class TSpinButton : public QWidget {
    Q_OBJECT
public:
    explicit TSpinButton(QWidget* parent = nullptr);

    TTimerSpeedButton* UpButton() const { return up_; }
    TTimerSpeedButton* DownButton() const { return down_; }
    // The button that shows the focus frame while the pair has the focus.
    TTimerSpeedButton* FocusedButton() const { return focused_; }

    // The control a press on the buttons hands the focus to (not owned; cleared on destruction).
    QWidget* FocusControl() const { return focusControl_.data(); }
    void SetFocusControl(QWidget* w) { focusControl_ = w; }
    bool TabStop() const;
    void SetTabStop(bool on);

    const QImage& UpGlyph() const;
    void SetUpGlyph(const QImage& glyph);
    int UpNumGlyphs() const;
    void SetUpNumGlyphs(int n);
    const QImage& DownGlyph() const;
    void SetDownGlyph(const QImage& glyph);
    int DownNumGlyphs() const;
    void SetDownNumGlyphs(int n);

    // The built-in glyphs: a black triangle 7 x 4 centred in 9 x 6, on a transparent background.
    static QImage SpinUpGlyph();
    static QImage SpinDownGlyph();

    std::function<void(TSpinButton*)> OnUpClick;
    std::function<void(TSpinButton*)> OnDownClick;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void LayoutButtons();
    void BtnClick(TTimerSpeedButton* button);
    void BtnMouseDown(TTimerSpeedButton* button, Qt::MouseButton mb);
    void SetFocusBtn(TTimerSpeedButton* button);
    bool CanFocus() const;

    TTimerSpeedButton* up_;
    TTimerSpeedButton* down_;
    TTimerSpeedButton* focused_;
    QPointer<QWidget> focusControl_;
};
