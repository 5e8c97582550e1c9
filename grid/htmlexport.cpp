#include "grid/htmlexport.h"

#include "grid/textfile.h"

QString HtmlEscaped(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        switch (c.unicode()) {
            case u'&':
                out += QLatin1String("&amp;");
                break;
            case u'<':
                out += QLatin1String("&lt;");
                break;
            case u'>':
                out += QLatin1String("&gt;");
                break;
            case u'"':
                out += QLatin1String("&quot;");
                break;
            default:
                out += c;
        }
    }
    return out;
}

QString HtmlCellText(const QString& cell) {
    if (cell.isEmpty()) return QStringLiteral("&nbsp;");
    QString text = cell;
    const qsizetype comma = text.indexOf(u',');
    if (comma >= 0) text[comma] = u'.';
    return HtmlEscaped(text);
}

QString HtmlPageText(const std::vector<QStringList>& rows, const HtmlPageInfo& info) {
    const QString host = HtmlEscaped(info.makerHost);
    QString page;
    page.reserve(640 + qsizetype(rows.size()) * 96);
    auto line = [&page](const QString& text) {
        page += text;
        page += QLatin1String("\r\n");
    };
    line(QStringLiteral("<!--") + host + QStringLiteral(" software -->"));
    line(QStringLiteral("<html>"));
    line(QStringLiteral("<head>"));
    line(QStringLiteral("<title>Vidazorov - skiing</title>"));
    line(QStringLiteral("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">"));
    line(
        QStringLiteral("<meta name=\"keywords\" content=\"wintersport, Ski, skiing, Eis lauf, "
                       "Eisschnelllauf, Bob\">"));
    line(
        QStringLiteral("<meta name=\"description\" content=\"Vidazorov professional software "
                       "development for all\">"));
    line(QStringLiteral("</head>"));
    line(QStringLiteral("<body>"));
    line(QStringLiteral("<center><h2>Protocoll</h2></center>"));
    line(QStringLiteral("<table border=1 cellpadding=0 width=100% Align=\"center\">"));
    line(QString());
    for (const QStringList& row : rows) {
        line(QStringLiteral("<tr Align=\"center\">"));
        for (const QString& cell : row) {
            page += QLatin1String("<td>");
            page += HtmlCellText(cell);
            page += QLatin1String("</td>");
        }
        line(QStringLiteral("</tr>"));
    }
    line(QStringLiteral("</table>"));
    line(QStringLiteral("<br>") + HtmlEscaped(info.applicationTitle) + QStringLiteral("<br>"));
    line(QStringLiteral("<a href=\"https://") + host +
         QStringLiteral("\"><b>Vidazorov</b></a></body></html>"));
    return page;
}

QString SaveHtmlFile(const QString& fileName, const std::vector<QStringList>& rows,
                     const HtmlPageInfo& info) {
    QString reason;
    if (WriteFileAtomically(fileName, HtmlPageText(rows, info).toUtf8(), &reason)) return QString();
    return QStringLiteral("Error write file: ") + fileName + u'\r' + reason;
}
