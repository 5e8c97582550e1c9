#include "grid/gridaccessible.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPointer>
#include <algorithm>
#include <map>

#include "grid/mygrids.h"

namespace {

class GridAccessible;

// One cell of the table, by position; it reads the grid whenever it is asked.
class GridCellAccessible : public QAccessibleInterface, public QAccessibleTableCellInterface {
public:
    GridCellAccessible(GridAccessible* table, TMyStringGrid* grid, int row, int col)
        : table_(table), grid_(grid), row_(row), col_(col) {}

    // QAccessibleInterface
    bool isValid() const override;
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return grid_ ? grid_->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override;
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QString text(QAccessible::Text t) const override {
        if (!isValid()) return QString();
        if (t == QAccessible::Name || t == QAccessible::Value) return grid_->Cells(col_, GridRow());
        if (t == QAccessible::Description && grid_->FixedRows() > 0)
            return grid_->Cells(col_, 0);  // the column's header
        return QString();
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override {
        if (!isValid()) return QRect();
        const QRect r = grid_->CellRect(col_, GridRow());
        if (r.isEmpty()) return QRect();
        return QRect(grid_->viewport()->mapToGlobal(r.topLeft()), r.size());
    }
    QAccessible::Role role() const override { return QAccessible::Cell; }
    QAccessible::State state() const override {
        QAccessible::State s;
        if (!isValid()) {
            s.invalid = true;
            return s;
        }
        s.selectable = true;
        s.selected = isSelected();
        s.focusable = true;
        s.focused = grid_->hasFocus() && grid_->Row() == GridRow() && grid_->Col() == col_;
        s.invisible = grid_->CellRect(col_, GridRow()).isEmpty();
        return s;
    }
    void* interface_cast(QAccessible::InterfaceType t) override {
        return t == QAccessible::TableCellInterface
                   ? static_cast<QAccessibleTableCellInterface*>(this)
                   : nullptr;
    }

    // QAccessibleTableCellInterface
    bool isSelected() const override {
        if (!isValid()) return false;
        const TGridRect s = grid_->Selection();
        const int r = GridRow();
        return col_ >= s.Left && col_ <= s.Right && r >= s.Top && r <= s.Bottom;
    }
    QList<QAccessibleInterface*> columnHeaderCells() const override { return {}; }
    QList<QAccessibleInterface*> rowHeaderCells() const override { return {}; }
    int columnIndex() const override { return col_; }
    int rowIndex() const override { return row_; }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface* table() const override;

private:
    int GridRow() const { return row_ + grid_->FixedRows(); }

    GridAccessible* table_;
    QPointer<TMyStringGrid> grid_;
    int row_, col_;
};

class GridAccessible : public QAccessibleWidget, public QAccessibleTableInterface {
public:
    explicit GridAccessible(TMyStringGrid* grid) : QAccessibleWidget(grid, QAccessible::Table) {}
    ~GridAccessible() override {
        for (const auto& [index, id] : cells_)
            QAccessible::deleteAccessibleInterface(id);
    }

    TMyStringGrid* Grid() const { return static_cast<TMyStringGrid*>(widget()); }

    // The children are the cells, row by row.
    int childCount() const override { return rowCount() * columnCount(); }
    QAccessibleInterface* child(int index) const override {
        const int cols = columnCount();
        if (index < 0 || cols == 0 || index >= childCount()) return nullptr;
        return cellAt(index / cols, index % cols);
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        if (!child || child->role() != QAccessible::Cell) return -1;
        auto* cell = const_cast<QAccessibleInterface*>(child)->tableCellInterface();
        if (!cell || cell->table() != this) return -1;
        return cell->rowIndex() * columnCount() + cell->columnIndex();
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        const QPoint p = Grid()->viewport()->mapFromGlobal(QPoint(x, y));
        int c = -1, r = -1;
        Grid()->MouseToCell(p.x(), p.y(), c, r);
        if (c < 0 || r < Grid()->FixedRows()) return nullptr;
        return cellAt(r - Grid()->FixedRows(), c);
    }
    void* interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::TableInterface) return static_cast<QAccessibleTableInterface*>(this);
        return QAccessibleWidget::interface_cast(t);
    }

