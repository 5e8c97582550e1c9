#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "grid/htmlexport.h"

namespace {

const QStringList kHeader = {"Rang", "Nr.", "Time", "Split", "Km/h"};

HtmlPageInfo Info() {
    HtmlPageInfo info;
    info.applicationTitle = "Vidazorov-ZavEzazi";
    info.makerHost = "www.example.org";
    return info;
}

}  // namespace

TEST(HtmlExport, EmptyProtocolPageLineByLine) {
    const QString page = HtmlPageText({kHeader, QStringList(5, QString())}, Info());
    EXPECT_TRUE(page.endsWith("\r\n"));
    const QStringList lines = page.split("\r\n");
    const QStringList expected = {
        "<!--www.example.org software -->",
        "<html>",
        "<head>",
        "<title>Vidazorov - skiing</title>",
        "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">",
        "<meta name=\"keywords\" content=\"wintersport, Ski, skiing, Eis lauf, Eisschnelllauf, "
        "Bob\">",
        "<meta name=\"description\" content=\"Vidazorov professional software development for "
        "all\">",
        "</head>",
        "<body>",
        "<center><h2>Protocoll</h2></center>",
        "<table border=1 cellpadding=0 width=100% Align=\"center\">",
        "",
        "<tr Align=\"center\">",
        "<td>Rang</td><td>Nr.</td><td>Time</td><td>Split</td><td>Km/h</td></tr>",
        "<tr Align=\"center\">",
        "<td>&nbsp;</td><td>&nbsp;</td><td>&nbsp;</td><td>&nbsp;</td><td>&nbsp;</td></tr>",
        "</table>",
        "<br>Vidazorov-ZavEzazi<br>",
        "<a href=\"https://www.example.org\"><b>Vidazorov</b></a></body></html>",
        "",
    };
    EXPECT_EQ(lines, expected);
}

TEST(HtmlExport, CellTexts) {
    EXPECT_EQ(HtmlCellText("41,5"), "41.5");
    EXPECT_EQ(HtmlCellText("1,2,3"), "1.2,3") << "only the first comma becomes a period";
    EXPECT_EQ(HtmlCellText(""), "&nbsp;");
    EXPECT_EQ(HtmlCellText(" "), " ");
    EXPECT_EQ(HtmlCellText("<1>"), "&lt;1&gt;");
    EXPECT_EQ(HtmlCellText("A&B \"x\" it's"), "A&amp;B &quot;x&quot; it's");
    EXPECT_EQ(HtmlCellText("<b"), "&lt;b");
    EXPECT_EQ(HtmlCellText("&nbsp;"), "&amp;nbsp;");
    EXPECT_EQ(HtmlCellText("Müller"), "Müller");
}

TEST(HtmlExport, MarkupInCellsAndTitleCannotLeakIntoThePage) {
    HtmlPageInfo info = Info();
    info.applicationTitle = "Race <i>";
    const QString page =
        HtmlPageText({kHeader, {"1.", "<1>", "</td></tr></table><script>", "&", "\""}}, info);
    EXPECT_TRUE(
        page.contains("<td>1.</td><td>&lt;1&gt;</td><td>&lt;/td&gt;&lt;/tr&gt;&lt;/table"
                      "&gt;&lt;script&gt;</td><td>&amp;</td><td>&quot;</td></tr>\r\n"));
    EXPECT_FALSE(page.contains("<script>"));
    EXPECT_TRUE(page.contains("<br>Race &lt;i&gt;<br>\r\n"));
}

TEST(HtmlExport, FileIsUtf8AndReplacedCompletely) {
    QTemporaryDir dir;
    const QString name = dir.filePath("p.txt");  // the name's extension does not matter
    {
        QFile f(name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(100000, 'x'));
    }
    const std::vector<QStringList> rows = {kHeader, {"1.", "7", "5,23", "0,00", "Žiga"}};
    EXPECT_EQ(SaveHtmlFile(name, rows, Info()), "");
    QFile f(name);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    EXPECT_EQ(bytes, HtmlPageText(rows, Info()).toUtf8());
    EXPECT_TRUE(bytes.contains("<td>\xC5\xBDiga</td></tr>\r\n"));

    const QString bad = dir.filePath("missing/p.html");
    EXPECT_EQ(SaveHtmlFile(bad, rows, Info()), "Error write file: " + bad + "\rThe folder " +
                                                   dir.filePath("missing") + " does not exist.");
    EXPECT_FALSE(QFile::exists(bad));
}
