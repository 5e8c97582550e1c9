// The semicolon file and the HTML page: any cell text gives a well-formed line and page.
#include <QStringDecoder>

#include "grid/htmlexport.h"
#include "grid/protocolfile.h"
#include "tests/fuzz/fuzzsupport.h"

namespace {

// A spreadsheet's reading of the semicolon file: cells split at semicolons, a cell starting
// with a quote runs to the undoubled closing quote, rows end at CR LF outside quotes.
std::optional<std::vector<QStringList>> ReadSemicolonFile(const QString& text) {
    std::vector<QStringList> rows;
    QStringList row;
    QString cell;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n) {
        if (cell.isEmpty() && text[i] == u'"' &&
            (i == 0 || text[i - 1] == u';' || text[i - 1] == u'\n')) {
            ++i;
            for (;;) {
                if (i >= n) return std::nullopt;  // never closed
                if (text[i] == u'"') {
                    if (i + 1 < n && text[i + 1] == u'"') {
                        cell += u'"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                cell += text[i++];
            }
            if (i < n && text[i] != u';' && text[i] != u'\r') return std::nullopt;
            continue;
        }
        if (text[i] == u';') {
            row << cell;
            cell.clear();
            ++i;
        } else if (text[i] == u'\r' && i + 1 < n && text[i + 1] == u'\n') {
            row << cell;
            cell.clear();
            rows.push_back(row);
            row.clear();
            i += 2;
        } else {
            cell += text[i++];
        }
    }
    if (!cell.isEmpty() || !row.isEmpty()) return std::nullopt;  // no final CR LF
    return rows;
}

// UTF-8 read back as it is, a leading U+FEFF included.
QString AsUtf8(const QByteArray& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    return decoder.decode(bytes);
}

QString AsUtf8(const QString& text) {
    return AsUtf8(text.toUtf8());
}

QString Unescaped(QString text) {
    text.replace("&lt;", "<").replace("&gt;", ">").replace("&quot;", "\"");
    return text.replace("&amp;", "&");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return FuzzOne([&] {
        FuzzedDataProvider in(data, size);
        const int cols = in.ConsumeIntegralInRange<int>(1, 5);
        const int count = in.ConsumeIntegralInRange<int>(0, 5);
        std::vector<QStringList> rows;
        for (int r = 0; r < count; ++r) {
            QStringList cells;
            for (int c = 0; c < cols; ++c)
                cells << AnyText(in, 16, TextKind::Any);
            rows.push_back(cells);
        }
        const QString title = AnyText(in, 16, TextKind::Any);

        // Semicolon file: every row one line of ColCount cells, each read back as written. Lone
        // surrogates cannot be UTF-8: they are the only characters that may change.
        const QString csv = AsUtf8(SemicolonFileBytes(rows));
        const std::optional<std::vector<QStringList>> back = ReadSemicolonFile(csv);
        FUZZ_CHECK(back.has_value());
        FUZZ_CHECK(back->size() == rows.size());
        for (size_t r = 0; r < rows.size(); ++r) {
            FUZZ_CHECK((*back)[r].size() == cols);
            for (int c = 0; c < cols; ++c)
                FUZZ_CHECK((*back)[r][c] == AsUtf8(rows[r][c]));
        }

        // HTML: escaping leaves no markup character, and undoing it gives the text back.
        for (const QString& text : {title, rows.empty() ? QString() : rows.front().front()}) {
            const QString escaped = HtmlEscaped(text);
            FUZZ_CHECK(!escaped.contains(u'<') && !escaped.contains(u'>') &&
                       !escaped.contains(u'"'));
            FUZZ_CHECK(Unescaped(escaped) == text);
        }
        // The page: one table row per row, one cell per cell, each cell's text as the page
        // shows it; what comes after the table is the page's own end.
        const QString page = HtmlPageText(rows, HtmlPageInfo{title});
        FUZZ_CHECK(page.count(QStringLiteral("<tr")) == qsizetype(rows.size()));
        FUZZ_CHECK(page.count(QStringLiteral("<td>")) == qsizetype(rows.size()) * cols);
        FUZZ_CHECK(page.count(u'<') == page.count(u'>'));
        qsizetype at = 0;
        for (const QStringList& row : rows)
            for (const QString& cell : row) {
                at = page.indexOf(QStringLiteral("<td>"), at) + 4;
                const qsizetype end = page.indexOf(QStringLiteral("</td>"), at);
                FUZZ_CHECK(end >= at);
                FUZZ_CHECK(page.mid(at, end - at) == HtmlCellText(cell));
                QString shown = cell;
                if (const qsizetype comma = shown.indexOf(u','); comma >= 0) shown[comma] = u'.';
                FUZZ_CHECK(cell.isEmpty() ? page.mid(at, end - at) == "&nbsp;"
                                          : Unescaped(page.mid(at, end - at)) == shown);
            }
        FUZZ_CHECK(page.endsWith(QStringLiteral("</body></html>\r\n")));
    });
}
