#pragma once

#include <QImage>
#include <QSize>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "platform/tcolor.h"

// Button states that have glyph images of their own.
enum class TButtonState { bsUp, bsDisabled, bsDown, bsExclusive };

// An image list of one fixed image size. Slots are reused lowest first, so the list only grows
// when every slot is taken.
class TGlyphList {
public:
    explicit TGlyphList(QSize size) : size_(size) {}

    QSize ImageSize() const { return size_; }
    // Stores a copy of the image in the lowest free slot and returns the slot.
    int Add(const QImage& image);
    void Delete(int index);
    const QImage& Image(int index) const { return images_[std::size_t(index)]; }
    bool Used(int index) const;
    int Count() const { return count_; }                  // slots in use
    int Capacity() const { return int(images_.size()); }  // slots ever allocated

private:
    QSize size_;
    std::vector<QImage> images_;
    std::vector<bool> used_;
    int count_ = 0;
};

// One glyph list per image size, shared by every coloured button. It exists while at least one
// glyph holder does (or while it still holds a list).
class TGlyphCache {
public:
    // The list for this size, created when there is none.
    TGlyphList* GetList(QSize size);
    // Called when a holder returned slots: an empty list is removed and freed.
    void ReturnList(TGlyphList* list);
    bool Empty() const { return lists_.empty(); }
    int ListCount() const { return int(lists_.size()); }
    // The list for a size if there is one (no creation).
    TGlyphList* FindList(QSize size) const;

private:
    struct SizeLess {
        bool operator()(QSize a, QSize b) const {
            return a.width() != b.width() ? a.width() < b.width() : a.height() < b.height();
        }
    };
    std::map<QSize, std::unique_ptr<TGlyphList>, SizeLess> lists_;
};

// The shared cache, or nullptr while no glyph holder exists.
TGlyphCache* SharedGlyphCache();

// A button's glyph: the source strip of 1 to 4 images and one built image per state, made in
// the button's colour when first needed and kept until the glyph, count or colour changes.
class TButtonGlyph {
public:
    TButtonGlyph();
    ~TButtonGlyph();
    TButtonGlyph(const TButtonGlyph&) = delete;
    TButtonGlyph& operator=(const TButtonGlyph&) = delete;

    const QImage& Glyph() const { return original_; }
    void SetGlyph(const QImage& image);
    int NumGlyphs() const { return numGlyphs_; }
    // Values below 1 are ignored; the caller clamps the upper end.
    void SetNumGlyphs(int n);
    TColor TransparentColor() const { return transparentColor_; }
    // Size of one image of the strip; empty without a glyph.
    QSize GlyphSize() const;

    // Builds (once) and returns the slot of the state's image in List().
    int CreateButtonGlyph(TButtonState state, TColor face);
    // The built image of a state, or nullptr when it is not built.
    const QImage* StateImage(TButtonState state) const;
    int ImageIndex(TButtonState state) const { return indexes_[std::size_t(state)]; }
    TGlyphList* List() const { return list_; }
    // Discards every built image and returns its slots to the shared list.
    void Invalidate();

    // Raised when the glyph or the count changed (the owner repaints).
    std::function<void()> OnChange;

private:
    QImage SourceImage(TButtonState state) const;
    bool IsTransparent(QRgb pixel) const;

    QImage original_;
    TGlyphList* list_ = nullptr;
    std::array<int, 4> indexes_{{-1, -1, -1, -1}};
    TColor transparentColor_ = clOlive;
    int numGlyphs_ = 1;
};
