#pragma once
// Temporary stand-ins for controls whose own libraries are not in yet. Each keeps the name and
// the part of the interface the main window uses; the real classes replace them one by one.

#include <QMouseEvent>
#include <QPushButton>
#include <QStringList>
#include <QTableWidget>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/exception.h"
#include "platform/tcolor.h"
#include "widgets/bitbtnwithcolor.h"
#include "widgets/led.h"

struct TGridRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
};

class TSortGrid : public QTableWidget {
public:
    explicit TSortGrid(QWidget* parent = nullptr) : QTableWidget(5, 5, parent) {}
    QString Cells(int c, int r) const {
        auto* i = item(r, c);
        return i ? i->text() : QString();
    }
    void SetCells(int c, int r, const QString& t) { setItem(r, c, new QTableWidgetItem(t)); }
    void SetRow(int r, const QStringList& cells) {
        for (int c = 0; c < int(cells.size()); ++c) SetCells(c, r, cells[c]);
    }
    int RowCount() const { return rowCount(); }
    void SetRowCount(int n) {
        if (n != rowCount()) modified_ = true;
        setRowCount(n);
    }
    int ColCount() const { return columnCount(); }
    void SetColCount(int n) { setColumnCount(n); }
    int ColWidths(int c) const { return columnWidth(c); }
    void SetColWidths(int c, int w) { setColumnWidth(c, w); }
    void SetSelection(const TGridRect&) {}
    int VisibleRowCount() const { return 10; }
    int TopRow() const { return 1; }
    void SetTopRow(int) {}
    void Clear() {
        setRowCount(2);
        for (int c = 0; c < columnCount(); ++c) SetCells(c, 1, {});
        modified_ = false;
    }
    bool Modified() const { return modified_; }
    void SetModified(bool m) { modified_ = m; }
    std::function<void(TSortGrid*, int, int, bool&)> OnSelectCell;

private:
    bool modified_ = false;
};

