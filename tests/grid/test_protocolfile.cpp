#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/stat.h>

#include "grid/protocolfile.h"
#include "grid/textfile.h"

namespace {

const QStringList kHeader = {"Rang", "Nr.", "Time", "Split", "Km/h"};

// The main window's protocol right after start-up: five columns, header and one empty row,
// default format entries.
ProtocolFileData DefaultProtocol() {
    ProtocolFileData data;
    data.columnFormatsFirst = false;
    data.columnFormats.assign(5, TFontSetting{});
    data.rowFormats.assign(2, TFontSetting{});
    data.rows = {kHeader, QStringList(5, QString())};
    return data;
}

QByteArray ReadAll(const QString& fileName) {
    QFile f(fileName);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << fileName.toStdString();
    return f.readAll();
}

void WriteAll(const QString& fileName, const QByteArray& bytes) {
    QFile f(fileName);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

std::optional<ProtocolFileData> FromBytes(const QByteArray& bytes, bool withGeometry = false,
                                          QString* error = nullptr) {
    return ParseProtocolLines(DecodeLines(bytes), withGeometry, error);
}

}  // namespace

TEST(ProtocolFile, DefaultProtocolByteForByte) {
    const QByteArray entry = "\"clBlack,0,0,0,clBlack\"";
    const QByteArray expected =
        "GenerelSettings,0\r\n"
        "FontColSettings," +
        entry + "," + entry + "," + entry + "," + entry + "," + entry +
        "\r\n"
        "FontRowSettings," +
        entry + "," + entry +
        "\r\n"
        "UserSettings\r\n"
        "-1,-1,-1,-1,-1,-1,-1,-1,-1\r\n"
        "Rang,Nr.,Time,Split,Km/h\r\n"
        ",,,,\r\n";
    EXPECT_EQ(EncodeLines(ProtocolLines(DefaultProtocol())), expected);

    QTemporaryDir dir;
    const QString name = dir.filePath("vidazorov.txt");
    EXPECT_EQ(SaveProtocolFile(name, DefaultProtocol()), "");
    EXPECT_EQ(ReadAll(name), expected);
}

TEST(ProtocolFile, FormatEntries) {
    TFontSetting s;
    s.Color = clRed;
    s.BkColor = RGBColor(0x12, 0x34, 0x56);
    s.Bold = true;
    s.Underline = true;
    s.Active = true;
    EXPECT_EQ(FontSettingText(s), "clRed,1,0,1,$00563412");
    const std::optional<TFontSetting> back = ParseFontSetting(FontSettingText(s));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->Color, clRed);
    EXPECT_EQ(back->BkColor, s.BkColor);
    EXPECT_TRUE(back->Bold && !back->Italic && back->Underline);
    EXPECT_FALSE(back->Active) << "entries read from a file are never active";

    // Flags only from exactly "1"; colours in any case, decimal or hexadecimal.
    const std::optional<TFontSetting> loose = ParseFontSetting("CLBLUE,true,2, 1 ,255");
    ASSERT_TRUE(loose);
    EXPECT_EQ(loose->Color, clBlue);
    EXPECT_EQ(loose->BkColor, clRed);
    EXPECT_FALSE(loose->Bold || loose->Italic);
    EXPECT_TRUE(loose->Underline);

    EXPECT_FALSE(ParseFontSetting("clBlack,0,0,0"));
    EXPECT_FALSE(ParseFontSetting("clBlack,0,0,0,red"));
    EXPECT_FALSE(ParseFontSetting(""));
}

