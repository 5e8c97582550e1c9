#include "widgets/floatedit.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLocale>
#include <QMenu>
#include <QPointer>
#include <QStyle>
#include <QStyleOptionFrame>
#include <algorithm>

#include "platform/dialogs.h"
#include "platform/exception.h"
#include "platform/guard.h"
#include "widgets/spin.h"

namespace {

Qt::Alignment ToQt(TAlignment a) {
    switch (a) {
        case TAlignment::taLeftJustify:
            return Qt::AlignLeft | Qt::AlignVCenter;
        case TAlignment::taCenter:
            return Qt::AlignHCenter | Qt::AlignVCenter;
        case TAlignment::taRightJustify:
            break;
    }
    return Qt::AlignRight | Qt::AlignVCenter;
}

// Window activation and popups move Qt's focus, but the active control of the form stays the
// same: no enter or exit processing for them.
bool IsControlFocusChange(const QFocusEvent* e) {
    return e->reason() != Qt::ActiveWindowFocusReason && e->reason() != Qt::PopupFocusReason;
}

// The character a key event types, as the key filter sees it: Enter, Esc and Backspace as
// control characters, Ctrl+letter as its control code. Null for keys that type nothing
// (navigation, Delete, function keys) and for Alt combinations, which are menu keys.
QChar TypedChar(const QKeyEvent* e) {
    switch (e->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return QLatin1Char('\r');
        case Qt::Key_Escape:
            return QChar(0x1B);
        case Qt::Key_Backspace:
            return QChar(0x08);
        default:
            break;
    }
    const auto mods = e->modifiers();
    if (mods & Qt::AltModifier) return {};
    if (mods & (Qt::ControlModifier | Qt::MetaModifier)) {
        if (e->key() >= Qt::Key_A && e->key() <= Qt::Key_Z)
            return QChar(char16_t(e->key() - Qt::Key_A + 1));
        return {};
    }
    const QString text = e->text();
    if (text.size() != 1) return {};
    const QChar c = text[0];
    if (c.unicode() < 0x20) return c;
    return c.isPrint() ? c : QChar();
}

}  // namespace

// ---- TCustomFloatEdit ----

TCustomFloatEdit::TCustomFloatEdit(QWidget* parent) : QLineEdit(parent) {
    const QString sep = QLocale().decimalPoint();
    decimalChar_ = sep.isEmpty() ? QLatin1Char('.') : sep[0];
    setAlignment(ToQt(alignment_));
    // Dropped text would bypass the key filter like a paste; the edit takes none.
    setAcceptDrops(false);
    setText(FloatToText(min_, digits_, decimalChar_));
    connect(this, &QLineEdit::textChanged, this, [this] {
        if (OnChange) Guarded([this] { OnChange(this); });
    });
}

void TCustomFloatEdit::SetDigits(int digits) {
    if (digits == digits_) return;
    digits_ = std::clamp(digits, 0, 18);
    SetValue(Value());
}

void TCustomFloatEdit::SetMin(Extended value) {
    if (value == min_) return;
    if (!(value <= max_))
        throw Exception(QStringLiteral("Minimum value must not be greater than maximum value !"));
    min_ = value;
    SetValue(Value());
}

void TCustomFloatEdit::SetMax(Extended value) {
    if (value == max_) return;
    if (!(value >= min_))
        throw Exception(QStringLiteral("Maximum value must not be less than minimum value !"));
    max_ = value;
    SetValue(Value());
}

void TCustomFloatEdit::SetAlignment(TAlignment alignment) {
    if (alignment == alignment_) return;
    alignment_ = alignment;
    setAlignment(ToQt(alignment));
}

Extended TCustomFloatEdit::Value() const {
    if (loading_) return pendingValue_;
    QString t = text();
    if (t == QLatin1String("-") || (t.size() == 1 && t[0] == decimalChar_) || t.isEmpty() ||
        t == QLatin1String("E"))
        t = QStringLiteral("0");
    const auto v = TextToFloat(t, decimalChar_);
    Extended x = v ? *v : min_;
    if (x < min_) x = min_;
    if (x > max_) x = max_;
    return x;
}

