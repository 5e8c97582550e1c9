#include "widgets/buttonglyph.h"

namespace {

TGlyphCache* g_cache = nullptr;
int g_holders = 0;

QRgb Rgb(TColor c) {
    return ToQColor(c).rgb();
}

}  // namespace

int TGlyphList::Add(const QImage& image) {
    int slot = 0;
    while (slot < Capacity() && used_[std::size_t(slot)])
        ++slot;
    if (slot == Capacity()) {
        images_.emplace_back();
        used_.push_back(false);
    }
    images_[std::size_t(slot)] = image;
    used_[std::size_t(slot)] = true;
    ++count_;
    return slot;
}

void TGlyphList::Delete(int index) {
    if (!Used(index)) return;
    used_[std::size_t(index)] = false;
    images_[std::size_t(index)] = QImage();
    --count_;
}

bool TGlyphList::Used(int index) const {
    return index >= 0 && index < Capacity() && used_[std::size_t(index)];
}

TGlyphList* TGlyphCache::GetList(QSize size) {
    auto& slot = lists_[size];
    if (!slot) slot = std::make_unique<TGlyphList>(size);
    return slot.get();
}

TGlyphList* TGlyphCache::FindList(QSize size) const {
    const auto it = lists_.find(size);
    return it == lists_.end() ? nullptr : it->second.get();
}

void TGlyphCache::ReturnList(TGlyphList* list) {
    if (!list || list->Count() != 0) return;
    const auto it = lists_.find(list->ImageSize());
    if (it != lists_.end() && it->second.get() == list) lists_.erase(it);
}

TGlyphCache* SharedGlyphCache() {
    return g_cache;
}

TButtonGlyph::TButtonGlyph() {
    if (!g_cache) g_cache = new TGlyphCache;
    ++g_holders;
}

TButtonGlyph::~TButtonGlyph() {
    Invalidate();
    if (--g_holders == 0 && g_cache && g_cache->Empty()) {
        delete g_cache;
        g_cache = nullptr;
    }
}

void TButtonGlyph::Invalidate() {
    for (int& index : indexes_) {
        if (index != -1 && list_) list_->Delete(index);
        index = -1;
    }
    if (list_ && g_cache) g_cache->ReturnList(list_);
    list_ = nullptr;
}

void TButtonGlyph::SetGlyph(const QImage& image) {
    Invalidate();
    original_ = image;
    if (image.height() > 0) {
        // A monochrome strip has white as its transparent colour; any other takes the colour of
        // its bottom-left pixel.
        if (image.format() == QImage::Format_Mono || image.format() == QImage::Format_MonoLSB)
            transparentColor_ = clWhite;
        else
            transparentColor_ = FromQColor(image.pixelColor(0, image.height() - 1));
        if (image.width() % image.height() == 0) {
            const int count = image.width() / image.height();
            // A strip with no width yields no count; the holder keeps at least one image.
            if (count > 4)
                numGlyphs_ = 1;
            else if (count > 0)
                numGlyphs_ = count;
        }
    }
    if (OnChange) OnChange();
}

void TButtonGlyph::SetNumGlyphs(int n) {
    if (n < 1 || n == numGlyphs_) return;
    Invalidate();
    numGlyphs_ = n;
    if (OnChange) OnChange();
}

QSize TButtonGlyph::GlyphSize() const {
    if (original_.isNull()) return QSize(0, 0);
    return QSize(original_.width() / numGlyphs_, original_.height());
}

bool TButtonGlyph::IsTransparent(QRgb pixel) const {
    return qAlpha(pixel) == 0 || (pixel & 0xFFFFFFu) == (Rgb(transparentColor_) & 0xFFFFFFu);
}

QImage TButtonGlyph::SourceImage(TButtonState state) const {
    int n = int(state);
    if (n >= numGlyphs_) n = 0;
    if (state == TButtonState::bsDown && numGlyphs_ < 3) n = 0;
    const QSize g = GlyphSize();
    return original_.copy(n * g.width(), 0, g.width(), g.height())
        .convertToFormat(QImage::Format_ARGB32);
}

int TButtonGlyph::CreateButtonGlyph(TButtonState state, TColor face) {
    int& index = indexes_[std::size_t(state)];
    if (index != -1) return index;
    const QSize g = GlyphSize();
    if (g.isEmpty()) return -1;
    if (!list_) list_ = g_cache->GetList(g);

    const QImage src = SourceImage(state);
    const QRgb faceRgb = Rgb(face);
    QImage out(g, QImage::Format_ARGB32);
    out.fill(faceRgb);

    auto recolor = [&](auto mapPixel) {
        for (int y = 0; y < g.height(); ++y) {
            const auto* in = reinterpret_cast<const QRgb*>(src.constScanLine(y));
            auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
            for (int x = 0; x < g.width(); ++x)
                line[x] = mapPixel(in[x], line[x]);
        }
    };

    switch (state) {
        case TButtonState::bsUp:
        case TButtonState::bsDown:
            recolor([&](QRgb s, QRgb) { return IsTransparent(s) ? faceRgb : (s | 0xFF000000u); });
            break;
        case TButtonState::bsExclusive:
            // Kept as it is; the transparent colour becomes the image's mask.
            recolor([&](QRgb s, QRgb) { return IsTransparent(s) ? QRgb(0) : (s | 0xFF000000u); });
            break;
        case TButtonState::bsDisabled:
            if (numGlyphs_ > 1) {
                // The strip has a disabled image of its own: only its light, grey and background
                // pixels follow the system and face colours.
                const QRgb white = qRgb(0xFF, 0xFF, 0xFF);
                const QRgb grey = qRgb(0x80, 0x80, 0x80);
                recolor([&](QRgb s, QRgb) {
                    if (IsTransparent(s)) return faceRgb;
                    const QRgb opaque = s | 0xFF000000u;
                    if (opaque == white) return Rgb(clBtnHighlight);
                    if (opaque == grey) return Rgb(clBtnShadow);
                    return opaque;
                });
            } else {
                // Embossed silhouette: every pixel that is neither background nor white, once in
                // the highlight colour shifted by (1, 1), then in the shadow colour in place.
                auto inSilhouette = [&](int x, int y) {
                    if (x < 0 || y < 0 || x >= g.width() || y >= g.height()) return false;
                    const QRgb s = src.pixel(x, y);
                    return !IsTransparent(s) && (s | 0xFF000000u) != qRgb(0xFF, 0xFF, 0xFF);
                };
                for (int y = 0; y < g.height(); ++y)
                    for (int x = 0; x < g.width(); ++x) {
                        if (inSilhouette(x - 1, y - 1)) out.setPixel(x, y, Rgb(clBtnHighlight));
                    }
                for (int y = 0; y < g.height(); ++y)
                    for (int x = 0; x < g.width(); ++x)
                        if (inSilhouette(x, y)) out.setPixel(x, y, Rgb(clBtnShadow));
            }
            break;
    }
    index = list_->Add(out);
    return index;
}

const QImage* TButtonGlyph::StateImage(TButtonState state) const {
    const int index = indexes_[std::size_t(state)];
    if (index == -1 || !list_) return nullptr;
    return &list_->Image(index);
}
