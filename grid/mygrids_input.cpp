// Keyboard, mouse, focus and in-place editing of the grid base.
#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <algorithm>

#include "grid/mygrids.h"

namespace {
// Half width of the zone around a column's (row's) right (bottom) edge that starts sizing.
constexpr int kSizingZone = 2;

bool IsPrintable(QChar c) {
    return c.unicode() >= 32 && c.unicode() != 127;
}
}  // namespace

// ---------------------------------------------------------------------------------------------
// In-place editor

TInplaceEdit::TInplaceEdit(TMyCustomGrid* grid) : QLineEdit(grid->viewport()), grid_(grid) {
    setFrame(false);
    setObjectName(QStringLiteral("InplaceEdit"));
    hide();
}

void TInplaceEdit::keyPressEvent(QKeyEvent* e) {
    switch (e->key()) {
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
        case Qt::Key_F2:
            if (grid_) grid_->EditorKeyDown(e);
            return;
        case Qt::Key_Left:
        case Qt::Key_Home:
            if (grid_ && cursorPosition() == 0 && !hasSelectedText() &&
                !(e->modifiers() & Qt::ShiftModifier)) {
                grid_->EditorKeyDown(e);
                return;
            }
            break;
        case Qt::Key_Right:
        case Qt::Key_End:
            if (grid_ && cursorPosition() == text().size() && !hasSelectedText() &&
                !(e->modifiers() & Qt::ShiftModifier)) {
                grid_->EditorKeyDown(e);
                return;
            }
            break;
        default:
            break;
    }
    QLineEdit::keyPressEvent(e);
}

void TInplaceEdit::keyReleaseEvent(QKeyEvent* e) {
    if (grid_) grid_->EditorKeyUp(e);
    QLineEdit::keyReleaseEvent(e);
}

void TInplaceEdit::focusInEvent(QFocusEvent* e) {
    QLineEdit::focusInEvent(e);
    if (grid_) grid_->EditorFocusGained();
}

void TInplaceEdit::focusOutEvent(QFocusEvent* e) {
    QLineEdit::focusOutEvent(e);
    if (grid_) grid_->EditorFocusLost();
}

bool TMyCustomGrid::CanEditShow() {
    // Editing needs a single selected cell: after a whole row or a range was selected, typing
    // does not open the editor in one corner of it.
    const TGridRect s = Selection();
    return options_.Contains(TGridOption::goEditing) &&
           !options_.Contains(TGridOption::goRowSelect) && Col() >= fixedCols_ &&
           Row() >= fixedRows_ && s.Left == s.Right && s.Top == s.Bottom && !nowUpdating_;
}

void TMyCustomGrid::SetEditorMode(bool v) {
    if (v)
        ShowEditor();
    else
        HideEditor();
}

void TMyCustomGrid::ShowEditor() {
    if (!CanEditShow()) return;
    if (!editor_) {
        editor_ = new TInplaceEdit(this);
        connect(editor_, &QLineEdit::textEdited, this, [this](const QString& text) {
            if (editCell_.x() >= 0) SetEditText(editCell_.x(), editCell_.y(), text);
        });
    }
    const bool wasOpen = editorMode_;
    editorMode_ = true;
    UpdateEditor();
    if (!wasOpen && editorMode_) EditorOpened();
}

void TMyCustomGrid::HideEditor() {
    if (!editorMode_) return;
    EditorClosing();
    editorMode_ = false;
    editCell_ = QPoint(-1, -1);
    if (editor_) {
        const bool hadFocus = editor_->hasFocus();
        editor_->hide();
        if (hadFocus) setFocus();
    }
    InvalidateCell(Col(), Row());
}

// Places the editor over the current cell with that cell's text, or closes it when the cell
// cannot be edited.
void TMyCustomGrid::UpdateEditor() {
    if (!editor_ || !editorMode_) return;
    if (!CanEditShow()) {
        HideEditor();
        return;
    }
    if (editCell_ != current_) {
        editCell_ = current_;
        editOriginal_ = GetEditText(Col(), Row());
        editor_->setInputMask(GetEditMask(Col(), Row()));
        editor_->setText(editOriginal_);
        editor_->selectAll();
    }
    const QRect r = CellRect(Col(), Row());
    if (r.isEmpty()) {
        editor_->hide();
        return;
    }
    editor_->setFont(font());
    editor_->setGeometry(r);
    if (!editor_->isVisible()) {
        editor_->show();
        if (hasFocus() || QApplication::focusWidget() == nullptr) editor_->setFocus();
    }
}