void TCustomFloatEdit::SetValue(Extended value) {
    if (loading_) {
        pendingValue_ = value;
        return;
    }
    if (!(value <= max_)) {  // also for a value that does not compare (NaN)
        ShowError();
        value = max_;
    }
    if (value < min_) {
        ShowError();
        value = min_;
    }
    setText(FloatToText(value, digits_, decimalChar_));
}

void TCustomFloatEdit::EndLoading() {
    loading_ = false;
    SetValue(pendingValue_);
}

void TCustomFloatEdit::ShowError() {
    if (!errorMessage_.isEmpty()) Dialogs().Error(this, errorMessage_);
}

void TCustomFloatEdit::RaiseKeyPress(QChar& key) {
    if (OnKeyPress) OnKeyPress(this, key);
}

void TCustomFloatEdit::KeyDown(int& key, Qt::KeyboardModifiers modifiers) {
    if (OnKeyDown) OnKeyDown(this, key, modifiers);
}

void TCustomFloatEdit::KeyPress(QChar& key) {
    TFloatKeyInput in;
    in.text = text();
    if (hasSelectedText()) {
        in.selStart = selectionStart();
        in.selLength = int(selectedText().size());
    } else {
        in.selStart = cursorPosition();
        in.selLength = 0;
    }
    in.key = key;
    in.min = min_;
    in.max = max_;
    in.digits = digits_;
    in.decimalChar = decimalChar_;
    const TFloatKeyDecision d = DecideFloatKey(in);
    switch (d.action) {
        case TFloatKeyAction::EnterPress:
            if (OnEnterPress) OnEnterPress(this, key);
            key = QChar();
            return;
        case TFloatKeyAction::Escape:
            SetValue(enterValue_);
            selectAll();
            key = QChar();
            RaiseKeyPress(key);
            return;
        case TFloatKeyAction::PassControl:
        case TFloatKeyAction::Accept:
            RaiseKeyPress(key);
            return;
        case TFloatKeyAction::Refuse:
            RaiseKeyPress(key);
            key = QChar();
            return;
        case TFloatKeyAction::MinusZero:
        case TFloatKeyAction::SeparatorZero:
            RaiseKeyPress(key);
            key = QChar();
            // A read-only edit keeps its text whatever is typed.
            if (!isReadOnly()) {
                setText(d.text);
                setSelection(d.selStart, d.selLength);
            }
            return;
    }
}

void TCustomFloatEdit::TypeChar(QChar typed, bool keyDownDiscarded, QKeyEvent* original) {
    QChar key = typed;
    KeyPress(key);
    if (key.isNull()) {
        // Enter and Esc are consumed here but still reach the dialog's default and cancel
        // buttons, as a plain edit lets them.
        if (original) {
            if (typed == QLatin1Char('\r') || typed == QChar(0x1B))
                original->ignore();
            else
                original->accept();
        }
        return;
    }
    if (key.unicode() < 0x20) {
        // Backspace and the clipboard and selection shortcuts: the edit's own handling.
        if (!original || keyDownDiscarded) return;
        if ((original->matches(QKeySequence::Paste) || original->matches(QKeySequence::Cut)) &&
            !ClipboardEditAllowed()) {
            original->accept();
            return;
        }
        QLineEdit::keyPressEvent(original);
        return;
    }
    if (original) original->accept();
    if (!isReadOnly()) insert(QString(key));
}

