#pragma once

#include <QList>
#include <QPointer>
#include <QStringList>
#include <functional>

#include "grid/fontsetting.h"
#include "grid/gridoptions.h"
#include "grid/mygrids.h"

class QMenu;
class QListWidget;
class QPainter;
struct ProtocolFileData;
struct ProtocolGeometry;

#include "widgets/alignment.h"
enum class TVertAlignment { taTopJustify, taBottomJustify, taMiddle };
enum class TCellBevelStyle { cbNone, cbRaised, cbLowered };

// The format of one cell, filled with the grid's defaults before OnGetCellFormat sees it.
// Brush and Font are the canvas's own: changing them changes what the cell is painted with.
struct TFormatOptions {
    TCanvasBrush& Brush;
    TCanvasFont& Font;
    TAlignment AlignmentHorz = TAlignment::taLeftJustify;
    TVertAlignment AlignmentVert = TVertAlignment::taTopJustify;
    TCellBevelStyle BevelStyle = TCellBevelStyle::cbNone;
    TColor LightColor = clWindow;
    TColor DarkColor = clWindow;
    bool HideText = false;
};

class TSortGrid;

using TSortGridNotifyEvent = std::function<void(TSortGrid*)>;
using TUpdateGridEvent = std::function<void(TSortGrid*, int ARow)>;
using TSizeChangedEvent = std::function<void(TSortGrid*, int OldColCount, int OldRowCount)>;
using TFormatDrawCellEvent = std::function<void(TSortGrid*, int Col, int Row, TGridDrawState State,
                                                TFormatOptions& FormatOptions, bool& CheckBox,
                                                bool& Combobox, bool& Ellipsis)>;
using TSetFilterEvent = std::function<void(const QStringList& ARows, bool& Accept)>;
using TSearchEvent = std::function<void(const QStringList& ARows, bool& Accept)>;
using TGetSortStyleEvent = std::function<void(TSortGrid*, int Col, TSortStyle& SortStyle)>;
using TCellValidateEvent = std::function<void(
    TSortGrid*, int ACol, int ARow, const QString& OldValue, QString& NewValue, bool& Valid)>;
using TSetChecked = std::function<void(TSortGrid*, int ACol, int ARow, bool State)>;
using TGetCombobox = std::function<void(TSortGrid*, int ACol, int ARow, QStringList& Strs,
                                        int& Width, int& Height, bool& Sorted)>;
using TSetCombobox = std::function<void(TSortGrid*, int ACol, int ARow, const QString& Str)>;
using TSetEllipsis = std::function<void(TSortGrid*, int ACol, int ARow)>;
using TSortGridSelectCellEvent =
    std::function<void(TSortGrid*, int ACol, int ARow, bool& CanSelect)>;
using TBeginSortEvent = std::function<void(TSortGrid*, int& Col)>;
using TEndSortEvent = std::function<void(TSortGrid*, int Col)>;

// The protocol grid: a string grid with one header row, a Modified flag, tracked row
// selection, row and column insertion and deletion, cell validation, automatic column widths,
// per-cell formats, filtering and multi-row selection. Sorting, files and printing attach to
// the data members kept here (SortOptions, PrintOptions, the format lists, UserSettings).
class TSortGrid : public TMyStringGrid {
    Q_OBJECT
public:
    explicit TSortGrid(QWidget* parent = nullptr);
    ~TSortGrid() override;

    // The single header row; not settable.
    int FixedRows() const { return TMyStringGrid::FixedRows(); }
    void SetFixedRows(int) = delete;

    bool Modified() const { return modified_; }
    // Stores the value; True fires OnModified every time.
    void SetModified(bool v);

    QMenu* PopupMenu() const { return popupMenu_; }
    void SetPopupMenu(QMenu* m) { popupMenu_ = m; }
    TSortOptions& SortOptions() { return sortOptions_; }
    const TSortOptions& SortOptions() const { return sortOptions_; }
    TPrintOptions& PrintOptions() { return printOptions_; }
    const TPrintOptions& PrintOptions() const { return printOptions_; }
    bool HideRows() const { return hideRows_; }
    void SetHideRows(bool v);
    bool Filtered() const { return filtered_; }
    void SetFiltered(bool v);
    int FilteredOutCount() const { return filteredOutCount_; }
    bool MultiSelect() const { return multiSelect_; }
    void SetMultiSelect(bool v);
    const QStringList& UserSettings() const { return userSettings_; }
    // Takes the list over and marks the grid modified.
    void SetUserSettings(const QStringList& list);
    TAlignment AlignmentHorz() const { return alignmentHorz_; }
    void SetAlignmentHorz(TAlignment a);
    TVertAlignment AlignmentVert() const { return alignmentVert_; }
    void SetAlignmentVert(TVertAlignment a);
    TCellBevelStyle BevelStyle() const { return bevelStyle_; }
    void SetBevelStyle(TCellBevelStyle s);
    bool ProportionalScrollBars() const { return proportionalScrollBars_; }
    void SetProportionalScrollBars(bool v);
    bool ExtendedKeys() const { return extendedKeys_; }
    void SetExtendedKeys(bool v) { extendedKeys_ = v; }