void TMyCustomGrid::CommitEditorText() {
    if (editorMode_ && editor_ && editCell_.x() >= 0)
        SetEditText(editCell_.x(), editCell_.y(), editor_->text());
}

void TMyCustomGrid::RefreshEditorText() {
    if (!editorMode_ || !editor_ || editCell_.x() < 0) return;
    const QString t = GetEditText(editCell_.x(), editCell_.y());
    if (editor_->text() != t) editor_->setText(t);
}

bool TMyCustomGrid::GridHasFocus() const {
    const QWidget* f = QApplication::focusWidget();
    return f && (f == this || (editor_ && f == editor_));
}

void TMyCustomGrid::EditorKeyDown(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape) {
        if (editor_ && editCell_.x() >= 0) {
            editor_->setText(editOriginal_);
            SetEditText(editCell_.x(), editCell_.y(), editOriginal_);
        }
        if (!options_.Contains(TGridOption::goAlwaysShowEditor)) HideEditor();
        return;
    }
    ProcessKey(e->key(), e->modifiers(), e->text());
}

void TMyCustomGrid::EditorKeyUp(QKeyEvent* e) {
    int key = e->key();
    KeyUp(key, e->modifiers());
}

// The grid and its editor count as one: moving the focus between them is no enter or exit.
void TMyCustomGrid::EditorFocusGained() {
    if (enteredFocus_) return;
    enteredFocus_ = true;
    DoEnter();
}

void TMyCustomGrid::EditorFocusLost() {
    if (GridHasFocus() || !enteredFocus_) return;
    enteredFocus_ = false;
    DoExit();
}

// ---------------------------------------------------------------------------------------------
// Keyboard

void TMyCustomGrid::keyPressEvent(QKeyEvent* e) {
    if (InputBlocked()) return;
    ProcessKey(e->key(), e->modifiers(), e->text());
}

void TMyCustomGrid::keyReleaseEvent(QKeyEvent* e) {
    if (InputBlocked()) return;
    int key = e->key();
    KeyUp(key, e->modifiers());
}

void TMyCustomGrid::ProcessKey(int key, Qt::KeyboardModifiers mods, const QString& text) {
    KeyDown(key, mods);
    if (key == 0) return;
    QChar ch;
    if (key == Qt::Key_Return || key == Qt::Key_Enter)
        ch = QChar(13);
    else if (key == Qt::Key_Backspace)
        ch = QChar(8);
    else if (key == Qt::Key_Escape)
        ch = QChar(27);
    else if (!text.isEmpty() && IsPrintable(text.at(0)) && !(mods & Qt::ControlModifier))
        ch = text.at(0);
    if (!ch.isNull()) KeyPress(ch);
}

bool TMyCustomGrid::focusNextPrevChild(bool next) {
    if (options_.Contains(TGridOption::goTabs)) return false;  // Tab moves between cells
    return QAbstractScrollArea::focusNextPrevChild(next);
}

