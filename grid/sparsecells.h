#pragma once

#include <QString>
#include <algorithm>
#include <memory>
#include <vector>

// Cell storage of the string grid. Rows and cells exist only once something was written to
// them, and nothing is dropped when the grid's counts shrink: cells outside the current counts
// come back when the counts grow again (the filter keeps rows there).

// One cell: its text and an object reference that the grid does not own.
struct TGridCell {
    QString Text;
    void* Object = nullptr;
};

// A vector of optional owned items, addressed by index; missing items read as null.
template <class T>
class TSparsePointerArray {
public:
    T* Get(int i) const { return i >= 0 && i < Count() ? items_[size_t(i)].get() : nullptr; }
    T& GetOrCreate(int i) {
        if (i >= Count()) items_.resize(size_t(i) + 1);
        auto& slot = items_[size_t(i)];
        if (!slot) slot = std::make_unique<T>();
        return *slot;
    }
    std::unique_ptr<T> Take(int i) { return i < Count() ? std::move(items_[size_t(i)]) : nullptr; }
    void Put(int i, std::unique_ptr<T> item) {
        if (!item && i >= Count()) return;
        if (i >= Count()) items_.resize(size_t(i) + 1);
        items_[size_t(i)] = std::move(item);
    }
    // Upper bound of the used indexes (every index at or beyond it is empty).
    int Count() const { return int(items_.size()); }
    // Opens an empty slot at i; the items from i on move up by one.
    void Insert(int i) {
        if (i < Count()) items_.insert(items_.begin() + i, nullptr);
    }
    // Removes slot i; the items after it move down by one.
    void Delete(int i) {
        if (i < Count()) items_.erase(items_.begin() + i);
    }
    // Moves item From to position To; the items between shift by one toward From.
    void Move(int from, int to) {
        if (from == to) return;
        const int hi = std::max(from, to);
        if (hi >= Count()) items_.resize(size_t(hi) + 1);
        auto b = items_.begin();
        if (from < to)
            std::rotate(b + from, b + from + 1, b + to + 1);
        else
            std::rotate(b + to, b + from, b + from + 1);
    }
    void Exchange(int a, int b) {
        const int hi = std::max(a, b);
        if (hi >= Count()) items_.resize(size_t(hi) + 1);
        std::swap(items_[size_t(a)], items_[size_t(b)]);
    }
    void Clear() { items_.clear(); }

private:
    std::vector<std::unique_ptr<T>> items_;
};

// The cells of one row, by column.
class TStringSparseList {
public:
    const QString& Get(int i) const;
    void Set(int i, const QString& s);
    void* GetObject(int i) const;
    void SetObject(int i, void* o);
    int Count() const { return int(cells_.size()); }
    void Insert(int i);
    void Delete(int i);
    void Move(int from, int to);
    void Clear() { cells_.clear(); }
    // True when no cell holds text or an object.
    bool IsBlank() const;

private:
    void Trim();
    std::vector<TGridCell> cells_;
};

using TSparseList = TSparsePointerArray<TStringSparseList>;
