#include "grid/protocolfile.h"

#include "grid/commalist.h"
#include "grid/textfile.h"

namespace {

const QString kGeneral = QStringLiteral("GenerelSettings");
const QString kFontCol = QStringLiteral("FontColSettings");
const QString kFontRow = QStringLiteral("FontRowSettings");
const QString kUser = QStringLiteral("UserSettings");

QString Flag(bool on) {
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

QStringList FormatSection(const QString& name, const TFontList& list) {
    QStringList items{name};
    for (const TFontSetting& setting : list)
        items << FontSettingText(setting);
    return items;
}

bool Fail(QString* error, const QString& reason) {
    if (error) *error = reason;
    return false;
}

// Reads the entries of a format section (items after the section name).
bool ReadFormats(const QStringList& items, const QString& section, TFontList& list,
                 QString* error) {
    list.clear();
    list.reserve(items.size());
    for (qsizetype i = 1; i < items.size(); ++i) {
        std::optional<TFontSetting> setting = ParseFontSetting(items[i]);
        if (!setting)
            return Fail(error,
                        QStringLiteral("It is not a protocol file: entry %2 of %1 is no format: %3")
                            .arg(section)
                            .arg(i)
                            .arg(items[i]));
        list.push_back(*setting);
    }
    return true;
}

std::optional<int> WholeNumber(const QStringList& items, int index) {
    if (index >= items.size()) return std::nullopt;
    bool ok = false;
    const int value = items[index].toInt(&ok);
    if (!ok) return std::nullopt;
    return value;
}

bool ReadGeometry(const QStringList& items, int colCount, ProtocolGeometry& geometry,
                  QString* error) {
    std::vector<int> values;
    for (int i = 0; i < colCount + 4; ++i) {
        std::optional<int> value = WholeNumber(items, i);
        if (!value)
            return Fail(error, QStringLiteral("It is not a protocol file: item %1 of its geometry "
                                              "line is not a whole number.")
                                   .arg(i + 1));
        values.push_back(*value);
    }
    geometry.width = values[0];
    geometry.height = values[1];
    geometry.colWidths.assign(values.begin() + 2, values.begin() + 2 + colCount);
    if (items[colCount + 2] != QLatin1String("-1")) geometry.left = values[colCount + 2];
    if (items[colCount + 3] != QLatin1String("-1")) geometry.top = values[colCount + 3];
    return true;
}

bool NeedsSemicolonQuotes(const QString& cell) {
    for (QChar c : cell)
        if (c == u';' || c == u'"' || c == u'\r' || c == u'\n') return true;
    return false;
}

}  // namespace

QString FontSettingText(const TFontSetting& setting) {
    return CommaListText({ColorToString(setting.Color), Flag(setting.Bold), Flag(setting.Italic),
                          Flag(setting.Underline), ColorToString(setting.BkColor)});
}

std::optional<TFontSetting> ParseFontSetting(const QString& text) {
    const QStringList items = ParseCommaList(text);
    if (items.size() < 5) return std::nullopt;
    const std::optional<TColor> color = StringToColor(items[0]);
    const std::optional<TColor> bkColor = StringToColor(items[4]);
    if (!color || !bkColor) return std::nullopt;
    TFontSetting setting;
    setting.Color = *color;
    setting.Bold = items[1] == QLatin1String("1");
    setting.Italic = items[2] == QLatin1String("1");
    setting.Underline = items[3] == QLatin1String("1");
    setting.BkColor = *bkColor;
    setting.Active = false;
    return setting;
}

QStringList ProtocolLines(const ProtocolFileData& data) {
    QStringList lines;
    lines.reserve(qsizetype(data.rows.size()) + 5);
    lines << CommaListText({kGeneral, Flag(data.columnFormatsFirst.value_or(false))});
    lines << CommaListText(FormatSection(kFontCol, data.columnFormats));
    lines << CommaListText(FormatSection(kFontRow, data.rowFormats));
    lines << CommaListText(QStringList{kUser} + data.userSettings);
    QStringList geometry;
    if (data.geometry) {
        const ProtocolGeometry& g = *data.geometry;
        geometry << QString::number(g.width) << QString::number(g.height);
        for (int w : g.colWidths)
            geometry << QString::number(w);
        geometry << QString::number(g.left.value_or(-1)) << QString::number(g.top.value_or(-1));
    } else {
        const int colCount = data.rows.empty() ? 0 : int(data.rows.front().size());
        for (int i = 0; i < colCount + 4; ++i)
            geometry << QStringLiteral("-1");
    }
    lines << CommaListText(geometry);
    for (const QStringList& row : data.rows)
        lines << CommaListText(row);
    return lines;
}

std::optional<ProtocolFileData> ParseProtocolLines(const QStringList& lines, bool withGeometry,
                                                   QString* error) {
    ProtocolFileData data;
    qsizetype next = 0;
    // Each section is optional; a line that is not the expected one is left for the next step.
    auto section = [&](const QString& name) -> std::optional<QStringList> {
        if (next >= lines.size()) return std::nullopt;
        QStringList items = ParseCommaList(lines[next]);
        if (items.isEmpty() || items.front() != name) return std::nullopt;
        ++next;
        return items;
    };
    if (std::optional<QStringList> items = section(kGeneral))
        data.columnFormatsFirst = items->size() > 1 && (*items)[1] == QLatin1String("1");
    if (std::optional<QStringList> items = section(kFontCol))
        if (!ReadFormats(*items, kFontCol, data.columnFormats, error)) return std::nullopt;
    if (std::optional<QStringList> items = section(kFontRow))
        if (!ReadFormats(*items, kFontRow, data.rowFormats, error)) return std::nullopt;
    if (std::optional<QStringList> items = section(kUser)) data.userSettings = items->mid(1);

    if (next >= lines.size()) {
        Fail(error, QStringLiteral("It is not a protocol file: it holds no protocol lines."));
        return std::nullopt;
    }
    const qsizetype geometryLine = next++;
    // Blank lines after the last row (an editor's or a mail program's) are no rows: the writer
    // never writes a row as a blank line (a row of one empty cell is two quotes).
    qsizetype end = lines.size();
    while (end > next && IsBlankCommaList(lines[end - 1]))
        --end;
    data.rows.reserve(size_t(end - next));
    qsizetype cells = 0;
    for (; next < end; ++next) {
        // A row beyond the limit is read only as far as needed to know it.
        data.rows.push_back(ParseCommaList(lines[next], kMaxProtocolColumns));
        cells += data.rows.back().size();
        // Bounded, so that opening a file never stops the window (and the running clock) for
        // longer than a moment.
        if (data.rows.back().size() > kMaxProtocolColumns || cells > kMaxProtocolCells) {
            Fail(error, TooManyCellsProblem());
            return std::nullopt;
        }
    }
    if (withGeometry) {
        ProtocolGeometry geometry;
        if (!ReadGeometry(ParseCommaList(lines[geometryLine], data.ColCount() + 4), data.ColCount(),
                          geometry, error))
            return std::nullopt;
        data.geometry = std::move(geometry);
    }
    return data;
}

QString CantWriteMessage(const QString& fileName, const QString& reason) {
    QString message = QStringLiteral("Can't write to file:\r") + fileName;
    if (!reason.isEmpty()) message += u'\r' + reason;
    return message;
}

QString SaveProtocolFile(const QString& fileName, const ProtocolFileData& data) {
    QString reason;
    if (WriteFileAtomically(fileName, EncodeLines(ProtocolLines(data)), &reason)) return QString();
    return CantWriteMessage(fileName, reason);
}

std::optional<ProtocolFileData> LoadProtocolFile(const QString& fileName, bool withGeometry,
                                                 QString* error) {
    const std::optional<QStringList> lines = ReadTextFileLines(fileName, error);
    if (!lines) return std::nullopt;
    return ParseProtocolLines(*lines, withGeometry, error);
}

QString TooManyCellsProblem() {
    return QStringLiteral("It has more than %1 columns or %2 cells, the most a protocol may have.")
        .arg(kMaxProtocolColumns)
        .arg(kMaxProtocolCells);
}

QString CantReadProtocolMessage(const QString& fileName) {
    QString message = QStringLiteral("Can't read the protocol file:\r") + fileName;
    // Read once more for the reason; the file itself is looked at first, so that a FIFO or a
    // device put in its place meanwhile is not opened.
    QString problem = RegularFileProblem(fileName);
    if (problem.isEmpty()) LoadProtocolFile(fileName, false, &problem);
    if (!problem.isEmpty()) message += u'\r' + problem;
    return message;
}

QByteArray SemicolonFileBytes(const std::vector<QStringList>& rows) {
    QString text;
    qsizetype length = 0;
    for (const QStringList& row : rows)
        for (const QString& cell : row)
            length += cell.size() + 1;
    text.reserve(length + 2 * qsizetype(rows.size()));
    for (const QStringList& row : rows) {
        bool first = true;
        for (const QString& cell : row) {
            if (!first) text += u';';
            first = false;
            if (!NeedsSemicolonQuotes(cell)) {
                text += cell;
                continue;
            }
            text += u'"';
            for (QChar c : cell) {
                if (c == u'"') text += u'"';
                text += c;
            }
            text += u'"';
        }
        text += QLatin1String("\r\n");
    }
    return text.toUtf8();
}

QString SaveSemicolonFile(const QString& fileName, const std::vector<QStringList>& rows) {
    QString reason;
    if (WriteFileAtomically(fileName, SemicolonFileBytes(rows), &reason)) return QString();
    return CantWriteMessage(fileName, reason);
}