void TMyCustomGrid::KeyDown(int& Key, Qt::KeyboardModifiers Shift) {
    if (OnKeyDown) OnKeyDown(this, Key, Shift);
    if (Key == 0) return;
    const bool ctrl = Shift & Qt::ControlModifier;
    const bool extend =
        (Shift & Qt::ShiftModifier) && options_.Contains(TGridOption::goRangeSelect);
    const bool rowSelect = options_.Contains(TGridOption::goRowSelect);
    const int page = std::max(1, VisibleRowCount());
    switch (Key) {
        case Qt::Key_Up:
            KeyboardMove(0, -1, extend, false, 0, 0);
            break;
        case Qt::Key_Down:
            KeyboardMove(0, 1, extend, false, 0, 0);
            break;
        case Qt::Key_Left:
            if (rowSelect)
                SetLeftCol(LeftCol() - 1);
            else
                KeyboardMove(-1, 0, extend, false, 0, 0);
            break;
        case Qt::Key_Right:
            if (rowSelect)
                SetLeftCol(LeftCol() + 1);
            else
                KeyboardMove(1, 0, extend, false, 0, 0);
            break;
        case Qt::Key_PageUp:
            SetTopRow(TopRow() - page);
            KeyboardMove(0, -page, extend, false, 0, 0);
            break;
        case Qt::Key_PageDown:
            SetTopRow(TopRow() + page);
            KeyboardMove(0, page, extend, false, 0, 0);
            break;
        case Qt::Key_Home:
            if (ctrl || rowSelect)
                KeyboardMove(0, 0, extend, true, Col(), fixedRows_);
            else
                KeyboardMove(0, 0, extend, true, fixedCols_, Row());
            break;
        case Qt::Key_End:
            if (ctrl || rowSelect)
                KeyboardMove(0, 0, extend, true, Col(), rowCount_ - 1);
            else
                KeyboardMove(0, 0, extend, true, colCount_ - 1, Row());
            break;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            if (options_.Contains(TGridOption::goTabs)) {
                const bool back = Key == Qt::Key_Backtab || (Shift & Qt::ShiftModifier);
                int c = Col(), r = Row();
                if (back) {
                    if (--c < fixedCols_) {
                        c = colCount_ - 1;
                        if (--r < fixedRows_) r = rowCount_ - 1;
                    }
                } else if (++c >= colCount_) {
                    c = fixedCols_;
                    if (++r >= rowCount_) r = fixedRows_;
                }
                KeyboardMove(0, 0, false, true, c, r);
            }
            break;
        case Qt::Key_F2:
            if (!editorMode_) ShowEditor();
            break;
        default:
            break;
    }
}

void TMyCustomGrid::KeyboardMove(int dCol, int dRow, bool extend, bool absolute, int col, int row) {
    int c = absolute ? col : Col(), r = absolute ? row : Row();
    if (!absolute) {
        r = std::clamp(r + dRow, fixedRows_, rowCount_ - 1);
        if (dCol != 0) {
            // Hidden columns are stepped over.
            int n = c + dCol;
            while (n >= fixedCols_ && n < colCount_ && ColWidths(n) < 0)
                n += dCol;
            if (n >= fixedCols_ && n < colCount_) c = n;
        }
    }
    c = std::clamp(c, fixedCols_, colCount_ - 1);
    r = std::clamp(r, fixedRows_, rowCount_ - 1);
    if (c == Col() && r == Row()) return;
    MoveColRow(c, r, !extend, true);
    Click();
}

void TMyCustomGrid::KeyUp(int& Key, Qt::KeyboardModifiers Shift) {
    if (OnKeyUp) OnKeyUp(this, Key, Shift);
}

void TMyCustomGrid::KeyPress(QChar& Key) {
    if (OnKeyPress) OnKeyPress(this, Key);
    if (Key.isNull() || !options_.Contains(TGridOption::goEditing)) return;
    if (Key.unicode() == 13) {
        if (editorMode_) {
            if (!options_.Contains(TGridOption::goAlwaysShowEditor)) HideEditor();
        } else {
            ShowEditor();
        }
        return;
    }
    if (editorMode_ || !(IsPrintable(Key) || Key.unicode() == 8)) return;
    ShowEditor();
    if (!editorMode_ || !editor_) return;
    const QString text = Key.unicode() == 8 ? QString() : QString(Key);
    editor_->setText(text);
    editor_->deselect();
    SetEditText(editCell_.x(), editCell_.y(), text);
}

// ---------------------------------------------------------------------------------------------
// Mouse

