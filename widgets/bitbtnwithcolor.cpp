#include "widgets/bitbtnwithcolor.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <array>

#include "platform/guard.h"
#include "widgets/edges.h"

namespace {

struct KindRow {
    bool isDefault;
    bool isCancel;
    int modalResult;
    const char* caption;
};

// Default, Cancel, ModalResult and caption of each kind, in the enumeration's order.
constexpr std::array<KindRow, 11> kKindRows{{
    {false, false, 0, ""},
    {true, false, 1, "OK"},
    {false, true, 2, "Cancel"},
    {false, false, 0, "&Help"},
    {true, false, 6, "&Yes"},
    {false, true, 7, "&No"},
    {false, false, 0, "&Close"},
    {false, false, 3, "Abort"},
    {false, false, 4, "&Retry"},
    {false, false, 5, "&Ignore"},
    {false, false, 8, "&All"},
}};

const KindRow& Row(TBitBtnWithColorKind kind) {
    return kKindRows[std::size_t(kind)];
}

QColor Q(TColor c) {
    return ToQColor(c);
}

// One picture of a kind, 18 pixels wide, on the olive background that becomes transparent.
void PaintKindPicture(QPainter& p, TBitBtnWithColorKind kind) {
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setBrush(Qt::NoBrush);
    auto pen = [&](TColor c, int w) {
        p.setPen(QPen(Q(c), w, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    };
    switch (kind) {
        case TBitBtnWithColorKind::bkCustom:
            break;
        case TBitBtnWithColorKind::bkOK:
        case TBitBtnWithColorKind::bkYes:
            pen(clGreen, 3);
            p.drawPolyline(QPolygon({QPoint(3, 9), QPoint(7, 13), QPoint(14, 4)}));
            break;
        case TBitBtnWithColorKind::bkCancel:
            pen(clRed, 3);
            p.drawLine(4, 4, 13, 13);
            p.drawLine(13, 4, 4, 13);
            break;
        case TBitBtnWithColorKind::bkHelp: {
            p.setPen(Q(clNavy));
            p.setBrush(Q(clBlue));
            p.drawEllipse(2, 2, 13, 13);
            pen(clWhite, 2);
            p.drawPolyline(QPolygon({QPoint(6, 6), QPoint(7, 5), QPoint(10, 5), QPoint(11, 6),
                                     QPoint(11, 7), QPoint(9, 9), QPoint(9, 10)}));
            p.fillRect(8, 12, 2, 2, Q(clWhite));
            break;
        }
        case TBitBtnWithColorKind::bkNo:
            pen(clRed, 2);
            p.drawEllipse(3, 3, 11, 11);
            p.drawLine(5, 12, 12, 5);
            break;
        case TBitBtnWithColorKind::bkClose:
            p.setPen(Q(clNavy));
            p.setBrush(Q(clTeal));
            p.drawRect(4, 2, 9, 13);
            p.fillRect(10, 8, 2, 2, Q(clYellow));
            break;
        case TBitBtnWithColorKind::bkAbort:
            p.setPen(Q(clMaroon));
            p.setBrush(Q(clRed));
            p.drawEllipse(2, 2, 13, 13);
            p.fillRect(5, 8, 8, 2, Q(clWhite));
            break;
        case TBitBtnWithColorKind::bkRetry:
            pen(clGreen, 2);
            p.drawArc(3, 3, 11, 11, 90 * 16, 270 * 16);
            p.setPen(Q(clGreen));
            p.setBrush(Q(clGreen));
            p.drawPolygon(QPolygon({QPoint(8, 0), QPoint(12, 3), QPoint(8, 6)}));
            break;
        case TBitBtnWithColorKind::bkIgnore:
            pen(clNavy, 2);
            p.drawLine(2, 9, 12, 9);
            p.setPen(Q(clNavy));
            p.setBrush(Q(clNavy));
            p.drawPolygon(QPolygon({QPoint(12, 5), QPoint(16, 9), QPoint(12, 13)}));
            break;
        case TBitBtnWithColorKind::bkAll:
            pen(clGreen, 2);
            p.drawPolyline(QPolygon({QPoint(1, 9), QPoint(4, 12), QPoint(9, 5)}));
            p.drawPolyline(QPolygon({QPoint(7, 9), QPoint(10, 12), QPoint(16, 4)}));
            break;
    }
}

// The kind's strip: the picture, then its disabled form (a white silhouette shifted by one
// pixel under a grey one, white details left open), both on olive.
QImage MakeKindGlyph(TBitBtnWithColorKind kind) {
    const int h = kind == TBitBtnWithColorKind::bkAll ? 19 : 18;
    const QColor olive = Q(clOlive);
    QImage picture(18, h, QImage::Format_RGB32);
    picture.fill(olive);
    {
        QPainter p(&picture);
        PaintKindPicture(p, kind);
    }
    QImage strip(36, h, QImage::Format_RGB32);
    strip.fill(olive);
    {
        QPainter p(&strip);
        p.drawImage(0, 0, picture);
    }
    auto inFigure = [&](int x, int y) {
        if (x < 0 || y < 0 || x >= 18 || y >= h) return false;
        const QColor c = picture.pixelColor(x, y);
        return c != olive && c != Q(clWhite);  // white details stay open in the silhouette
    };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < 18; ++x) {
            if (inFigure(x, y))
                strip.setPixelColor(18 + x, y, Q(clGray));
            else if (inFigure(x - 1, y - 1))
                strip.setPixelColor(18 + x, y, Q(clWhite));
        }
    return strip;
}

}  // namespace

TBitBtnWithColor::TBitBtnWithColor(QWidget* parent)
    : QPushButton(parent), glyph_(std::make_unique<TButtonGlyph>()) {
    glyph_->OnChange = [this] { update(); };
    resize(75, 25);
    connect(this, &QAbstractButton::clicked, this, [this] { Guarded([this] { HandleClick(); }); });
    connect(qApp, &QApplication::focusChanged, this,
            [this](QWidget*, QWidget* now) { FocusChanged(now); });
}

TBitBtnWithColor::~TBitBtnWithColor() = default;

void TBitBtnWithColor::SetColor(TColor color) {
    if (color == color_) return;
    color_ = color;
    // The built images carry the old face colour; they are made again in the new one. The
    // strip itself and its image count stay as they are.
    glyph_->Invalidate();
    glyphModified_ = true;
    update();
}

void TBitBtnWithColor::SetGlyph(const QImage& glyph) {
    glyph_->SetGlyph(glyph);
    glyphModified_ = true;
    update();
}

void TBitBtnWithColor::SetNumGlyphs(int n) {
    if (n > 4) n = 4;
    if (n == glyph_->NumGlyphs()) return;
    glyph_->SetNumGlyphs(n);
    update();
}

void TBitBtnWithColor::SetLayout(TButtonLayout layout) {
    if (layout == layout_) return;
    layout_ = layout;
    update();
}

void TBitBtnWithColor::SetMargin(int margin) {
    if (margin == margin_ || margin < -1) return;
    margin_ = margin;
    update();
}

void TBitBtnWithColor::SetSpacing(int spacing) {
    if (spacing == spacing_) return;
    spacing_ = spacing;
    update();
}

TBitBtnWithColorKind TBitBtnWithColor::Kind() const {
    if (kind_ != TBitBtnWithColorKind::bkCustom) {
        const KindRow& row = Row(kind_);
        if (default_ != row.isDefault || cancel_ != row.isCancel ||
            modalResult_ != row.modalResult || glyphModified_)
            kind_ = TBitBtnWithColorKind::bkCustom;
    }
    return kind_;
}

void TBitBtnWithColor::SetKind(TBitBtnWithColorKind kind) {
    if (kind == kind_) return;
    if (kind != TBitBtnWithColorKind::bkCustom) {
        const KindRow& row = Row(kind);
        SetDefault(row.isDefault);
        SetCancel(row.isCancel);
        setText(KindCaption(kind));
        modalResult_ = row.modalResult;
        SetGlyph(KindGlyph(kind));
        SetNumGlyphs(2);
        glyphModified_ = false;
    }
    kind_ = kind;
    update();
}

QString TBitBtnWithColor::KindCaption(TBitBtnWithColorKind kind) {
    return QString::fromLatin1(Row(kind).caption);
}

int TBitBtnWithColor::KindModalResult(TBitBtnWithColorKind kind) {
    return Row(kind).modalResult;
}

QImage TBitBtnWithColor::KindGlyph(TBitBtnWithColorKind kind) {
    // Painted on first use and kept, one per kind, for the life of the program.
    static std::array<QImage, 11> glyphs;
    if (kind == TBitBtnWithColorKind::bkCustom) return {};
    QImage& g = glyphs[std::size_t(kind)];
    if (g.isNull()) g = MakeKindGlyph(kind);
    return g;
}

void TBitBtnWithColor::SetDefault(bool value) {
    default_ = value;
    setDefault(value);
    QWidget* fw = window()->focusWidget();
    if (qobject_cast<QPushButton*>(fw))
        SetFocusedState(fw == this);
    else
        SetFocusedState(value);
}

void TBitBtnWithColor::SetCancel(bool value) {
    cancel_ = value;
    if (value && !cancelAction_) {
        cancelAction_ = new QAction(this);
        cancelAction_->setShortcut(QKeySequence(Qt::Key_Escape));
        cancelAction_->setShortcutContext(Qt::WindowShortcut);
        connect(cancelAction_, &QAction::triggered, this, [this] {
            if (isEnabled() && isVisible()) click();
        });
        addAction(cancelAction_);
    } else if (!value && cancelAction_) {
        removeAction(cancelAction_);
        delete cancelAction_;
        cancelAction_ = nullptr;
    }
}

void TBitBtnWithColor::FocusChanged(QWidget* now) {
    // Only a focus change inside this button's own window makes another button active.
    if (!now || now->window() != window()) return;
    if (qobject_cast<QPushButton*>(now))
        SetFocusedState(now == this);
    else
        SetFocusedState(default_);
}

void TBitBtnWithColor::SetFocusedState(bool focused) {
    if (focused == isFocused_) return;
    isFocused_ = focused;
    if (isVisible()) repaint();
}

void TBitBtnWithColor::HandleClick() {
    QWidget* form = window();
    if (kind_ == TBitBtnWithColorKind::bkClose && form) {
        form->close();
        return;
    }
    // Help kinds look for a help context up the parent chain; none exists in this program, so
    // they click like any other button.
    if (modalResult_ != 0)
        if (auto* dialog = qobject_cast<QDialog*>(form)) dialog->done(modalResult_);
    if (OnClick) OnClick(this);
}

TButtonState TBitBtnWithColor::DrawState() const {
    if (!isEnabled()) return TButtonState::bsDisabled;
    return isDown() ? TButtonState::bsDown : TButtonState::bsUp;
}

void TBitBtnWithColor::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect client = rect();
    QRect r = client;
    const bool down = isDown();
    const bool focusFlag = hasFocus();
    const TButtonState state = DrawState();