TEST(ProtocolFile, TrickyCellsSettingsAndFormatsSurviveSaveAndLoad) {
    ProtocolFileData data;
    data.columnFormatsFirst = true;
    TFontSetting bold;
    bold.Bold = true;
    bold.Color = clNavy;
    bold.BkColor = clBtnFace;
    data.columnFormats = {bold, TFontSetting{}, bold};
    data.rowFormats = {TFontSetting{}};
    data.userSettings = {"", "a b", "x,y", "q\"q", "Ä€"};
    data.rows = {
        kHeader,
        {"1.", " 12", "1:02.03,45", "", "41,5"},
        {"2.", "a,b", "say \"hi\"", "tab\tx", QString("ctl") + QChar(7)},
        {"3.", "Žiga Čeh", "Müller €", "line\r\nbreak", "cr\ronly"},
        {"", "", "", "", ""},
        {"semi;colon", "trail ", "\"", "\"\"", ","},
    };
    QTemporaryDir dir;
    const QString name = dir.filePath("p.txt");
    ASSERT_EQ(SaveProtocolFile(name, data), "");
    QString error;
    const std::optional<ProtocolFileData> back = LoadProtocolFile(name, false, &error);
    ASSERT_TRUE(back) << error.toStdString();
    EXPECT_EQ(back->columnFormatsFirst, true);
    EXPECT_EQ(back->columnFormats, data.columnFormats);
    EXPECT_EQ(back->rowFormats, data.rowFormats);
    EXPECT_EQ(back->userSettings, data.userSettings);
    EXPECT_EQ(back->rows, data.rows);
    EXPECT_EQ(back->RowCount(), 6);
    EXPECT_EQ(back->ColCount(), 5);
    EXPECT_FALSE(back->geometry) << "geometry is read only when asked for";

    // UTF-8 without a byte-order mark.
    const QByteArray bytes = ReadAll(name);
    EXPECT_FALSE(bytes.startsWith("\xEF\xBB\xBF"));
    EXPECT_TRUE(bytes.contains("M\xC3\xBCller \xE2\x82\xAC"));
}

TEST(ProtocolFile, ARowWhoseOnlyCellIsEmptyIsTwoQuotes) {
    ProtocolFileData data;
    data.rows = {{"Nr."}, {""}, {"7"}};
    const QStringList lines = ProtocolLines(data);
    EXPECT_EQ(lines.mid(4), QStringList({"-1,-1,-1,-1,-1", "Nr.", "\"\"", "7"}));
    const std::optional<ProtocolFileData> back = ParseProtocolLines(lines, false);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->rows, data.rows);
}

TEST(ProtocolFileReading, WithoutSettingsTheFirstLineIsTheGeometryLine) {
    const std::optional<ProtocolFileData> data =
        FromBytes("Rang,Nr.,Time\r\n1.,17,\"5,23\"\r\n2.,4,\"6,00\"\r\n");
    ASSERT_TRUE(data);
    EXPECT_FALSE(data->columnFormatsFirst.has_value());
    EXPECT_TRUE(data->columnFormats.empty());
    EXPECT_TRUE(data->rowFormats.empty());
    EXPECT_TRUE(data->userSettings.isEmpty());
    ASSERT_EQ(data->RowCount(), 2);
    EXPECT_EQ(data->rows[0], QStringList({"1.", "17", "5,23"}));
    EXPECT_EQ(data->ColCount(), 3);
}

TEST(ProtocolFileReading, SectionsAreOptionalEachOnItsOwn) {
    const std::optional<ProtocolFileData> data = FromBytes(
        "GenerelSettings,1\r\nUserSettings,alpha,\"b c\"\r\n-1,-1,-1,-1,-1\r\nNr.\r\n9\r\n");
    ASSERT_TRUE(data);
    EXPECT_EQ(data->columnFormatsFirst, true);
    EXPECT_TRUE(data->columnFormats.empty());
    EXPECT_EQ(data->userSettings, QStringList({"alpha", "b c"}));
    EXPECT_EQ(data->rows, std::vector<QStringList>({{"Nr."}, {"9"}}));

    // Only exactly "1" sets the flag.
    const std::optional<ProtocolFileData> other = FromBytes("GenerelSettings,yes\r\n-1\r\nx\r\n");
    ASSERT_TRUE(other);
    EXPECT_EQ(other->columnFormatsFirst, false);
}

