#pragma once

#include <QAbstractScrollArea>
#include <QFont>
#include <QHash>
#include <QLineEdit>
#include <QPoint>
#include <QRect>
#include <QStringList>
#include <functional>
#include <map>
#include <vector>

#include "grid/enumset.h"
#include "grid/sparsecells.h"
#include "platform/exception.h"
#include "platform/tcolor.h"

class QPainter;

// Options of the grid base, ordinals 0 to 14 in this order.
enum class TGridOption {
    goFixedVertLine,
    goFixedHorzLine,
    goVertLine,
    goHorzLine,
    goRangeSelect,
    goDrawFocusSelected,
    goRowSizing,
    goColSizing,
    goRowMoving,
    goColMoving,
    goEditing,
    goTabs,
    goRowSelect,
    goAlwaysShowEditor,
    goThumbTracking,
};
using TGridOptions = TEnumSet<TGridOption>;

enum class TGridDrawStateItem { gdSelected, gdFocused, gdFixed };
using TGridDrawState = TEnumSet<TGridDrawStateItem>;

enum class TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };
enum class TBorderStyle { bsNone, bsSingle };

// A block of cells, inclusive on all four sides.
struct TGridRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    bool operator==(const TGridRect&) const = default;
};

// The brush and font a cell is painted with. The base prepares them for every cell; the cell
// painting of a descendant (and its format event) may change them before anything is drawn.
struct TCanvasBrush {
    TColor Color = clWindow;
};
struct TCanvasFont {
    QFont Font;
    TColor Color = clWindowText;
};

// What a cell-painting operation draws with: the painter (null while only measuring) and the
// current brush and font.
class TGridCanvas {
public:
    QPainter* Painter = nullptr;
    TCanvasBrush Brush;
    TCanvasFont Font;

    void FillRect(const QRect& r);
    // Text with its top-left corner at (x, y), clipped to r.
    void TextRect(const QRect& r, int x, int y, const QString& text);
    int TextWidth(const QString& text) const;
    int TextHeight(const QString& text) const;
    // A one-pixel line from (x1, y1) to (x2, y2), both ends included.
    void Line(int x1, int y1, int x2, int y2, TColor color);

private:
    // Measuring shapes the text; a paint measures and draws the same texts in one font, so the
    // results are kept for the canvas's life while the font stays the same.
    void SyncMetrics() const;
    mutable bool metricsValid_ = false;
    mutable QFont metricsFont_;
    mutable int ascent_ = 0, height_ = 0;
    mutable QHash<QString, int> widths_;
};

class TMyCustomGrid;

// The in-place cell editor. It hands navigation keys back to its grid.
class TInplaceEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TInplaceEdit(TMyCustomGrid* grid);
    // Cuts the link to a grid that is being destroyed.
    void DetachGrid() { grid_ = nullptr; }

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;

private:
    TMyCustomGrid* grid_;
};

using TNotifyGridEvent = std::function<void(TMyCustomGrid*)>;
using TGridKeyEvent = std::function<void(TMyCustomGrid*, int& Key, Qt::KeyboardModifiers Shift)>;
using TGridKeyPressEvent = std::function<void(TMyCustomGrid*, QChar& Key)>;
using TGridMouseEvent = std::function<void(TMyCustomGrid*, Qt::MouseButton Button,
                                           Qt::KeyboardModifiers Shift, int X, int Y)>;
using TGridMouseMoveEvent =
    std::function<void(TMyCustomGrid*, Qt::KeyboardModifiers Shift, int X, int Y)>;
using TGridWheelEvent = std::function<void(TMyCustomGrid*, Qt::KeyboardModifiers Shift,
                                           QPoint MousePos, bool& Handled)>;
using TGridContextPopupEvent = std::function<void(TMyCustomGrid*, QPoint MousePos, bool& Handled)>;
using TMovedEvent = std::function<void(TMyCustomGrid*, int FromIndex, int ToIndex)>;
using TDrawCellEvent = std::function<void(TMyCustomGrid*, int ACol, int ARow, const QRect& Rect,
                                          TGridDrawState State)>;