    if (isFocused_ || focusFlag) {
        DrawFrame(p, r, clWindowFrame);
        r.adjust(1, 1, -1, -1);
    }
    if (down) {
        DrawFrame(p, r, clBtnShadow);
        p.fillRect(r.adjusted(1, 1, -1, -1), Q(color_));
        r.adjust(1, 1, -1, -1);
    } else {
        DrawRaisedEdge(p, r);
        r.adjust(2, 2, -2, -2);
        p.fillRect(r, Q(color_));
        r.adjust(1, 1, -1, -1);
    }
    if (isFocused_) r = client.adjusted(1, 1, -1, -1);
    p.setFont(font());
    if (down) r.translate(1, 1);

    // Glyph and caption.
    const QString caption = text();
    const QSize glyphSize = glyph_->GlyphSize();
    QSize textSize(0, 0);
    if (!caption.isEmpty()) textSize = QFontMetrics(font()).size(Qt::TextShowMnemonic, caption);
    const TButtonLayoutResult lay =
        CalcButtonLayout(r, glyphSize, textSize, layout_, margin_, spacing_);

    if (glyphSize.width() > 0 && glyphSize.height() > 0) {
        glyph_->CreateButtonGlyph(state, color_);
        if (const QImage* img = glyph_->StateImage(state)) p.drawImage(lay.glyphPos, *img);
    }
    if (!caption.isEmpty()) {
        if (state == TButtonState::bsDisabled) {
            p.setPen(QColor(0xFF, 0xFF, 0xFF));
            p.drawText(lay.textRect.translated(1, 1), Qt::TextShowMnemonic, caption);
            p.setPen(QColor(0x80, 0x80, 0x80));
            p.drawText(lay.textRect, Qt::TextShowMnemonic, caption);
        } else {
            p.setPen(palette().color(QPalette::ButtonText));
            p.drawText(lay.textRect, Qt::AlignCenter | Qt::TextSingleLine | Qt::TextShowMnemonic,
                       caption);
        }
    }