TEST(ProtocolFileReading, NoRowLineGivesNoRowsAndNoLinesIsNoProtocol) {
    const std::optional<ProtocolFileData> data =
        FromBytes("GenerelSettings,0\r\nUserSettings\r\n-1,-1,-1,-1\r\n");
    ASSERT_TRUE(data);
    EXPECT_EQ(data->RowCount(), 0);
    EXPECT_EQ(data->ColCount(), 0);

    QString error;
    EXPECT_FALSE(FromBytes("", false, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(FromBytes("GenerelSettings,0\r\nUserSettings\r\n"));
    // A blank last line is no row, so it cannot leave the grid without columns.
    EXPECT_EQ(FromBytes("-1\r\nRang,Nr.\r\n\r\n")->ColCount(), 2);
}

TEST(ProtocolFileReading, MoreFormatEntriesThanColumnsAreKept) {
    const QByteArray entry = "\"clRed,1,0,0,clWhite\"";
    QByteArray file = "FontColSettings";
    for (int i = 0; i < 8; ++i)
        file += "," + entry;
    file += "\r\nFontRowSettings," + entry + "\r\n-1,-1,-1,-1,-1,-1\r\nA,B\r\n1,2\r\n";
    const std::optional<ProtocolFileData> data = FromBytes(file);
    ASSERT_TRUE(data);
    ASSERT_EQ(data->columnFormats.size(), 8u);
    EXPECT_EQ(data->columnFormats[7].Color, clRed);
    EXPECT_TRUE(data->columnFormats[7].Bold);
    EXPECT_EQ(data->rowFormats.size(), 1u);
    EXPECT_EQ(data->ColCount(), 2);
}

TEST(ProtocolFileReading, AFormatEntryThatDoesNotReadFailsTheWholeFile) {
    QString error;
    EXPECT_FALSE(FromBytes("FontColSettings,\"clBlack,0,0\"\r\n-1\r\nA\r\n", false, &error));
    EXPECT_TRUE(error.contains("FontColSettings")) << error.toStdString();
    EXPECT_FALSE(FromBytes("FontRowSettings,\"clBlack,0,0,0,nocolour\"\r\n-1\r\nA\r\n"));
}

TEST(ProtocolFileReading, LineEndsNulAndCharacterSets) {
    const QByteArray crlf = "GenerelSettings,1\r\n-1,-1,-1,-1,-1\r\nRang,Nr.\r\n1.,\"4 2\"\r\n";
    QByteArray cr = crlf, lf = crlf, mixed = crlf;
    cr.replace("\r\n", "\r");
    lf.replace("\r\n", "\n");
    mixed.replace("-1\r\n", "-1\n").replace("Nr.\r\n", "Nr.\r");
    const std::optional<ProtocolFileData> reference = FromBytes(crlf);
    ASSERT_TRUE(reference);
    for (const QByteArray& variant : {cr, lf, mixed}) {
        const std::optional<ProtocolFileData> data = FromBytes(variant);
        ASSERT_TRUE(data);
        EXPECT_EQ(data->rows, reference->rows);
        EXPECT_EQ(data->columnFormatsFirst, true);
    }
    // Without a final line end the last line still counts.
    QByteArray unterminated = crlf;
    unterminated.chop(2);
    EXPECT_EQ(FromBytes(unterminated)->rows, reference->rows);

    // Reading stops at a NUL byte.
    const std::optional<ProtocolFileData> cut = FromBytes(crlf + QByteArray("2.,9\r\n\0"
                                                                            "3.,8\r\n",
                                                                            13));
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->RowCount(), 3);
    EXPECT_EQ(cut->rows.back(), QStringList({"2.", "9"}));

    // A file from the program's Windows days: Windows-1252, not UTF-8.
    const std::optional<ProtocolFileData> old =
        FromBytes("-1,-1,-1,-1,-1\r\nRang,Nr.,Time\r\n1.,M\xFCller,\x80\x84\x9C\r\n");
    ASSERT_TRUE(old);
    EXPECT_EQ(old->rows[1], QStringList({"1.", "Müller", "€„œ"}));
    // A leading byte-order mark is not part of the first line.
    EXPECT_EQ(FromBytes("\xEF\xBB\xBFGenerelSettings,1\r\n-1\r\nx\r\n")->columnFormatsFirst, true);
}

TEST(TextFile, DecodingFallsBackOnlyForInvalidUtf8) {
    EXPECT_EQ(DecodeText("Z\xC3\xBCrich"), "Zürich");
    EXPECT_EQ(DecodeText("Z\xFCrich"), "Zürich");
    // A sequence cut off at the end is not UTF-8 either.
    EXPECT_EQ(DecodeText("abc\xC3"), "abcÃ");
    // The five undefined bytes become the C1 controls of the same value.
    EXPECT_EQ(DecodeText("\x81\x8D\x8F\x90\x9D"),
              QString::fromUtf16(u"\u0081\u008D\u008F\u0090\u009D"));
    EXPECT_EQ(DecodeText(QByteArray("a\0b", 3)), "a");
}

TEST(TextFile, BytesThatAreNoTextAreToldApart) {
    // Text: UTF-8 (control codes and all, as the program may have written them in a cell), and
    // Windows-1252 with the control codes text files hold.
    for (const QByteArray& text :
         {QByteArray(""), QByteArray("Rang,Nr.\r\n1.,\"a\x01b\"\r\n"), QByteArray("\xEF\xBB\xBFx\r\n"),
          QByteArray("M\xFCller\t\v\f\r\n\x1A"), QByteArray("\x81\x8D\x8F\x90\x9D")})
        EXPECT_EQ(NotTextProblem(text), "") << text.toStdString();
    const QString utf16 =
        "It is UTF-16 text, which the program does not read: a protocol file is UTF-8 or "
        "Windows-1252 text.";
    EXPECT_EQ(NotTextProblem("\xFF\xFE"), utf16);
    EXPECT_EQ(NotTextProblem("\xFE\xFF\x04\x10\x04\x11"), utf16);  // Cyrillic: no NUL at all
    EXPECT_EQ(NotTextProblem(QByteArray("1\0.\0,\0\x17\x04\r\0\n\0", 12)), utf16);
    EXPECT_EQ(NotTextProblem(QByteArray("abcdefghij\0", 11)),
              "It is not a text file: its byte 11 is a NUL byte.");
    // A few NUL bytes in a long file are no UTF-16.
    EXPECT_EQ(NotTextProblem(QByteArray(100, 'x') + QByteArray(2, '\0')),
              "It is not a text file: its byte 101 is a NUL byte.");
    EXPECT_EQ(NotTextProblem("\xE4\x1B[0m"), "It is not a text file: its byte 2 is the control code 0x1b.");
}

TEST(TextFile, LineBreaksInsideQuotedItemsStayInTheirLine) {
    EXPECT_EQ(SplitLines("a,\"x\r\ny\",b\r\nc\nd\re"),
              QStringList({"a,\"x\r\ny\",b", "c", "d", "e"}));
    EXPECT_EQ(SplitLines("\"a\"\"\r\n\"\r\nz"), QStringList({"\"a\"\"\r\n\"", "z"}));
    // Quotes that are part of an unquoted item open nothing.
    EXPECT_EQ(SplitLines("ab\"c\r\nd\"\r\n"), QStringList({"ab\"c", "d\""}));
    // A quote still open at the end: split as it stands from that quote's line on.
    EXPECT_EQ(SplitLines("a\r\n\"b\r\nc\r\n"), QStringList({"a", "\"b", "c"}));
    EXPECT_EQ(SplitLines("\r\n\r\n"), QStringList({"", ""}));
    EXPECT_EQ(SplitLines(""), QStringList());
}

TEST(TextFile, AQuoteTypedByHandJoinsNoLines) {
    // A cell holding line breaks, as the program writes it, comes back whole.
    ProtocolFileData data = DefaultProtocol();
    data.rows = {kHeader,
                 {"1.", "a\r\nb", "x\ny\rz", "\"q\"\r\n", ",\n,"},
                 {"2.", "\r\n", "", "\n\"", "end"}};
    const std::optional<ProtocolFileData> back = FromBytes(EncodeLines(ProtocolLines(data)));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->rows, data.rows);

    // Hand-edited rows with an unmatched quote, and quoted cells further down: every row stays
    // a row of its own.
    const QByteArray edited =
        "-1,-1,-1,-1,-1,-1,-1\r\nRang,Nr.,Name\r\n1.,100,\"Smith\r\n2.,101,Jones\r\n"
        "3.,102,\"Mc Kay\"\r\n4.,103,\"O Neil\"\r\n5.,104,Ray\"\r\n";
    const std::optional<ProtocolFileData> read = FromBytes(edited);
    ASSERT_TRUE(read);
    ASSERT_EQ(read->RowCount(), 6);
    EXPECT_EQ(read->rows[1], QStringList({"1.", "100", "Smith"}));
    EXPECT_EQ(read->rows[2], QStringList({"2.", "101", "Jones"}));
    EXPECT_EQ(read->rows[3], QStringList({"3.", "102", "Mc Kay"}));
    EXPECT_EQ(read->rows[5], QStringList({"5.", "104", "Ray\""}));
    // A quote in the middle of an item, or one closed in the middle of one, joins nothing.
    EXPECT_EQ(SplitLines("a \"b\r\nc\",d\r\ne"), QStringList({"a \"b", "c\",d", "e"}));
    EXPECT_EQ(SplitLines("a,\"b\r\nc\"d\r\ne"), QStringList({"a,\"b", "c\"d", "e"}));
    EXPECT_EQ(SplitLines("\"b\r\nc\" ,d\r\ne"), QStringList({"\"b", "c\" ,d", "e"}));
}