using TGetEditEvent = std::function<void(TMyCustomGrid*, int ACol, int ARow, QString& Value)>;
using TSelectCellEvent = std::function<void(TMyCustomGrid*, int ACol, int ARow, bool& CanSelect)>;
using TSetEditEvent = std::function<void(TMyCustomGrid*, int ACol, int ARow, const QString& Value)>;

// Geometry, scrolling, selection, focus, in-place editing and painting of a grid of cells.
// Coordinates are those of the viewport (the client area inside the frame and scroll bars);
// a cell rectangle covers the cell without the grid line that follows it.
class TMyCustomGrid : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit TMyCustomGrid(QWidget* parent = nullptr);
    ~TMyCustomGrid() override;

    // Counts. Setting a count below the fixed count lowers the fixed count.
    int ColCount() const { return colCount_; }
    void SetColCount(int n);
    int RowCount() const { return rowCount_; }
    void SetRowCount(int n);
    int FixedCols() const { return fixedCols_; }
    void SetFixedCols(int n);
    int FixedRows() const { return fixedRows_; }
    void SetFixedRows(int n);

    // Sizes. Setting a default forgets every individual width (height). A width of -1 hides
    // the column; a height of -1 hides the row.
    int DefaultColWidth() const { return defaultColWidth_; }
    void SetDefaultColWidth(int w);
    int DefaultRowHeight() const { return defaultRowHeight_; }
    void SetDefaultRowHeight(int h);
    int ColWidths(int c) const;
    void SetColWidths(int c, int w);
    int RowHeights(int r) const;
    void SetRowHeights(int r, int h);
    int GridLineWidth() const { return gridLineWidth_; }
    void SetGridLineWidth(int w);
    // Width of the visible cells plus their grid lines (the extent of the drawn grid).
    int GridWidth() const;
    int GridHeight() const;

    TColor FixedColor() const { return fixedColor_; }
    void SetFixedColor(TColor c);
    TColor Color() const { return color_; }
    void SetColor(TColor c);
    TBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TBorderStyle s);
    TScrollStyle ScrollBars() const { return scrollBars_; }
    void SetScrollBars(TScrollStyle s);
    TGridOptions Options() const { return options_; }
    void SetOptions(TGridOptions o);
    bool DefaultDrawing() const { return defaultDrawing_; }
    void SetDefaultDrawing(bool v);
    bool TabStop() const { return focusPolicy() != Qt::NoFocus; }
    void SetTabStop(bool v);

    // Current cell and selection.
    int Col() const { return current_.x(); }
    void SetCol(int c);
    int Row() const { return current_.y(); }
    void SetRow(int r);
    TGridRect Selection() const;
    // Anchor at the top-left corner, current cell at the bottom-right one; ends in-place editing.
    void SetSelection(const TGridRect& r);
    // Makes (ACol, ARow) the current cell when SelectCell allows it; the anchor follows when
    // MoveAnchor is set (or range selection is off). Scrolls it into view when Show is set.
    bool MoveColRow(int ACol, int ARow, bool MoveAnchor, bool Show);

    int TopRow() const { return topLeft_.y(); }
    void SetTopRow(int r);
    int LeftCol() const { return topLeft_.x(); }
    void SetLeftCol(int c);
    int VisibleColCount() const;
    int VisibleRowCount() const;

    // Cell under a client point; -1 for a coordinate outside the cells.
    void MouseToCell(int X, int Y, int& ACol, int& ARow) const;
    // Rectangle of a visible cell in client coordinates; an empty rectangle when not visible.
    QRect CellRect(int ACol, int ARow) const;
    void InvalidateCell(int ACol, int ARow);
    void InvalidateRow(int ARow);
    void InvalidateCol(int ACol);
    void InvalidateGrid();

    // Moves and deletions (cells move with their rows and columns).
    virtual void MoveColumn(int FromIndex, int ToIndex);
    virtual void MoveRow(int FromIndex, int ToIndex);
    virtual void DeleteColumn(int ACol);
    virtual void DeleteRow(int ARow);

    // Bulk update: counts are only recorded, nothing is repainted; calls do not nest.
    bool NowUpdating() const { return nowUpdating_; }
    virtual void BeginUpdate();
    virtual void EndUpdate();

    bool EditorMode() const { return editorMode_; }
    void SetEditorMode(bool v);
    TInplaceEdit* InplaceEditor() const { return editor_; }

    // Paints the cells of the given client region with a painter of the caller (tests, benchmarks).
    void PaintCells(QPainter& p, const QRect& region);

    // Events, each taking the grid first; unset ones are skipped.
    TNotifyGridEvent OnClick, OnDblClick, OnEnter, OnExit, OnTopLeftChanged, OnBeginUpdate,
        OnStartDrag;
    TGridKeyEvent OnKeyDown, OnKeyUp;
    TGridKeyPressEvent OnKeyPress;
    TGridMouseEvent OnMouseDown, OnMouseUp;
    TGridMouseMoveEvent OnMouseMove;
    TGridWheelEvent OnMouseWheelDown, OnMouseWheelUp;
    TGridContextPopupEvent OnContextPopup;

    // Dispatch of the editor's keys (the editor forwards what it does not handle itself).
    void EditorKeyDown(QKeyEvent* e);
    void EditorKeyUp(QKeyEvent* e);
    void EditorFocusGained();
    void EditorFocusLost();