    if (isFocused_) DrawFocusRect(p, client.adjusted(4, 4, -4, -4));
}

void TBitBtnWithColor::mousePressEvent(QMouseEvent* event) {
    QPointer<TBitBtnWithColor> self(this);
    QPushButton::mousePressEvent(event);
    if (!self || !isEnabled()) return;
    if (OnMouseDown) {
        const QPoint pos = event->position().toPoint();
        Guarded([&] { OnMouseDown(this, event->button(), event->modifiers(), pos.x(), pos.y()); });
    }
    // A press the button reacted to does not travel on to the parent.
    event->accept();
}

void TBitBtnWithColor::mouseDoubleClickEvent(QMouseEvent* event) {
    // A double click is a second press.
    mousePressEvent(event);
}

void TBitBtnWithColor::keyPressEvent(QKeyEvent* event) {
    const auto mods = event->modifiers() & ~Qt::KeypadModifier;
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        mods == Qt::NoModifier) {
        // Enter clicks the focused button, in dialogs and in the main window alike.
        click();
        event->accept();
        return;
    }
    QPushButton::keyPressEvent(event);
}

namespace {
// Window activation and popups move Qt's focus but are no change of the active control.
bool IsControlFocusChange(const QFocusEvent* e) {
    return e->reason() != Qt::ActiveWindowFocusReason && e->reason() != Qt::PopupFocusReason;
}
}  // namespace

void TBitBtnWithColor::focusInEvent(QFocusEvent* event) {
    QPushButton::focusInEvent(event);
    if (OnEnter && IsControlFocusChange(event)) Guarded([this] { OnEnter(this); });
}

void TBitBtnWithColor::focusOutEvent(QFocusEvent* event) {
    QPushButton::focusOutEvent(event);
    if (OnExit && IsControlFocusChange(event)) Guarded([this] { OnExit(this); });
}

void TBitBtnWithColor::showEvent(QShowEvent* event) {
    QPushButton::showEvent(event);
    // Build the image of the state it will show first, so the first paint does not have to.
    if (!glyph_->GlyphSize().isEmpty()) glyph_->CreateButtonGlyph(DrawState(), color_);
}