TEST(TextFile, ManyLinesEachWithAnOpenQuoteStayLines) {
    QString text;
    for (int i = 0; i < 200000; ++i)
        text += QStringLiteral("\"x\r\n");
    text += QStringLiteral("y\"z");
    const QStringList lines = SplitLines(text);
    ASSERT_EQ(lines.size(), 200001);
    EXPECT_EQ(lines.front(), "\"x");
    EXPECT_EQ(lines.back(), "y\"z");
}

TEST(ProtocolFileReading, BlankLinesAfterTheLastRowAreNoRows) {
    const QByteArray file = "GenerelSettings,0\r\n-1,-1,-1,-1,-1\r\nRang,Nr.\r\n1.,100\r\n";
    for (const QByteArray& tail : {QByteArray("\r\n"), QByteArray("\r\n\r\n \t\r\n"),
                                   QByteArray("\n\n"), QByteArray("  ")}) {
        const std::optional<ProtocolFileData> data = FromBytes(file + tail);
        ASSERT_TRUE(data) << tail.toStdString();
        EXPECT_EQ(data->RowCount(), 2);
        EXPECT_EQ(data->ColCount(), 2);
    }
    // A blank line between rows is still a row (without cells).
    const std::optional<ProtocolFileData> inner = FromBytes(file + "\r\n2.,101\r\n\r\n");
    ASSERT_TRUE(inner);
    EXPECT_EQ(inner->RowCount(), 4);
    EXPECT_TRUE(inner->rows[2].isEmpty());
}

