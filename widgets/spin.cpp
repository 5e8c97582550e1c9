#include "widgets/spin.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>

#include "platform/guard.h"
#include "platform/ttimer.h"
#include "widgets/buttonglyph.h"
#include "widgets/edges.h"

namespace {

constexpr int kInitRepeatPause = 400;
constexpr int kRepeatPause = 100;

QImage Triangle(bool up) {
    // Olive in the bottom-left corner makes the background the transparent colour.
    QImage img(9, 6, QImage::Format_RGB32);
    img.fill(ToQColor(clOlive));
    for (int row = 0; row < 4; ++row) {
        const int halfWidth = up ? row : 3 - row;
        for (int x = 4 - halfWidth; x <= 4 + halfWidth; ++x)
            img.setPixelColor(x, 1 + row, Qt::black);
    }
    return img;
}

}  // namespace

// ---- TTimerSpeedButton ----

TTimerSpeedButton::TTimerSpeedButton(QWidget* parent)
    : QWidget(parent), glyph_(std::make_unique<TButtonGlyph>()) {
    glyph_->OnChange = [this] { update(); };
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

TTimerSpeedButton::~TTimerSpeedButton() = default;

const QImage& TTimerSpeedButton::Glyph() const {
    return glyph_->Glyph();
}
void TTimerSpeedButton::SetGlyph(const QImage& glyph) {
    glyph_->SetGlyph(glyph);
}
int TTimerSpeedButton::NumGlyphs() const {
    return glyph_->NumGlyphs();
}
void TTimerSpeedButton::SetNumGlyphs(int n) {
    glyph_->SetNumGlyphs(n > 4 ? 4 : n);
}

void TTimerSpeedButton::SetFocusFrame(bool on) {
    if (on == focusFrame_) return;
    focusFrame_ = on;
    if (isVisible()) repaint();
}

void TTimerSpeedButton::Click() {
    if (OnClick) OnClick(this);
}

void TTimerSpeedButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !isEnabled()) {
        QWidget::mousePressEvent(event);
        return;
    }
    QPointer<TTimerSpeedButton> self(this);
    tracking_ = true;
    down_ = true;
    repaint();
    if (OnMouseDown) Guarded([&] { OnMouseDown(this, event->button()); });
    if (!self) return;
    if (allowTimer_) {
        if (!timer_) {
            timer_ = new TTimer(this, kInitRepeatPause, false);
            timer_->OnTimer = [this](TTimer*) { TimerExpired(); };
        }
        // Restart: every press waits the full initial pause.
        timer_->SetEnabled(false);
        timer_->SetInterval(kInitRepeatPause);
        timer_->SetEnabled(true);
    }
}

void TTimerSpeedButton::mouseMoveEvent(QMouseEvent* event) {
    if (!tracking_) return;
    const bool over = rect().contains(event->position().toPoint());
    if (over != down_) {
        down_ = over;
        repaint();
    }
}

void TTimerSpeedButton::mouseReleaseEvent(QMouseEvent* event) {
    QPointer<TTimerSpeedButton> self(this);
    if (event->button() == Qt::LeftButton && tracking_) {
        tracking_ = false;
        const bool click = down_;
        down_ = false;
        repaint();
        if (click) Guarded([this] { Click(); });
    }
    if (self && timer_) timer_->SetEnabled(false);
}

void TTimerSpeedButton::TimerExpired() {
    timer_->SetInterval(kRepeatPause);
    if (down_ && tracking_) {
        try {
            Click();
        } catch (...) {
            timer_->SetEnabled(false);
            throw;
        }
    }
}

void TTimerSpeedButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect r = rect();
    p.fillRect(r, ToQColor(clBtnFace));
    if (down_)
        DrawSunkenEdge(p, r);
    else
        DrawButtonEdge(p, r);
    const QSize g = glyph_->GlyphSize();
    if (!g.isEmpty()) {
        const TButtonState state = !isEnabled() ? TButtonState::bsDisabled
                                   : down_      ? TButtonState::bsDown
                                                : TButtonState::bsUp;
        glyph_->CreateButtonGlyph(state, clBtnFace);
        QPoint at((r.width() - g.width() + 1) / 2, (r.height() - g.height() + 1) / 2);
        if (down_) at += QPoint(1, 1);
        if (const QImage* img = glyph_->StateImage(state)) p.drawImage(at, *img);
    }
    if (focusFrame_) {
        QRect f = r.adjusted(3, 3, -3, -3);
        if (down_) f.translate(1, 1);
        DrawFocusRect(p, f);
    }
}