    // QAccessibleTableInterface
    QAccessibleInterface* caption() const override { return nullptr; }
    QAccessibleInterface* summary() const override { return nullptr; }
    QAccessibleInterface* cellAt(int row, int column) const override {
        if (row < 0 || column < 0 || row >= rowCount() || column >= columnCount()) return nullptr;
        // Cells keep their identity while the table lives, as assistive tools expect.
        auto found = cells_.find(std::pair(row, column));
        if (found != cells_.end()) return QAccessible::accessibleInterface(found->second);
        auto* cell = new GridCellAccessible(const_cast<GridAccessible*>(this), Grid(), row, column);
        cells_[std::pair(row, column)] = QAccessible::registerAccessibleInterface(cell);
        return cell;
    }
    int columnCount() const override { return Grid()->ColCount(); }
    int rowCount() const override { return std::max(0, Grid()->RowCount() - Grid()->FixedRows()); }
    QString columnDescription(int column) const override {
        return Grid()->FixedRows() > 0 ? Grid()->Cells(column, 0) : QString();
    }
    QString rowDescription(int) const override { return QString(); }
    int selectedCellCount() const override { return int(selectedCells().size()); }
    QList<QAccessibleInterface*> selectedCells() const override {
        QList<QAccessibleInterface*> cells;
        const TGridRect s = Grid()->Selection();
        const int fixed = Grid()->FixedRows();
        for (int r = std::max(s.Top, fixed); r <= s.Bottom && r < Grid()->RowCount(); ++r)
            for (int c = std::max(s.Left, 0); c <= s.Right && c < columnCount(); ++c)
                if (QAccessibleInterface* cell = cellAt(r - fixed, c)) cells << cell;
        return cells;
    }
    int selectedColumnCount() const override { return int(selectedColumns().size()); }
    QList<int> selectedColumns() const override {
        QList<int> cols;
        for (int c = 0; c < columnCount(); ++c)
            if (isColumnSelected(c)) cols << c;
        return cols;
    }
    int selectedRowCount() const override { return int(selectedRows().size()); }
    QList<int> selectedRows() const override {
        QList<int> rows;
        for (int r = 0; r < rowCount(); ++r)
            if (isRowSelected(r)) rows << r;
        return rows;
    }
    bool isColumnSelected(int column) const override {
        const TGridRect s = Grid()->Selection();
        return rowCount() > 0 && column >= s.Left && column <= s.Right &&
               s.Top <= Grid()->FixedRows() && s.Bottom >= Grid()->RowCount() - 1;
    }
    bool isRowSelected(int row) const override {
        const TGridRect s = Grid()->Selection();
        const int r = row + Grid()->FixedRows();
        return columnCount() > 0 && r >= s.Top && r <= s.Bottom && s.Left <= 0 &&
               s.Right >= columnCount() - 1;
    }
    // Selecting through an assistive tool would bypass the grid's own selection rules.
    bool selectRow(int) override { return false; }
    bool selectColumn(int) override { return false; }
    bool unselectRow(int) override { return false; }
    bool unselectColumn(int) override { return false; }
    void modelChange(QAccessibleTableModelChangeEvent*) override {}

private:
    mutable std::map<std::pair<int, int>, QAccessible::Id> cells_;
};

bool GridCellAccessible::isValid() const {
    return grid_ && row_ >= 0 && col_ >= 0 && col_ < grid_->ColCount() &&
           GridRow() < grid_->RowCount();
}

QAccessibleInterface* GridCellAccessible::parent() const {
    return table_;
}

QAccessibleInterface* GridCellAccessible::table() const {
    return table_;
}

}  // namespace

QAccessibleInterface* GridAccessibleFactory(const QString&, QObject* object) {
    if (auto* grid = qobject_cast<TMyStringGrid*>(object)) return new GridAccessible(grid);
    return nullptr;
}

void InstallGridAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(&GridAccessibleFactory);
        return true;
    }();
    (void)installed;
}
