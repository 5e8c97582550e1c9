// The race journal's reader on any bytes, its replay, and the writer and reader as a pair.
#include <chrono>

#include "journal/journalformat.h"
#include "journal/journalcommands.h"
#include "tests/fuzz/fuzzsupport.h"

namespace {

QByteArray AnyToken(FuzzedDataProvider& in, const char* alphabet, size_t alphabetSize,
                    size_t maxLength) {
    QByteArray token;
    const size_t n = in.ConsumeIntegralInRange<size_t>(1, maxLength);
    for (size_t i = 0; i < n; ++i)
        token += alphabet[in.ConsumeIntegralInRange<size_t>(0, alphabetSize - 1)];
    return token;
}

void RecordsRoundTrip(FuzzedDataProvider& in) {
    static constexpr char kUpper[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ-";
    static constexpr char kLower[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    JournalRecord r{AnyToken(in, kUpper, sizeof kUpper - 1, 12)};
    const size_t fields = in.ConsumeIntegralInRange<size_t>(0, 8);
    for (size_t i = 0; i < fields && in.remaining_bytes() > 0; ++i)
        r.fields.emplace_back(AnyToken(in, kLower, sizeof kLower - 1, 8),
                              AnyText(in, 24, TextKind::Characters));
    const QByteArray line = FormatRecord(r);
    // One line: a pager shows it as one, and a torn write is told by its missing line feed.
    FUZZ_CHECK(line.endsWith('\n'));
    FUZZ_CHECK(line.count('\n') == 1);
    FUZZ_CHECK(!line.contains('\r'));
    const QByteArrayView body = QByteArrayView(line).chopped(1);
    JournalRecord back;
    FUZZ_CHECK(ParseRecord(body, back));
    FUZZ_CHECK(back.type == r.type);
    FUZZ_CHECK(back.fields == r.fields);

    // Any one byte changed is either refused or reads as the same record (the checksum's
    // hexadecimal digits may change case).
    if (body.isEmpty()) return;
    QByteArray damaged = body.toByteArray();
    const auto at = in.ConsumeIntegralInRange<qsizetype>(0, damaged.size() - 1);
    const char was = damaged[at];
    damaged[at] = char(in.ConsumeIntegral<unsigned char>());
    if (damaged[at] == was) return;
    JournalRecord read;
    if (ParseRecord(damaged, read)) {
        FUZZ_CHECK(read.type == r.type);
        FUZZ_CHECK(read.fields == r.fields);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return FuzzOne([&] {
        // Any file: every sound line read, the damaged ones passed over, then replayed into a race.
        const auto begin = std::chrono::steady_clock::now();
        const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
        const JournalContents c = ParseJournal(bytes);
        FUZZ_CHECK(qsizetype(c.records.size()) <= bytes.count('\n'));
        using S = JournalContents::Status;
        FUZZ_CHECK((c.status == S::Damaged) == !c.damagedLines.empty());
        if (c.status != S::Ok && c.status != S::Damaged) FUZZ_CHECK(c.records.empty());
        const TRace race = Replay(c.records);
        FUZZ_CHECK(race.RowCount() >= 1 && race.RowCount() <= TRace::kMaxRows);
        FUZZ_CHECK(race.ColCount() >= 1 && race.ColCount() <= TRace::kMaxCols);
        FUZZ_CHECK(race.LapCount() >= 0 && race.LapCount() < TRace::kMaxRows);
        // A file the program can be asked to open must never hold the window for long.
        FUZZ_CHECK(std::chrono::steady_clock::now() - begin < std::chrono::seconds(2));

        FuzzedDataProvider in(data, size);
        RecordsRoundTrip(in);
    });
}