// ---- TSpinButton ----

TSpinButton::TSpinButton(QWidget* parent) : QWidget(parent) {
    up_ = new TTimerSpeedButton(this);
    down_ = new TTimerSpeedButton(this);
    focused_ = up_;
    for (TTimerSpeedButton* b : {up_, down_}) {
        b->SetAllowTimer(true);
        b->SetNumGlyphs(1);
        b->OnClick = [this](TTimerSpeedButton* s) { BtnClick(s); };
        b->OnMouseDown = [this](TTimerSpeedButton* s, Qt::MouseButton mb) { BtnMouseDown(s, mb); };
    }
    up_->SetGlyph(SpinUpGlyph());
    down_->SetGlyph(SpinDownGlyph());
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::ArrowCursor);
    resize(20, 25);
    LayoutButtons();
}

QImage TSpinButton::SpinUpGlyph() {
    static const QImage img = Triangle(true);
    return img;
}

QImage TSpinButton::SpinDownGlyph() {
    static const QImage img = Triangle(false);
    return img;
}

const QImage& TSpinButton::UpGlyph() const {
    return up_->Glyph();
}
const QImage& TSpinButton::DownGlyph() const {
    return down_->Glyph();
}
int TSpinButton::UpNumGlyphs() const {
    return up_->NumGlyphs();
}
int TSpinButton::DownNumGlyphs() const {
    return down_->NumGlyphs();
}
void TSpinButton::SetUpNumGlyphs(int n) {
    up_->SetNumGlyphs(n);
}
void TSpinButton::SetDownNumGlyphs(int n) {
    down_->SetNumGlyphs(n);
}

void TSpinButton::SetUpGlyph(const QImage& glyph) {
    // An empty image brings the built-in triangle back.
    up_->SetGlyph(glyph.isNull() ? SpinUpGlyph() : glyph);
    if (glyph.isNull()) up_->SetNumGlyphs(1);
}

void TSpinButton::SetDownGlyph(const QImage& glyph) {
    down_->SetGlyph(glyph.isNull() ? SpinDownGlyph() : glyph);
    if (glyph.isNull()) down_->SetNumGlyphs(1);
}

bool TSpinButton::TabStop() const {
    return focusPolicy() & Qt::TabFocus;
}

void TSpinButton::SetTabStop(bool on) {
    setFocusPolicy(on ? Qt::StrongFocus : Qt::NoFocus);
}

bool TSpinButton::CanFocus() const {
    return isVisible() && isEnabled();
}

void TSpinButton::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (width() < 15) {
        resize(15, height());
        return;
    }
    LayoutButtons();
}

void TSpinButton::LayoutButtons() {
    const int w = width();
    const int h = height();
    const int upHeight = h / 2;
    up_->setGeometry(0, 0, w, upHeight);
    // The down button overlaps the up button's last row.
    down_->setGeometry(0, upHeight - 1, w, h - upHeight + 1);
}

void TSpinButton::BtnClick(TTimerSpeedButton* button) {
    if (button == up_) {
        if (OnUpClick) OnUpClick(this);
    } else if (OnDownClick) {
        OnDownClick(this);
    }
}

void TSpinButton::SetFocusBtn(TTimerSpeedButton* button) {
    if (!TabStop() || !CanFocus() || button == focused_) return;
    focused_->SetFocusFrame(false);
    focused_ = button;
    if (hasFocus()) focused_->SetFocusFrame(true);
}

void TSpinButton::BtnMouseDown(TTimerSpeedButton* button, Qt::MouseButton mb) {
    if (mb != Qt::LeftButton) return;
    SetFocusBtn(button);
    QWidget* fc = focusControl_.data();
    if (fc && (fc->focusPolicy() & Qt::TabFocus) && fc->isVisible() && fc->isEnabled() &&
        !fc->hasFocus()) {
        fc->setFocus(Qt::MouseFocusReason);
        return;
    }
    if (TabStop() && !hasFocus() && CanFocus()) setFocus(Qt::MouseFocusReason);
}

void TSpinButton::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Space:
            Guarded([this] { focused_->Click(); });
            break;
        case Qt::Key_Up:
            SetFocusBtn(up_);
            Guarded([this] { up_->Click(); });
            break;
        case Qt::Key_Down:
            SetFocusBtn(down_);
            Guarded([this] { down_->Click(); });
            break;
        default:
            QWidget::keyPressEvent(event);
            return;
    }
    event->accept();
}

void TSpinButton::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    focused_->SetFocusFrame(true);
}

void TSpinButton::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    focused_->SetFocusFrame(false);
}
