#include "grid/sparsecells.h"

#include <algorithm>

namespace {
const QString kEmpty;
}

const QString& TStringSparseList::Get(int i) const {
    return i >= 0 && i < Count() ? cells_[size_t(i)].Text : kEmpty;
}

void TStringSparseList::Set(int i, const QString& s) {
    if (i < 0) return;
    if (i >= Count()) {
        if (s.isEmpty()) return;
        cells_.resize(size_t(i) + 1);
    }
    cells_[size_t(i)].Text = s;
    if (s.isEmpty()) Trim();
}

void* TStringSparseList::GetObject(int i) const {
    return i >= 0 && i < Count() ? cells_[size_t(i)].Object : nullptr;
}

void TStringSparseList::SetObject(int i, void* o) {
    if (i < 0) return;
    if (i >= Count()) {
        if (!o) return;
        cells_.resize(size_t(i) + 1);
    }
    cells_[size_t(i)].Object = o;
    if (!o) Trim();
}

void TStringSparseList::Insert(int i) {
    if (i < Count()) cells_.insert(cells_.begin() + i, TGridCell{});
}

void TStringSparseList::Delete(int i) {
    if (i < Count()) {
        cells_.erase(cells_.begin() + i);
        Trim();
    }
}

void TStringSparseList::Move(int from, int to) {
    if (from == to) return;
    const int hi = std::max(from, to);
    if (hi >= Count()) cells_.resize(size_t(hi) + 1);
    auto b = cells_.begin();
    if (from < to)
        std::rotate(b + from, b + from + 1, b + to + 1);
    else
        std::rotate(b + to, b + from, b + from + 1);
    Trim();
}

bool TStringSparseList::IsBlank() const {
    return std::all_of(cells_.begin(), cells_.end(),
                       [](const TGridCell& c) { return c.Text.isEmpty() && !c.Object; });
}

void TStringSparseList::Trim() {
    while (!cells_.empty() && cells_.back().Text.isEmpty() && !cells_.back().Object)
        cells_.pop_back();
}
