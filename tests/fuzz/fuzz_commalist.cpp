// The comma-list reader on any line, and the writer and reader as a pair.
#include "grid/commalist.h"
#include "tests/fuzz/fuzzsupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return FuzzOne([&] {
        // Any line: reading it, writing what was read and reading that again gives the same
        // items (the writer's form is a fixed point of the reader).
        const QString line =
            QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
        const QStringList items = ParseCommaList(line);
        for (const QString& item : items)
            FUZZ_CHECK(!item.contains(QChar(0)));
        FUZZ_CHECK(ParseCommaList(CommaListText(items)) == items);
        FUZZ_CHECK(ParseCommaList(Latin1Text(data, size)).size() <= qsizetype(size) + 1);

        // Any list without NUL (reading stops there) is read back as written: quotes, commas,
        // blanks, control characters, non-ASCII, empty items.
        FuzzedDataProvider in(data, size);
        const QStringList list = AnyList(in, 12, 24, TextKind::NoNul);
        const QString text = CommaListText(list);
        FUZZ_CHECK(ParseCommaList(text) == list);
    });
}