int TMyCustomGrid::SizingIndexAt(int X, int Y, bool columns) const {
    if (columns) {
        if (Y < 0 || Y >= FixedHeight()) return -1;
        int x = 0;
        const int w = viewport()->width();
        auto test = [&](int c) {
            const int cw = ColWidths(c);
            if (cw < 0) return false;
            const int edge = x + cw;
            x += ColExtent(c);
            return X >= edge - kSizingZone && X <= edge + gridLineWidth_ + kSizingZone - 1;
        };
        for (int c = 0; c < fixedCols_; ++c)
            if (test(c)) return c;
        for (int c = LeftCol(); c < colCount_ && x <= w; ++c)
            if (test(c)) return c;
        return -1;
    }
    if (X < 0 || X >= FixedWidth()) return -1;
    int y = 0;
    const int h = viewport()->height();
    auto test = [&](int r) {
        const int rh = RowHeights(r);
        if (rh < 0) return false;
        const int edge = y + rh;
        y += RowExtent(r);
        return Y >= edge - kSizingZone && Y <= edge + gridLineWidth_ + kSizingZone - 1;
    };
    for (int r = 0; r < fixedRows_; ++r)
        if (test(r)) return r;
    for (int r = TopRow(); r < rowCount_ && y <= h; ++r)
        if (test(r)) return r;
    return -1;
}

void TMyCustomGrid::mousePressEvent(QMouseEvent* e) {
    if (InputBlocked()) return;
    heldButtons_ = e->buttons();
    const QPoint p = e->position().toPoint();
    lastMousePos_ = p;
    MouseDown(e->button(), e->modifiers(), p.x(), p.y());
}

void TMyCustomGrid::mouseMoveEvent(QMouseEvent* e) {
    if (InputBlocked()) return;
    heldButtons_ = e->buttons();
    const QPoint p = e->position().toPoint();
    lastMousePos_ = p;
    MouseMove(e->modifiers(), p.x(), p.y());
}

void TMyCustomGrid::mouseReleaseEvent(QMouseEvent* e) {
    if (InputBlocked()) return;
    heldButtons_ = e->buttons();
    const QPoint p = e->position().toPoint();
    lastMousePos_ = p;
    MouseUp(e->button(), e->modifiers(), p.x(), p.y());
}

void TMyCustomGrid::mouseDoubleClickEvent(QMouseEvent* e) {
    if (InputBlocked()) return;
    heldButtons_ = e->buttons();
    lastMousePos_ = e->position().toPoint();
    DblClick();
    const QPoint p = e->position().toPoint();
    MouseDown(e->button(), e->modifiers(), p.x(), p.y());
}

void TMyCustomGrid::wheelEvent(QWheelEvent* e) {
    if (InputBlocked()) return;
    const int dy = e->angleDelta().y();
    if (dy == 0) return;
    const QPoint pos = e->position().toPoint();
    const bool handled =
        dy < 0 ? DoMouseWheelDown(e->modifiers(), pos) : DoMouseWheelUp(e->modifiers(), pos);
    e->setAccepted(handled || true);
}

bool TMyCustomGrid::DoMouseWheelDown(Qt::KeyboardModifiers Shift, QPoint MousePos) {
    bool handled = false;
    if (OnMouseWheelDown) OnMouseWheelDown(this, Shift, MousePos, handled);
    if (!handled && Row() < rowCount_ - 1) {
        SetRow(Row() + 1);
        handled = true;
    }
    return handled;
}

bool TMyCustomGrid::DoMouseWheelUp(Qt::KeyboardModifiers Shift, QPoint MousePos) {
    bool handled = false;
    if (OnMouseWheelUp) OnMouseWheelUp(this, Shift, MousePos, handled);
    if (!handled && Row() > fixedRows_) {
        SetRow(Row() - 1);
        handled = true;
    }
    return handled;
}

void TMyCustomGrid::contextMenuEvent(QContextMenuEvent* e) {
    bool handled = false;
    if (OnContextPopup) OnContextPopup(this, e->pos(), handled);
    e->accept();
}