protected:
    // Overridable behaviour.
    virtual void DrawCell(TGridCanvas& canvas, int ACol, int ARow, const QRect& rect,
                          TGridDrawState state);
    virtual bool SelectCell(int ACol, int ARow);
    virtual void ColumnMoved(int FromIndex, int ToIndex);
    virtual void RowMoved(int FromIndex, int ToIndex);
    virtual void SizeChanged(int OldColCount, int OldRowCount);
    virtual void ColWidthsChanged();
    virtual void RowHeightsChanged();
    virtual void TopLeftChanged();
    virtual QString GetEditText(int ACol, int ARow);
    virtual QString GetEditMask(int ACol, int ARow);
    virtual void SetEditText(int ACol, int ARow, const QString& Value);
    virtual bool CanEditShow();
    // Called while the editor is still open, before it closes.
    virtual void EditorClosing() {}
    // Called when the editor opens on a cell.
    virtual void EditorOpened() {}
    virtual void Click();
    virtual void DblClick();
    virtual void DoEnter();
    virtual void DoExit();
    virtual void KeyDown(int& Key, Qt::KeyboardModifiers Shift);
    virtual void KeyUp(int& Key, Qt::KeyboardModifiers Shift);
    virtual void KeyPress(QChar& Key);
    virtual void MouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y);
    virtual void MouseMove(Qt::KeyboardModifiers Shift, int X, int Y);
    virtual void MouseUp(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y);
    virtual bool DoMouseWheelDown(Qt::KeyboardModifiers Shift, QPoint MousePos);
    virtual bool DoMouseWheelUp(Qt::KeyboardModifiers Shift, QPoint MousePos);
    // Hook of the cell storage for column and row moves and deletions.
    virtual void MoveStoredColumn(int, int) {}
    virtual void MoveStoredRow(int, int) {}
    virtual void DeleteStoredColumn(int) {}
    virtual void DeleteStoredRow(int) {}
    virtual void InsertStoredColumn(int) {}
    virtual void InsertStoredRowHook(int) {}
    virtual void BeginDrag();
    // Called after the scroll bars were brought up to date.
    virtual void ScrollBarsUpdated() {}

    // Makes a cell current without asking SelectCell.
    void SetCurrentCell(int ACol, int ARow, bool MoveAnchor, bool Show);
    // Opens an empty row (column) at the index in the sizes and the storage; counts unchanged.
    void InsertRowSlot(int ARow);
    void InsertColSlot(int ACol);
    // Reloads the editor's text from its cell.
    void RefreshEditorText();
    // Where the mouse was at the latest mouse event.
    QPoint LastMousePos() const { return lastMousePos_; }

    void ShowEditor();
    void HideEditor();
    void UpdateScrollBars();
    // Scrolls so that the cell is fully visible.
    void ClampInView(int ACol, int ARow);
    int MaxTopRow() const;
    int MaxLeftCol() const;
    // The first and last rows drawn (partly visible included).
    int LastVisibleRow() const;
    bool InputBlocked() const { return nowUpdating_; }
    // The mouse button currently held, as MouseMove sees it.
    Qt::MouseButtons HeldButtons() const { return heldButtons_; }
    // Applies the vertical page size of the scroll bar (proportional thumbs).
    void SetScrollPage(Qt::Orientation o, int page);

    // Qt plumbing.
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void scrollContentsBy(int dx, int dy) override;
    bool focusNextPrevChild(bool next) override;

