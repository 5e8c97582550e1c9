// Everything the grid's open does before it touches the grid: bytes to protocol data. And the
// round trip of the pure representation: a grid's data written and read back is equal.
#include "grid/protocolfile.h"
#include "grid/textfile.h"
#include "tests/fuzz/fuzzsupport.h"

namespace {

bool SameData(const ProtocolFileData& a, const ProtocolFileData& b) {
    return a.columnFormatsFirst.value_or(false) == b.columnFormatsFirst.value_or(false) &&
           a.columnFormats == b.columnFormats && a.rowFormats == b.rowFormats &&
           a.userSettings == b.userSettings && a.rows == b.rows;
}

std::optional<ProtocolFileData> Reread(const ProtocolFileData& data, bool withGeometry) {
    return ParseProtocolLines(DecodeLines(EncodeLines(ProtocolLines(data))), withGeometry);
}

TColor AnyColour(FuzzedDataProvider& in) {
    return in.ConsumeBool() ? TColor(in.ConsumeIntegralInRange<int>(-2, 40)) | TColor(0xFF000000u)
                            : in.ConsumeIntegral<TColor>();
}

TFontList AnyFormats(FuzzedDataProvider& in) {
    TFontList list(in.ConsumeIntegralInRange<size_t>(0, 6));
    for (TFontSetting& s : list) {
        s.Color = AnyColour(in);
        s.BkColor = AnyColour(in);
        s.Bold = in.ConsumeBool();
        s.Italic = in.ConsumeBool();
        s.Underline = in.ConsumeBool();
    }
    return list;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return FuzzOne([&] {
        const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
        const QStringList lines = DecodeLines(bytes);
        for (bool withGeometry : {false, true}) {
            QString error;
            const std::optional<ProtocolFileData> read =
                ParseProtocolLines(lines, withGeometry, &error);
            if (!read) {
                FUZZ_CHECK(!error.isEmpty());
                continue;
            }
            // What a file gives is what the grid shows: the counts it takes are consistent,
            // and saving that and opening it again gives the same protocol.
            FUZZ_CHECK(read->rows.empty() || !read->rows.back().isEmpty());
            for (const TFontSetting& s : read->columnFormats)
                FUZZ_CHECK(!s.Active);
            if (withGeometry) {
                FUZZ_CHECK(read->geometry.has_value());
                FUZZ_CHECK(int(read->geometry->colWidths.size()) == read->ColCount());
            }
            const std::optional<ProtocolFileData> again = Reread(*read, false);
            FUZZ_CHECK(again.has_value());
            FUZZ_CHECK(SameData(*read, *again));
        }

        // A grid's data (every row ColCount cells, no NUL in a cell) survives a save and load,
        // geometry included.
        FuzzedDataProvider in(data, size);
        ProtocolFileData grid;
        grid.columnFormatsFirst = in.ConsumeBool();
        grid.columnFormats = AnyFormats(in);
        grid.rowFormats = AnyFormats(in);
        grid.userSettings = AnyList(in, 4, 12, TextKind::Characters);
        const int cols = in.ConsumeIntegralInRange<int>(1, 6);
        const int rows = in.ConsumeIntegralInRange<int>(1, 6);
        for (int r = 0; r < rows; ++r) {
            QStringList cells;
            for (int c = 0; c < cols; ++c)
                cells << AnyText(in, 10, TextKind::Characters);
            grid.rows.push_back(cells);
        }
        ProtocolGeometry g;
        g.width = in.ConsumeIntegral<int>();
        g.height = in.ConsumeIntegral<int>();
        for (int c = 0; c < cols; ++c)
            g.colWidths.push_back(in.ConsumeIntegral<int>());
        if (in.ConsumeBool()) g.left = in.ConsumeIntegral<int>();
        if (in.ConsumeBool()) g.top = in.ConsumeIntegral<int>();
        // -1 is how the file says "no position".
        if (g.left == -1) g.left.reset();
        if (g.top == -1) g.top.reset();
        grid.geometry = g;
        const std::optional<ProtocolFileData> back = Reread(grid, true);
        FUZZ_CHECK(back.has_value());
        FUZZ_CHECK(SameData(grid, *back));
        FUZZ_CHECK(back->geometry->width == g.width && back->geometry->height == g.height);
        FUZZ_CHECK(back->geometry->colWidths == g.colWidths);
        FUZZ_CHECK(back->geometry->left == g.left && back->geometry->top == g.top);
    });
}