TEST(TextFile, OnlyRegularFilesOfBoundedSizeAreRead) {
    QTemporaryDir dir;
    const QString small = dir.filePath("small.txt"), big = dir.filePath("big.txt");
    WriteAll(small, "abc");
    WriteAll(big, QByteArray(1000, 'x'));
    EXPECT_EQ(ReadRegularFile(small, 3), QByteArray("abc"));
    QString error;
    EXPECT_FALSE(ReadRegularFile(big, 999, &error));
    EXPECT_EQ(error, "It is larger than 1 MB, the most a file here may have.");
    EXPECT_EQ(RegularFileProblem(big, 999), error);
    EXPECT_EQ(RegularFileProblem(small), "");
    EXPECT_FALSE(ReadRegularFile(dir.path(), 100, &error));
    EXPECT_EQ(error, "It is not a regular file.");
    EXPECT_EQ(RegularFileProblem(dir.path()), error);
    EXPECT_FALSE(ReadRegularFile(dir.filePath("missing.txt"), 100, &error));
    EXPECT_EQ(error, "It does not exist.");
    EXPECT_EQ(RegularFileProblem(dir.filePath("missing.txt")), error);
    // A link to a regular file is read as the file.
    QFile::link(small, dir.filePath("link.txt"));
    EXPECT_EQ(ReadRegularFile(dir.filePath("link.txt")), QByteArray("abc"));
    EXPECT_EQ(LoadProtocolFile(dir.path(), false, &error), std::nullopt);
    EXPECT_EQ(CantReadProtocolMessage(dir.path()),
              "Can't read the protocol file:\r" + dir.path() + "\rIt is not a regular file.");
    EXPECT_EQ(CantReadProtocolMessage(small), "Can't read the protocol file:\r" + small);
}

