#include "grid/commalist.h"

namespace {

bool IsBlank(QChar c) {
    return c.unicode() >= 1 && c.unicode() <= 32;
}

bool NeedsQuotes(const QString& item) {
    for (QChar c : item)
        if (c.unicode() <= 32 || c == u'"' || c == u',') return true;
    return false;
}

}  // namespace

QString CommaListText(const QStringList& items) {
    if (items.size() == 1 && items.front().isEmpty()) return QStringLiteral("\"\"");
    qsizetype length = items.size();
    for (const QString& item : items)
        length += item.size();
    QString out;
    out.reserve(length + 8);
    bool first = true;
    for (const QString& item : items) {
        if (!first) out += u',';
        first = false;
        if (!NeedsQuotes(item)) {
            out += item;
            continue;
        }
        out += u'"';
        for (QChar c : item) {
            if (c == u'"') out += u'"';
            out += c;
        }
        out += u'"';
    }
    return out;
}

bool IsBlankCommaList(QStringView line) {
    for (QChar c : line) {
        if (c.unicode() == 0) return true;
        if (!IsBlank(c)) return false;
    }
    return true;
}

QStringList ParseCommaList(QStringView line, qsizetype maxItems) {
    const qsizetype nul = line.indexOf(QChar(0));
    if (nul >= 0) line = line.left(nul);
    const qsizetype n = line.size();
    QStringList items;
    qsizetype p = 0;
    while (p < n && IsBlank(line[p]))
        ++p;
    while (p < n && (maxItems < 0 || items.size() <= maxItems)) {
        if (line[p] == u'"') {
            QString item;
            ++p;
            while (p < n) {
                if (line[p] != u'"') {
                    const qsizetype start = p;
                    while (p < n && line[p] != u'"')
                        ++p;
                    item += line.mid(start, p - start);
                } else if (p + 1 < n && line[p + 1] == u'"') {
                    item += u'"';
                    p += 2;
                } else {
                    ++p;
                    break;
                }
            }
            items << item;
        } else {
            const qsizetype start = p;
            while (p < n && line[p].unicode() > 32 && line[p] != u',')
                ++p;
            items << line.mid(start, p - start).toString();
        }
        while (p < n && IsBlank(line[p]))
            ++p;
        if (p < n && line[p] == u',') {
            const bool lastCharacter = p == n - 1;
            ++p;
            while (p < n && IsBlank(line[p]))
                ++p;
            if (lastCharacter) items << QString();
        }
    }
    return items;
}