private:
    enum class TGridState {
        gsNormal,
        gsSelecting,
        gsRowSizing,
        gsColSizing,
        gsRowMoving,
        gsColMoving
    };

    void ChangeSize(int newColCount, int newRowCount);
    int ColExtent(int c) const;
    int RowExtent(int r) const;
    int FixedWidth() const;
    int FixedHeight() const;
    // Left (top) edge of a column (row) that is fixed or at or after LeftCol (TopRow).
    int ColLeft(int c) const;
    int RowTop(int r) const;
    bool IsSelected(int c, int r) const;
    void MoveTopLeft(int left, int top);
    void InvalidateSelection(const TGridRect& r);
    void UpdateEditor();
    void CommitEditorText();
    void KeyboardMove(int dCol, int dRow, bool extend, bool absolute, int col, int row);
    bool GridHasFocus() const;
    int SizingIndexAt(int X, int Y, bool columns) const;
    void ProcessKey(int key, Qt::KeyboardModifiers mods, const QString& text);

    int colCount_ = 5, rowCount_ = 5, fixedCols_ = 1, fixedRows_ = 1;
    int defaultColWidth_ = 64, defaultRowHeight_ = 24, gridLineWidth_ = 1;
    std::vector<int> colWidths_;     // empty while every column has the default width
    std::map<int, int> rowHeights_;  // only rows whose height differs from the default
    TColor fixedColor_ = clBtnFace, color_ = clWindow;
    TBorderStyle borderStyle_ = TBorderStyle::bsSingle;
    TScrollStyle scrollBars_ = TScrollStyle::ssBoth;
    TGridOptions options_{TGridOption::goFixedVertLine, TGridOption::goFixedHorzLine,
                          TGridOption::goVertLine, TGridOption::goHorzLine,
                          TGridOption::goRangeSelect};
    bool defaultDrawing_ = true;
    QPoint current_{1, 1}, anchor_{1, 1}, topLeft_{1, 1};
    bool nowUpdating_ = false;
    bool cursorOverridden_ = false;
    bool editorMode_ = false;
    TInplaceEdit* editor_ = nullptr;
    QPoint editCell_{-1, -1};
    QString editOriginal_;
    TGridState state_ = TGridState::gsNormal;
    int sizingIndex_ = -1, sizingStart_ = 0, moveFrom_ = -1;
    Qt::MouseButtons heldButtons_;
    bool syncingScrollBars_ = false;
    bool enteredFocus_ = false;
    QPoint lastMousePos_;
};

// A grid whose cells are painted and selected through events.
class TMyDrawGrid : public TMyCustomGrid {
    Q_OBJECT
public:
    explicit TMyDrawGrid(QWidget* parent = nullptr);

    TMovedEvent OnColumnMoved, OnRowMoved;
    TDrawCellEvent OnDrawCell;
    TGetEditEvent OnGetEditMask, OnGetEditText;
    TSelectCellEvent OnSelectCell;
    TSetEditEvent OnSetEditText;

protected:
    void DrawCell(TGridCanvas& canvas, int ACol, int ARow, const QRect& rect,
                  TGridDrawState state) override;
    bool SelectCell(int ACol, int ARow) override;
    void ColumnMoved(int FromIndex, int ToIndex) override;
    void RowMoved(int FromIndex, int ToIndex) override;
    QString GetEditText(int ACol, int ARow) override;
    QString GetEditMask(int ACol, int ARow) override;
    void SetEditText(int ACol, int ARow, const QString& Value) override;
};
using TMyCustomDrawGrid = TMyDrawGrid;

