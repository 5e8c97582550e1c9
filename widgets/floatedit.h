#pragma once

#include <QLineEdit>
#include <functional>

#include "widgets/floatkeyfilter.h"

class TSpinButton;

#include "widgets/alignment.h"

// A single-line edit for a number with a fixed number of decimals between two limits. Typed
// characters that would make the text unreadable or out of range are refused; what deletion or
// pasting leaves is checked when the focus leaves, which keeps the focus in the edit and restores
// the value it had on entry when the text is not a number within the limits.
class TCustomFloatEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TCustomFloatEdit(QWidget* parent = nullptr);

    int Digits() const { return digits_; }
    void SetDigits(int digits);
    Extended Min() const { return min_; }
    // Raises Exception when the value is above Max.
    void SetMin(Extended value);
    Extended Max() const { return max_; }
    // Raises Exception when the value is below Min.
    void SetMax(Extended value);
    // The regional decimal separator when the edit was made; never refreshed.
    QChar DecimalChar() const { return decimalChar_; }
    const QString& ErrorMessage() const { return errorMessage_; }
    void SetErrorMessage(const QString& text) { errorMessage_ = text; }
    // The value when the edit last received the focus.
    Extended EnterValue() const { return enterValue_; }
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment alignment);
    bool AutoSelect() const { return autoSelect_; }
    void SetAutoSelect(bool on) { autoSelect_ = on; }

    // The number shown, clamped into Min..Max; unreadable text reads as Min.
    Extended Value() const;
    // Clamps into the limits (showing ErrorMessage when it had to) and shows the value.
    void SetValue(Extended value);
    // The check made when the focus leaves, for a host that takes the value without the focus
    // leaving (a dialog's default button on Enter). False when the text was refused: the value
    // from focus entry is back, selected, and the focus is in the edit.
    bool CheckText() { return ExitCheck(); }

    // Values set between BeginLoading and EndLoading wait in PendingValue and are applied once,
    // against the final limits and decimals, whatever order the properties were set in.
    void BeginLoading() { loading_ = true; }
    void EndLoading();
    bool Loading() const { return loading_; }
    Extended PendingValue() const { return pendingValue_; }

    // Raised for Enter (and line feed); the key is then discarded.
    std::function<void(TCustomFloatEdit*, QChar& key)> OnEnterPress;
    // The edit's ordinary key events, raised as the key filter goes (see KeyPress).
    std::function<void(TCustomFloatEdit*, QChar& key)> OnKeyPress;
    std::function<void(TCustomFloatEdit*, int& key, Qt::KeyboardModifiers)> OnKeyDown;
    std::function<void(TCustomFloatEdit*)> OnChange;
    std::function<void(TCustomFloatEdit*)> OnEnter;
    // Not raised when the exit check fails: the focus then stays in the edit.
    std::function<void(TCustomFloatEdit*)> OnExit;

protected:
    // One typed character through the key filter; a null key afterwards means "discarded".
    virtual void KeyPress(QChar& key);
    // A key going down; setting it to 0 discards the edit's own handling of it.
    virtual void KeyDown(int& key, Qt::KeyboardModifiers modifiers);
    // Whether a cut or paste request (and the menu's other text changes) reaches the edit.
    virtual bool ClipboardEditAllowed() const { return !isReadOnly(); }

    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

    void ShowError();

private:
    void RaiseKeyPress(QChar& key);
    void TypeChar(QChar key, bool keyDownDiscarded, QKeyEvent* original);
    // The focus-exit check; false when the focus was taken back.
    bool ExitCheck();

    int digits_ = 1;
    Extended min_ = 0;
    Extended max_ = 100;
    QChar decimalChar_;
    QString errorMessage_;
    Extended enterValue_ = 0;
    TAlignment alignment_ = TAlignment::taRightJustify;
    Extended pendingValue_ = 0;
    bool loading_ = false;
    bool autoSelect_ = true;
    bool refocusing_ = false;
    bool hasEntered_ = false;
};

// The float edit with a pair of up/down buttons inside its right edge that step the value by
// Increment (auto-repeating while held), and the arrow keys doing the same.
class TSpinFloatEdit : public TCustomFloatEdit {
    Q_OBJECT
public:
    explicit TSpinFloatEdit(QWidget* parent = nullptr);

    Extended Increment() const { return increment_; }
    void SetIncrement(Extended value) { increment_ = value; }
    // When false only the buttons change the value: typed keys are discarded.
    bool EditorEnabled() const { return editorEnabled_; }
    void SetEditorEnabled(bool on) { editorEnabled_ = on; }
    TSpinButton* Button() const { return button_; }

    // The smallest height that fits the font; a lower height is raised to it.
    int MinEditHeight() const;

    virtual void StepUp();
    virtual void StepDown();

    // When set, replaces the built-in step; bIncrement is true for up.
    std::function<void(TSpinFloatEdit*, bool bIncrement)> OnComputedIncrement;

protected:
    void KeyPress(QChar& key) override;
    void KeyDown(int& key, Qt::KeyboardModifiers modifiers) override;
    bool ClipboardEditAllowed() const override { return editorEnabled_ && !isReadOnly(); }
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void Step(bool up);
    void PlaceButton();

    TSpinButton* button_;
    Extended increment_ = 1.0L;
    bool editorEnabled_ = true;
};