TEST(ProtocolFileReading, MoreColumnsOrCellsThanTheLimitsAreRefused) {
    const QByteArray head = "-1\r\n";
    QByteArray wide = "x";
    for (qsizetype i = 1; i < kMaxProtocolColumns; ++i)
        wide += ",x";
    EXPECT_TRUE(FromBytes(head + wide + "\r\n"));
    QString error;
    EXPECT_FALSE(FromBytes(head + wide + ",x\r\n", false, &error));
    EXPECT_EQ(error, TooManyCellsProblem());
    // A narrow row beyond a wide one does not hide it.
    EXPECT_FALSE(FromBytes(head + wide + ",x\r\nA\r\n"));

    QByteArray rows;
    for (qsizetype i = 0; i < kMaxProtocolCells / 5; ++i)
        rows += "1.,100,\"25.00,31\",\"25.00,31\",\"101,3\"\r\n";
    EXPECT_EQ(FromBytes(head + rows)->RowCount(), kMaxProtocolCells / 5);
    EXPECT_FALSE(FromBytes(head + rows + "x\r\n"));

    QTemporaryDir dir;
    WriteAll(dir.filePath("wide.txt"), head + wide + ",x\r\n");
    EXPECT_EQ(CantReadProtocolMessage(dir.filePath("wide.txt")),
              "Can't read the protocol file:\r" + dir.filePath("wide.txt") +
                  "\rIt has more than 1000 columns or 250000 cells, the most a protocol may have.");
}

TEST(ProtocolFileGeometry, WrittenAndReadWhenAskedFor) {
    ProtocolFileData data = DefaultProtocol();
    data.geometry = ProtocolGeometry{640, 480, {42, 42, 42, 42, 166}, 10, std::nullopt};
    const QStringList lines = ProtocolLines(data);
    EXPECT_EQ(lines[4], "640,480,42,42,42,42,166,10,-1");
    const std::optional<ProtocolFileData> back = ParseProtocolLines(lines, true);
    ASSERT_TRUE(back && back->geometry);
    EXPECT_EQ(back->geometry->width, 640);
    EXPECT_EQ(back->geometry->height, 480);
    EXPECT_EQ(back->geometry->colWidths, std::vector<int>({42, 42, 42, 42, 166}));
    EXPECT_EQ(back->geometry->left, 10);
    EXPECT_FALSE(back->geometry->top.has_value());
    EXPECT_FALSE(back->geometry->Maximised(1920, 1040));
    EXPECT_TRUE((ProtocolGeometry{1920, 1040, {}, 0, 0}.Maximised(1920, 1040)));
    EXPECT_FALSE((ProtocolGeometry{1920, 1000, {}, 0, 0}.Maximised(1920, 1040)));

    // A geometry line that does not read fails only a load that asks for the geometry.
    QStringList broken = lines;
    broken[4] = "640,480,42,wide,42,42,166,10,-1";
    QString error;
    EXPECT_FALSE(ParseProtocolLines(broken, true, &error));
    EXPECT_TRUE(error.contains("geometry")) << error.toStdString();
    EXPECT_TRUE(ParseProtocolLines(broken, false));
    broken[4] = "640,480,42,42,42,42,166";
    EXPECT_FALSE(ParseProtocolLines(broken, true));
}