void TCustomFloatEdit::keyPressEvent(QKeyEvent* event) {
    Guarded([&] {
        QPointer<TCustomFloatEdit> self(this);
        int key = event->key();
        KeyDown(key, event->modifiers());
        if (!self) return;
        const bool discarded = key == 0;
        const QChar typed = TypedChar(event);
        if (!typed.isNull()) {
            TypeChar(typed, discarded, event);
            return;
        }
        if (discarded) {
            event->accept();
            return;
        }
        if ((event->matches(QKeySequence::Paste) || event->matches(QKeySequence::Cut)) &&
            !ClipboardEditAllowed()) {
            event->accept();
            return;
        }
        // The arrows up and down have no meaning on one line.
        if (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down) {
            event->accept();
            return;
        }
        // Keys with printable text that type nothing here (Alt combinations) must not reach the
        // line edit, which would insert them unfiltered.
        const QString text = event->text();
        if (!text.isEmpty() && text[0].isPrint()) {
            event->ignore();
            return;
        }
        QLineEdit::keyPressEvent(event);
    });
}

void TCustomFloatEdit::inputMethodEvent(QInputMethodEvent* event) {
    const QString commit = event->commitString();
    if (commit.isEmpty()) {
        QLineEdit::inputMethodEvent(event);
        return;
    }
    // Composed characters go through the key filter one by one, as typed ones do.
    QInputMethodEvent noCommit(event->preeditString(), event->attributes());
    QLineEdit::inputMethodEvent(&noCommit);
    Guarded([&] {
        for (QChar c : commit)
            TypeChar(c, false, nullptr);
    });
    event->accept();
}

void TCustomFloatEdit::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    hasEntered_ = true;
    if (!IsControlFocusChange(event) || refocusing_) return;
    // Select all on entry; a press inside the edit then places the cursor where it went down,
    // so only focus from the keyboard or from the spin buttons keeps the whole text selected.
    if (autoSelect_)
        selectAll();
    else if (hasSelectedText())
        deselect();
    Guarded([this] {
        enterValue_ = Value();
        if (OnEnter) OnEnter(this);
    });
}

void TCustomFloatEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    if (!IsControlFocusChange(event) || refocusing_) return;
    // While another control takes its focus back, Qt may hand this edit a focus-out it never
    // had the focus for: there is nothing to check or leave then.
    if (!hasEntered_) return;
    hasEntered_ = false;
    bool passed = true;
    Guarded([&] { passed = ExitCheck(); });
    if (passed && OnExit) Guarded([this] { OnExit(this); });
}

bool TCustomFloatEdit::ExitCheck() {
    QString t = text();
    if (t.isEmpty()) t = FloatToText(min_, digits_, decimalChar_);
    const auto v = TextToFloat(t, decimalChar_);
    if (!v || *v < min_ || *v > max_) {
        ShowError();
        SetValue(enterValue_);
        selectAll();
        if (!hasFocus()) {
            refocusing_ = true;
            setFocus(Qt::OtherFocusReason);
            refocusing_ = false;
        }
        return false;
    }
    setText(FloatToText(*v, digits_, decimalChar_));
    SetValue(Value());
    return true;
}

void TCustomFloatEdit::mouseReleaseEvent(QMouseEvent* event) {
    // The middle button pastes the selection on X11: the same rule as any paste.
    if (event->button() == Qt::MiddleButton && !ClipboardEditAllowed()) {
        event->accept();
        return;
    }
    QLineEdit::mouseReleaseEvent(event);
}