    TFontList& ColumnFormats() { return columnFormats_; }
    TFontList& RowFormats() { return rowFormats_; }
    bool ColumnFormatsFirst() const { return columnFormatsFirst_; }
    void SetColumnFormatsFirst(bool v);

    // Tracked selection: decimal row numbers; SelectionOrder()[0] is the anchor.
    QStringList SelectedRows() const;
    QStringList SelectionOrder() const;
    bool IsRowSelected(int ARow) const { return selectedRows_.contains(ARow); }

    // Operations.
    // Sorts the data rows by ACol and the secondary columns of SortOptions; rows carry their
    // objects, hidden format cells, row formats and selection with them. Nothing when CanSort is
    // False.
    void SortByColumn(int ACol);
    // ssNumeric, ssDateTime, ssTime or ssNormal, whichever every data cell of the column reads as.
    TSortStyle DetectSortStyle(int ACol);

    // The protocol file: settings lines, the geometry line and one line per row.
    QStringList SaveToStrings(bool WithGeometry) const;
    // False, after "Can't write to file:" was shown, when the file cannot be written; an existing
    // file is then left as it was.
    bool SaveToFile(const QString& FileName, bool WithGeometry);
    // Rebuilds the grid from the lines and removes the settings lines it recognised. Lines that
    // are not a protocol give False and leave the grid and the list exactly as they were.
    bool LoadFromStrings(QStringList& Lines, bool WithGeometry);
    // False when the file cannot be read, is no text or is not a protocol; the grid is then
    // unchanged.
    bool LoadFromFile(const QString& FileName, bool WithGeometry);
    // The semicolon file for spreadsheets; failures as SaveToFile.
    bool SaveToCSV(const QString& FileName);

    // Prints PrintOptions' rows FromRow..ToRow on the default printer, after switching the filter
    // off; says "No Printer is installed" when there is none.
    void Print();
    // The page routine on any canvas: Print draws every page (newPage starts the next), Preview
    // only PrintOptions.PreviewPage, Count nothing. Returns the pages begun.
    int PrintPages(QPainter* Canvas, PrintMode Mode, int FromRow, int ToRow,
                   const PrintPageGeometry& Geometry, const std::function<void()>& NewPage = {});
    // Pages begun by every print and preview run so far.
    int PageCounter() const { return pageCounter_; }
    void Clear();
    void InsertRow(int ARow);
    void InsertColumn(int ACol);
    void DeleteRow(int ARow) override;
    void DeleteColumn(int ACol) override;
    void MoveRow(int FromIndex, int ToIndex) override;
    void MoveColumn(int FromIndex, int ToIndex) override;
    void SwapRows(int ARow1, int ARow2);
    void GotoCell(int ACol, int ARow, bool Scroll);
    void ScrollToCell(int ACol, int ARow);
    void AutoSizeColumn(int ACol, bool Force);
    void AutoSizeColumns(bool Force);
    bool IsRowEmpty(int ARow) const;
    void BeginUpdate() override;
    void EndUpdate() override;

    // The format a cell is painted with: defaults, then OnGetCellFormat.
    struct TCellFormat {
        TAlignment AlignmentHorz;
        TVertAlignment AlignmentVert;
        TCellBevelStyle BevelStyle;
        TColor LightColor, DarkColor;
        bool HideText, CheckBox, Combobox, Ellipsis;
    };
    TCellFormat GetCellFormat(int ACol, int ARow, TGridDrawState State, TGridCanvas& canvas);

    // The drop-down list of combobox cells (hidden unless open).
    QListWidget* ComboList() const;