class TMyStringGrid;

// A live view of one row (ColCount items) or one column (RowCount items) of a string grid.
// Assigning a list copies its strings (and objects) into the grid, up to the view's length;
// inserting or deleting items is refused.
class TGridStrings {
public:
    TGridStrings(TMyStringGrid* grid, int index, bool isRow)
        : grid_(grid), index_(index), isRow_(isRow) {}

    int Count() const;
    QString Strings(int i) const;
    void SetStrings(int i, const QString& s);
    void* Objects(int i) const;
    void SetObjects(int i, void* o);
    QStringList ToStringList() const;
    TGridStrings& operator=(const QStringList& list);
    TGridStrings& operator=(const TGridStrings& other);
    TGridStrings(const TGridStrings&) = default;
    void Assign(const QStringList& list) { *this = list; }
    void Assign(const TGridStrings& other) { *this = other; }
    // Refused: a grid row or column has a fixed length.
    [[noreturn]] void Add(const QString& s);
    [[noreturn]] void Insert(int i, const QString& s);
    [[noreturn]] void Delete(int i);
    // Empties every item of the view.
    void Clear();

private:
    TMyStringGrid* grid_;
    int index_;
    bool isRow_;
};

// A grid of strings with an object reference per cell, kept in sparse storage.
class TMyStringGrid : public TMyDrawGrid {
    Q_OBJECT
public:
    explicit TMyStringGrid(QWidget* parent = nullptr);

    const QString& Cells(int ACol, int ARow) const;
    void SetCells(int ACol, int ARow, const QString& text);
    void* Objects(int ACol, int ARow) const;
    void SetObjects(int ACol, int ARow, void* object);
    TGridStrings Rows(int ARow) { return TGridStrings(this, ARow, true); }
    TGridStrings Cols(int ACol) { return TGridStrings(this, ACol, false); }
    // Replaces columns 0 to ColCount-1 of a row: the list's items, empty beyond its end.
    void SetRow(int ARow, const QStringList& cells);
    using TMyCustomGrid::SetRow;

    // The stored cells of a whole row, including cells beyond ColCount; for moving rows around.
    std::unique_ptr<TStringSparseList> TakeRowCells(int ARow);
    void PutRowCells(int ARow, std::unique_ptr<TStringSparseList> cells);
    TStringSparseList RowCells(int ARow) const;
    // Storage-only row operations: no count changes, no events.
    void ExchangeStoredRows(int A, int B);
    // Every stored row index is below this bound.
    int StoredRowBound() const { return cells_.Count(); }

protected:
    void DrawCell(TGridCanvas& canvas, int ACol, int ARow, const QRect& rect,
                  TGridDrawState state) override;
    QString GetEditText(int ACol, int ARow) override;
    void SetEditText(int ACol, int ARow, const QString& Value) override;
    void MoveStoredColumn(int from, int to) override;
    void MoveStoredRow(int from, int to) override;
    void DeleteStoredColumn(int c) override;
    void DeleteStoredRow(int r) override;
    void InsertStoredColumn(int c) override;
    void InsertStoredRowHook(int r) override;

private:
    TSparseList cells_;
};

// Error messages of the grid base.
namespace GridErrors {
inline constexpr const char* IndexOutOfRange = "Grid index out of range";
inline constexpr const char* TooManyDeleted = "Too many rows or columns deleted";
inline constexpr const char* FixedColTooBig = "Fixed column count must be less than column count";
inline constexpr const char* FixedRowTooBig = "Fixed row count must be less than row count";
inline constexpr const char* GridTooLarge = "Grid too large for operation";
inline constexpr const char* CannotInsertDelete = "Cannot insert or delete rows from grid";
}  // namespace GridErrors

class EGridError : public Exception {
public:
    explicit EGridError(const char* message) : Exception(QString::fromLatin1(message)) {}
};