void TCustomFloatEdit::contextMenuEvent(QContextMenuEvent* event) {
    // The edit's own menu, so that every entry that changes the text obeys the same rule as
    // the clipboard keys.
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const bool editable = ClipboardEditAllowed();
    const bool selection = hasSelectedText();
    auto add = [&](const char* name, const QString& text, QKeySequence::StandardKey key,
                   bool enabled, const std::function<void()>& slot) {
        QString caption = text;
        const QString shortcut = QKeySequence(key).toString(QKeySequence::NativeText);
        if (!shortcut.isEmpty()) caption += QLatin1Char('\t') + shortcut;
        QAction* a = menu->addAction(caption);
        a->setObjectName(QLatin1String(name));
        a->setEnabled(enabled);
        connect(a, &QAction::triggered, this, [slot] { slot(); });
    };
    add("edit-undo", tr("&Undo"), QKeySequence::Undo, editable && isUndoAvailable(),
        [this] { undo(); });
    add("edit-redo", tr("&Redo"), QKeySequence::Redo, editable && isRedoAvailable(),
        [this] { redo(); });
    menu->addSeparator();
    add("edit-cut", tr("Cu&t"), QKeySequence::Cut, editable && selection, [this] { cut(); });
    add("edit-copy", tr("&Copy"), QKeySequence::Copy, selection, [this] { copy(); });
    add("edit-paste", tr("&Paste"), QKeySequence::Paste,
        editable && !QGuiApplication::clipboard()->text().isEmpty(), [this] { paste(); });
    add("edit-delete", tr("Delete"), QKeySequence::UnknownKey, editable && selection,
        [this] { del(); });
    menu->addSeparator();
    add("select-all", tr("Select All"), QKeySequence::SelectAll,
        !text().isEmpty() && selectedText().size() != text().size(), [this] { selectAll(); });
    menu->popup(event->globalPos());
}

// ---- TSpinFloatEdit ----

TSpinFloatEdit::TSpinFloatEdit(QWidget* parent) : TCustomFloatEdit(parent) {
    button_ = new TSpinButton(this);
    button_->resize(15, 17);
    button_->SetFocusControl(this);
    button_->OnUpClick = [this](TSpinButton*) { StepUp(); };
    button_->OnDownClick = [this](TSpinButton*) { StepDown(); };
    resize(121, std::max(21, MinEditHeight()));
    PlaceButton();
}

int TSpinFloatEdit::MinEditHeight() const {
    const int h = QFontMetrics(font()).height();
    const int hs = QFontMetrics(QApplication::font()).height();
    constexpr int kBorderHeight = 1;
    return h + std::min(hs, h) / 4 + 4 * kBorderHeight + 2;
}

void TSpinFloatEdit::StepUp() {
    Step(true);
}
void TSpinFloatEdit::StepDown() {
    Step(false);
}

void TSpinFloatEdit::Step(bool up) {
    if (isReadOnly()) {
        Dialogs().Beep();
        return;
    }
    if (OnComputedIncrement) {
        OnComputedIncrement(this, up);
        return;
    }
    SetValue(up ? Value() + increment_ : Value() - increment_);
}

void TSpinFloatEdit::KeyPress(QChar& key) {
    TCustomFloatEdit::KeyPress(key);
    if (!editorEnabled_) key = QChar();
}

void TSpinFloatEdit::KeyDown(int& key, Qt::KeyboardModifiers modifiers) {
    if (!editorEnabled_) key = 0;
    if (key == Qt::Key_Up)
        StepUp();
    else if (key == Qt::Key_Down)
        StepDown();
    TCustomFloatEdit::KeyDown(key, modifiers);
}

void TSpinFloatEdit::PlaceButton() {
    const int bw = button_->width();
    if (hasFrame()) {
        // Inside the border, flush with its top, one pixel clear of its right and bottom
        // (with the classic two-pixel border: x = width - bw - 5, height - 5 in client terms).
        QStyleOptionFrame opt;
        initStyleOption(&opt);
        const int b = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &opt, this);
        button_->setGeometry(width() - b - bw - 1, b, bw, height() - 2 * b - 1);
    } else {
        button_->setGeometry(width() - bw, 1, bw, height() - 3);
    }
    // The text ends short of the buttons.
    setTextMargins(0, 0, bw + 2, 0);
}

void TSpinFloatEdit::resizeEvent(QResizeEvent* event) {
    TCustomFloatEdit::resizeEvent(event);
    const int minHeight = MinEditHeight();
    if (height() < minHeight) resize(width(), minHeight);
    PlaceButton();
}

void TSpinFloatEdit::changeEvent(QEvent* event) {
    TCustomFloatEdit::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        if (height() < MinEditHeight()) resize(width(), MinEditHeight());
        PlaceButton();
    }
}