    // Events.
    TSortGridNotifyEvent OnModified, OnRowSelected, OnColumnWidthsChanged, OnRowHeightsChanged,
        OnEndUpdate;
    TUpdateGridEvent OnRowInsert, OnRowDelete, OnColumnInsert, OnColumnDelete;
    TSizeChangedEvent OnSizeChanged;
    TFormatDrawCellEvent OnGetCellFormat;
    TSetFilterEvent OnSetFilter;
    TSearchEvent OnSearch;  // kept for hosts; the grid never fires it
    TGetSortStyleEvent OnGetSortStyle;
    TCellValidateEvent OnCellValidate;
    TSetChecked OnSetChecked;
    TGetCombobox OnGetComboBox;
    TSetCombobox OnSetComboBox;
    TSetEllipsis OnSetEllipsis;
    TSortGridSelectCellEvent OnSelectCell;
    TBeginSortEvent OnBeginSort;
    TEndSortEvent OnEndSort;

protected:
    void DrawCell(TGridCanvas& canvas, int ACol, int ARow, const QRect& rect,
                  TGridDrawState state) override;
    bool SelectCell(int ACol, int ARow) override;
    void KeyDown(int& Key, Qt::KeyboardModifiers Shift) override;
    void KeyUp(int& Key, Qt::KeyboardModifiers Shift) override;
    void KeyPress(QChar& Key) override;
    void MouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y) override;
    void MouseMove(Qt::KeyboardModifiers Shift, int X, int Y) override;
    void MouseUp(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y) override;
    bool DoMouseWheelDown(Qt::KeyboardModifiers Shift, QPoint MousePos) override;
    bool DoMouseWheelUp(Qt::KeyboardModifiers Shift, QPoint MousePos) override;
    void ColumnMoved(int FromIndex, int ToIndex) override;
    void SizeChanged(int OldColCount, int OldRowCount) override;
    void SetEditText(int ACol, int ARow, const QString& Value) override;
    void ColWidthsChanged() override;
    void RowHeightsChanged() override;
    void EditorClosing() override;
    void EditorOpened() override;
    void Click() override;
    void DblClick() override;
    void DoEnter() override;
    void DoExit() override;
    void BeginDrag() override;
    void ScrollBarsUpdated() override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void ResizeFormats(TFontList& list, int delta, int at);
    void RememberEditCell();
    void ValidateEditCell();
    void SetSingleSelection(int ARow);
    void SelectRowsOfRectangle();
    void MakeCurrentUntracked(int ARow);
    void FireRowSelected();
    void ToggleCheckBox(int ACol, int ARow);
    void OpenComboBox(int ACol, int ARow);
    void ChooseComboItem();
    void ActivateSpecialCell(int ACol, int ARow, bool byMouse, int X);
    void StretchLastColumn();
    bool RowFormatFromCell(int ARow, TFontSetting& out) const;
    void ApplyProtocol(const ProtocolFileData& data, bool WithGeometry);
    void ApplyGeometry(const ProtocolGeometry& geometry);
    void ClearRowCells(int ARow);

    bool modified_ = false;
    QMenu* popupMenu_ = nullptr;
    TSortOptions sortOptions_;
    TPrintOptions printOptions_;
    bool hideRows_ = false, filtered_ = false, multiSelect_ = false;
    int filteredOutCount_ = 0;
    bool filterAddedBlankRow_ = false;
    QStringList userSettings_;
    TAlignment alignmentHorz_ = TAlignment::taLeftJustify;
    TVertAlignment alignmentVert_ = TVertAlignment::taTopJustify;
    TCellBevelStyle bevelStyle_ = TCellBevelStyle::cbNone;
    bool proportionalScrollBars_ = false, extendedKeys_ = false;
    TFontList columnFormats_, rowFormats_;
    bool columnFormatsFirst_ = false;
    QList<int> selectedRows_, selectionOrder_;
    bool tracking_ = true;
    bool savedUpdateOnSizeChange_ = false;
    // The cell remembered for validation.
    int editCol_ = -1, editRow_ = -1;
    QString editText_;
    bool editModified_ = false;
    // Mouse state: the cell pressed on and the drag start point (-1 when none).
    QPoint mouseDownCell_{-1, 0};
    QPoint dragStart_{-1, -1};
    bool dragging_ = false;
    bool tabHeld_ = false;
    // Where a pending insertion or deletion puts (removes) its format entry; -1 for the end.
    int rowFormatAt_ = -1, colFormatAt_ = -1;
    bool rowFormatDelete_ = false, colFormatDelete_ = false;
    int pageCounter_ = 0;
    bool sorting_ = false;
    QPointer<QListWidget> comboList_;
    QPoint comboCell_{-1, -1};
};
