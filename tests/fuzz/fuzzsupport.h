#pragma once
// Shared by the fuzz targets: property checks that stop the run with a message, and texts made
// from the fuzzer's bytes.
#include <fuzzer/FuzzedDataProvider.h>

#include <QString>
#include <QStringList>
#include <cstdio>
#include <cstdlib>
#include <exception>

// A broken property is a finding like a crash: print it and abort, so libFuzzer keeps the input.
#define FUZZ_CHECK(cond)                                                                       \
    do {                                                                                       \
        if (!(cond)) {                                                                         \
            std::fprintf(stderr, "property broken at %s:%d: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (0)

// Runs one input; an exception escaping a reader is a finding too.
template <typename F>
int FuzzOne(F&& body) {
    try {
        body();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "exception escaped: %s\n", e.what());
        std::abort();
    } catch (...) {
        std::fprintf(stderr, "exception escaped\n");
        std::abort();
    }
    return 0;
}

inline QString Latin1Text(const uint8_t* data, size_t size) {
    return QString::fromLatin1(reinterpret_cast<const char*>(data), qsizetype(size));
}

enum class TextKind {
    Any,        // any UTF-16 code units, lone surrogates and NUL too
    NoNul,      // NUL, the character that ends every read, becomes "\x01"
    Characters  // also without lone surrogates, so as a file holds it (no NUL, valid UTF-8)
};

inline QString AnyText(FuzzedDataProvider& in, size_t maxUnits, TextKind kind) {
    const size_t units = in.ConsumeIntegralInRange<size_t>(0, maxUnits);
    QString text;
    text.reserve(qsizetype(units));
    for (size_t i = 0; i < units && in.remaining_bytes() > 0; ++i) {
        // Mostly the characters that matter to the formats, sometimes anything at all.
        char16_t c;
        switch (in.ConsumeIntegralInRange<int>(0, 3)) {
            case 0:
                c = char16_t(in.ConsumeIntegralInRange<int>(0, 127));
                break;
            case 1:
                c = u",\"\r\n ;<>&\t"[in.ConsumeIntegralInRange<int>(0, 10)];
                break;
            case 2:
                c = char16_t(in.ConsumeIntegralInRange<int>(0x80, 0x2FF));
                break;
            default:
                c = in.ConsumeIntegral<char16_t>();
                break;
        }
        if (kind != TextKind::Any && c == 0) c = 1;
        if (kind == TextKind::Characters && c >= 0xD800 && c <= 0xDFFF) c = 0xFFFD;
        text += QChar(c);
    }
    return text;
}

inline QStringList AnyList(FuzzedDataProvider& in, size_t maxItems, size_t maxUnits,
                           TextKind kind) {
    QStringList items;
    const size_t n = in.ConsumeIntegralInRange<size_t>(0, maxItems);
    for (size_t i = 0; i < n && in.remaining_bytes() > 0; ++i)
        items << AnyText(in, maxUnits, kind);
    return items;
}
