#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

// The protocol as a single HTML page with one table, for a web browser.
struct HtmlPageInfo {
    QString applicationTitle;                                     // written under the table
    QString makerHost = QStringLiteral("www.vidazorov.example");  // comment line and closing link
};

// "&", "<", ">" and '"' as character references; everything else unchanged.
QString HtmlEscaped(const QString& text);

// A cell as the page shows it: its first comma becomes a period (41,5 km/h reads 41.5), an empty
// cell becomes "&nbsp;" so that its frame is drawn, and markup characters are escaped.
QString HtmlCellText(const QString& cell);

// The page, row 0 (the header captions) first. Lines end with CR LF; the page declares UTF-8.
QString HtmlPageText(const std::vector<QStringList>& rows, const HtmlPageInfo& info);

// Writes the page as a whole (the old file stays when writing fails). Returns an empty string on
// success, else the message for the operator: "Error write file: ", the file name, a carriage
// return and why (WriteFailureReason).
QString SaveHtmlFile(const QString& fileName, const std::vector<QStringList>& rows,
                     const HtmlPageInfo& info);