TEST(ProtocolFileSaving, FailuresAreReportedAndReplacingIsComplete) {
    QTemporaryDir dir;
    const QString missing = dir.filePath("no/such/folder/p.txt");
    const QString noFolder = "Can't write to file:\r" + missing + "\rThe folder " +
                             dir.filePath("no/such/folder") + " does not exist.";
    EXPECT_EQ(SaveProtocolFile(missing, DefaultProtocol()), noFolder);
    EXPECT_EQ(SaveSemicolonFile(missing, DefaultProtocol().rows), noFolder);
    EXPECT_FALSE(QFile::exists(missing));
    // A folder in the file's place, or something that is no regular file (writing a FIFO would
    // wait for a reader for ever).
    QDir(dir.path()).mkdir("taken");
    EXPECT_EQ(SaveProtocolFile(dir.filePath("taken"), DefaultProtocol()),
              "Can't write to file:\r" + dir.filePath("taken") + "\rIt is a folder.");
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath("fifo")).constData(), 0600), 0);
    EXPECT_EQ(SaveSemicolonFile(dir.filePath("fifo"), DefaultProtocol().rows),
              "Can't write to file:\r" + dir.filePath("fifo") + "\rIt is not a regular file.");

    // An existing longer file is replaced as a whole, no tail of it left.
    const QString name = dir.filePath("p.txt");
    WriteAll(name, QByteArray(5000, 'x'));
    ASSERT_EQ(SaveProtocolFile(name, DefaultProtocol()), "");
    EXPECT_EQ(ReadAll(name), EncodeLines(ProtocolLines(DefaultProtocol())));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList({"p.txt"}))
        << "no temporary file left behind";
    // The file replaced keeps its permissions, and a link stays a link to the file it names.
    ASSERT_EQ(::chmod(QFile::encodeName(name).constData(), 0640), 0);
    ASSERT_TRUE(QFile::link(name, dir.filePath("link.txt")));
    ProtocolFileData other = DefaultProtocol();
    other.rows.push_back({"1.", "7"});
    ASSERT_EQ(SaveProtocolFile(dir.filePath("link.txt"), other), "");
    EXPECT_TRUE(QFileInfo(dir.filePath("link.txt")).isSymLink());
    EXPECT_EQ(ReadAll(name), EncodeLines(ProtocolLines(other)));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(name).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    QString error;
    EXPECT_FALSE(LoadProtocolFile(dir.filePath("absent.txt"), false, &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST(SemicolonFile, HeaderLineAndQuotingOfCellsThatWouldSplit) {
    const std::vector<QStringList> rows = {
        kHeader,
        {"1.", "12", "1.02,03", "", "41,5"},
        {"2.", "a;b", "say \"hi\"", "two\r\nlines", "lf\nonly"},
        {"3.", " x ", "a,b", "Müller", "'q'"},
    };
    const QByteArray bytes = SemicolonFileBytes(rows);
    EXPECT_TRUE(bytes.startsWith("Rang;Nr.;Time;Split;Km/h\r\n"));
    EXPECT_EQ(bytes,
              "Rang;Nr.;Time;Split;Km/h\r\n"
              "1.;12;1.02,03;;41,5\r\n"
              "2.;\"a;b\";\"say \"\"hi\"\"\";\"two\r\nlines\";\"lf\nonly\"\r\n"
              "3.; x ;a,b;M\xC3\xBCller;'q'\r\n");

    QTemporaryDir dir;
    const QString name = dir.filePath("p.csv");
    ASSERT_EQ(SaveSemicolonFile(name, rows), "");
    EXPECT_EQ(ReadAll(name), bytes);
}