void TMyCustomGrid::MouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y) {
    if (OnMouseDown) OnMouseDown(this, Button, Shift, X, Y);
    if (!GridHasFocus() && focusPolicy() != Qt::NoFocus) setFocus(Qt::MouseFocusReason);
    if (Button != Qt::LeftButton) return;
    int c, r;
    MouseToCell(X, Y, c, r);
    if (c < 0 || r < 0) return;
    if (options_.Contains(TGridOption::goColSizing)) {
        const int idx = SizingIndexAt(X, Y, true);
        if (idx >= 0) {
            state_ = TGridState::gsColSizing;
            sizingIndex_ = idx;
            sizingStart_ = ColLeft(idx);
            return;
        }
    }
    if (options_.Contains(TGridOption::goRowSizing)) {
        const int idx = SizingIndexAt(X, Y, false);
        if (idx >= 0) {
            state_ = TGridState::gsRowSizing;
            sizingIndex_ = idx;
            sizingStart_ = RowTop(idx);
            return;
        }
    }
    if (r < fixedRows_ && c >= fixedCols_ && options_.Contains(TGridOption::goColMoving)) {
        state_ = TGridState::gsColMoving;
        moveFrom_ = c;
        return;
    }
    if (c < fixedCols_ && r >= fixedRows_ && options_.Contains(TGridOption::goRowMoving)) {
        state_ = TGridState::gsRowMoving;
        moveFrom_ = r;
        return;
    }
    if (c < fixedCols_ || r < fixedRows_) return;
    if (options_.Contains(TGridOption::goEditing) && c == Col() && r == Row() && !editorMode_ &&
        !(Shift & (Qt::ShiftModifier | Qt::ControlModifier))) {
        ShowEditor();
        return;
    }
    const bool extend =
        (Shift & Qt::ShiftModifier) && options_.Contains(TGridOption::goRangeSelect);
    state_ = TGridState::gsSelecting;
    MoveColRow(c, r, !extend, true);
    Click();
}

void TMyCustomGrid::MouseMove(Qt::KeyboardModifiers Shift, int X, int Y) {
    if (OnMouseMove) OnMouseMove(this, Shift, X, Y);
    switch (state_) {
        case TGridState::gsColSizing:
            if (heldButtons_ & Qt::LeftButton)
                SetColWidths(sizingIndex_, std::max(0, X - sizingStart_));
            return;
        case TGridState::gsRowSizing:
            if (heldButtons_ & Qt::LeftButton)
                SetRowHeights(sizingIndex_, std::max(0, Y - sizingStart_));
            return;
        case TGridState::gsSelecting:
            if ((heldButtons_ & Qt::LeftButton) && options_.Contains(TGridOption::goRangeSelect)) {
                int c, r;
                MouseToCell(X, Y, c, r);
                if (c >= fixedCols_ && r >= fixedRows_ && (c != Col() || r != Row()))
                    MoveColRow(c, r, false, true);
            }
            return;
        default:
            break;
    }
    if (heldButtons_ == Qt::NoButton) {
        if (options_.Contains(TGridOption::goColSizing) && SizingIndexAt(X, Y, true) >= 0)
            viewport()->setCursor(Qt::SplitHCursor);
        else if (options_.Contains(TGridOption::goRowSizing) && SizingIndexAt(X, Y, false) >= 0)
            viewport()->setCursor(Qt::SplitVCursor);
        else
            viewport()->unsetCursor();
    }
}

void TMyCustomGrid::MouseUp(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y) {
    const TGridState st = state_;
    state_ = TGridState::gsNormal;
    if (Button == Qt::LeftButton) {
        int c, r;
        MouseToCell(X, Y, c, r);
        if (st == TGridState::gsColMoving && c >= fixedCols_ && c != moveFrom_) {
            const int from = moveFrom_;
            MoveColumn(from, c);
            ColumnMoved(from, c);
        } else if (st == TGridState::gsRowMoving && r >= fixedRows_ && r != moveFrom_) {
            const int from = moveFrom_;
            MoveRow(from, r);
            RowMoved(from, r);
        }
    }
    moveFrom_ = -1;
    sizingIndex_ = -1;
    if (OnMouseUp) OnMouseUp(this, Button, Shift, X, Y);
}

// ---------------------------------------------------------------------------------------------
// Focus

void TMyCustomGrid::focusInEvent(QFocusEvent* e) {
    QAbstractScrollArea::focusInEvent(e);
    InvalidateCell(Col(), Row());
    EditorFocusGained();
    if (editorMode_ && editor_ && editor_->isVisible()) editor_->setFocus();
}

void TMyCustomGrid::focusOutEvent(QFocusEvent* e) {
    QAbstractScrollArea::focusOutEvent(e);
    InvalidateCell(Col(), Row());
    if (!GridHasFocus()) EditorFocusLost();
}
