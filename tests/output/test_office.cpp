// The exports against a real LibreOffice, started once (headless, private profile and pipe) and
// ended when the run is over. A cleanup test of its own kills it should this program die first.
#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>

#include "output/excel.h"
#include "output/wordexport.h"
#include "platform/libreofficeautomation.h"
#include "platform/waitcursor.h"

namespace {

class OfficeEnvironment : public testing::Environment {
public:
    void SetUp() override {
        profile_ = std::make_unique<QTemporaryDir>(QDir::tempPath() + "/vz-office-XXXXXX");
        LibreOfficeOptions options;
        options.pipeName = QStringLiteral("vz_test_%1").arg(QCoreApplication::applicationPid());
        options.profileDir = profile_->path();
        options.helperScript = VZ_OFFICE_HELPER_PATH;
        options.headless = true;
        options.officeStartTimeoutMs = 120000;
        office_ = std::make_unique<LibreOfficeAutomation>(options);
        NoteOffice();  // the profile alone already names the office, before it has a pid
        // Started here, once for all tests, and noted at once for the cleanup test.
        try {
            office_->CreateObject(QStringLiteral("Excel.Application"));
        } catch (const EAutomation& e) {
            ADD_FAILURE() << "LibreOffice does not start: " << e.what();
        }
        NoteOffice();
    }
    void TearDown() override {
        office_->TerminateOffice();
        office_.reset();
        QFile::remove(PidFile());
        profile_.reset();
    }

    static QString PidFile() { return qEnvironmentVariable("VZ_OFFICE_PIDFILE"); }

    // Tells the cleanup test which process group to end, should this program not get to it.
    void NoteOffice() {
        if (PidFile().isEmpty() || (notedPid_ >= 0 && office_->StartedOfficePid() == notedPid_))
            return;
        notedPid_ = office_->StartedOfficePid();
        QFile file(PidFile());
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(QByteArray::number(notedPid_) + '\n' + profile_->path().toUtf8() + '\n');
    }

    std::unique_ptr<QTemporaryDir> profile_;
    std::unique_ptr<LibreOfficeAutomation> office_;
    qint64 notedPid_ = -1;
};

OfficeEnvironment* g_env =
    static_cast<OfficeEnvironment*>(testing::AddGlobalTestEnvironment(new OfficeEnvironment));

LibreOfficeAutomation& Office() {
    return *g_env->office_;
}

bool GroupAlive(qint64 pgid) {
    return LibreOfficeAutomation::ProcessGroupAlive(pgid);
}

// What the office holds, read by a UNO script of the tests' own.
QJsonValue Readback(const QStringList& args) {
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start("/usr/bin/python3", QStringList{VZ_READBACK_PATH, Office().Options().pipeName} + args);
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished(1000);
        ADD_FAILURE() << "readback hung";
        return QJsonValue();
    }
    const QJsonDocument doc = QJsonDocument::fromJson(p.readAllStandardOutput());
    EXPECT_EQ(p.exitCode(), 0);
    return doc.isArray() ? QJsonValue(doc.array()) : QJsonValue(doc.object());
}

QJsonArray CalcDocs() {
    return Readback({"calc"}).toArray();
}

// The spreadsheet whose second row holds this start number.
QJsonObject CalcDocWith(const QString& startNo) {
    for (const QJsonValue& d : CalcDocs()) {
        const QJsonArray rows = d.toObject()["rows"].toArray();
        if (rows.size() > 1 && rows[1].toArray().size() > 1 &&
            rows[1].toArray()[1].toObject()["string"].toString() == startNo)
            return d.toObject();
    }
    return QJsonObject();
}

class OfficeExport : public testing::Test {
protected:
    void TearDown() override { g_env->NoteOffice(); }

    // Keeps a document open, so that a save-mode export does not end the office it shares.
    void KeepOfficeBusy() {
        AutomationRef app = Office().CreateObject("Excel.Application");
        g_env->NoteOffice();
        app->Get("Workbooks").ToObject()->Call("add");
    }

    QTemporaryDir dir_;
};

const QStringList kHeader = {"Rang", "Nr.", "Time", "Split", "Km/h"};

std::vector<QStringList> Protocol(const QString& firstStartNo) {
    return {
        kHeader,
        {"1.", firstStartNo, "2:10.05,27", "0,00", "41,5"},
        {"2.", "=1+2", "2:11.07,77", "1.02,50", "19,4"},
        {"3.", "", "2:12.00,00", "1.54,73", "19,3"},
        {"4.", "7\"a", "2:13.00,00", "2.54,73", "19,2"},
    };
}

}  // namespace

TEST_F(OfficeExport, ExcelCellsReadBackFromTheSheet) {
    ConvertToExcel(Protocol("117"), Office());
    EXPECT_FALSE(WaitCursor::Shown());
    const QJsonObject doc = CalcDocWith("117");
    ASSERT_FALSE(doc.isEmpty()) << QJsonDocument(CalcDocs()).toJson().toStdString();

    const QJsonArray rows = doc["rows"].toArray();
    ASSERT_EQ(rows.size(), 5);
    auto cell = [&](int r, int c) { return rows[r].toArray()[c].toObject(); };
    for (int c = 0; c < 5; ++c)
        EXPECT_EQ(cell(0, c)["string"].toString(), kHeader[c]);
    // Numbers where the sheet shows them as typed: 117, and 41,5 as 41.5; the split 0,00 is text.
    EXPECT_EQ(cell(1, 1)["type"].toString(), "VALUE");
    EXPECT_EQ(cell(1, 1)["value"].toDouble(), 117.0);
    EXPECT_EQ(cell(1, 4)["value"].toDouble(), 41.5);
    EXPECT_EQ(cell(1, 3)["type"].toString(), "TEXT");
    EXPECT_EQ(cell(1, 3)["string"].toString(), "0.00");
    // Times keep their comma, as text; the rank keeps its period.
    EXPECT_EQ(cell(1, 2)["type"].toString(), "TEXT");
    EXPECT_EQ(cell(1, 2)["string"].toString(), "2:10.05,27");
    EXPECT_EQ(cell(2, 3)["string"].toString(), "1.02,50");
    EXPECT_EQ(cell(1, 0)["string"].toString(), "1.");
    // A formula typed as a start number is text; an empty cell stays empty; quotes arrive.
    EXPECT_EQ(cell(2, 1)["type"].toString(), "TEXT");
    EXPECT_EQ(cell(2, 1)["string"].toString(), "=1+2");
    EXPECT_EQ(cell(3, 1)["type"].toString(), "EMPTY");
    EXPECT_EQ(cell(4, 1)["string"].toString(), "7\"a");

    // Columns fitted, all cells selected.
    for (const QJsonValue& fitted : doc["optimalWidth"].toArray())
        EXPECT_TRUE(fitted.toBool());
    const QJsonArray size = doc["sheetSize"].toArray();
    EXPECT_EQ(doc["selection"].toArray(),
              QJsonArray({0, 0, size[0].toInt() - 1, size[1].toInt() - 1}));
}

TEST_F(OfficeExport, ASecondExcelExportReusesTheRunningOffice) {
    ConvertToExcel(Protocol("201"), Office());
    g_env->NoteOffice();
    const int starts = Office().OfficeStarts();
    const qsizetype docs = CalcDocs().size();

    ConvertToExcel(Protocol("202"), Office());
    EXPECT_EQ(Office().OfficeStarts(), starts);
    EXPECT_EQ(CalcDocs().size(), docs + 1);
    const QJsonObject second = CalcDocWith("202");
    ASSERT_FALSE(second.isEmpty());
    EXPECT_EQ(second["rows"].toArray()[0].toArray()[0].toObject()["string"].toString(), "Rang");
    EXPECT_FALSE(CalcDocWith("201").isEmpty());
}

TEST_F(OfficeExport, WordSaveModeWritesADocWhoseTableIsTheProtocol) {
    KeepOfficeBusy();
    const QByteArray templateBefore = [] {
        QFile f(VZ_WORD_TEMPLATE_PATH);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    const QString target = dir_.filePath("results.doc");
    std::vector<QStringList> protocol = Protocol("1 7");
    ConvertToWord(protocol, VZ_WORD_TEMPLATE_PATH, target, TWordMode::wmSave, Office());
    EXPECT_FALSE(WaitCursor::Shown());
    ASSERT_TRUE(QFileInfo::exists(target));

    const QJsonObject doc = Readback({"doc", target}).toObject();
    const QJsonArray tables = doc["tables"].toArray();
    ASSERT_EQ(tables.size(), 1) << QJsonDocument(doc).toJson().toStdString();
    const QJsonObject table = tables[0].toObject();
    EXPECT_EQ(table["columns"].toInt(), 5);
    ASSERT_EQ(table["rows"].toInt(), static_cast<int>(protocol.size()));
    const QJsonArray cells = table["cells"].toArray();
    for (size_t r = 0; r < protocol.size(); ++r) {
        QStringList row;
        for (const QJsonValue& v : cells[static_cast<qsizetype>(r)].toArray())
            row << v.toString();
        EXPECT_EQ(row, protocol[r]) << "row " << r;  // header first; quoted cells unquoted
    }
    // The table opens the document; the template's heading stays in the page header.
    EXPECT_TRUE(doc["firstIsTable"].toBool());
    EXPECT_TRUE(doc["header"].toString().contains("Vidazorov"));

    // The document was closed again, the template is untouched.
    for (const QJsonValue& c : Readback({"components"}).toArray())
        EXPECT_FALSE(c.toObject()["url"].toString().endsWith("results.doc"));
    QFile after(VZ_WORD_TEMPLATE_PATH);
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), templateBefore);
}

TEST_F(OfficeExport, WordShowModeStoresABareNameInTheCurrentFolderAndKeepsItOpen) {
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir_.path()));
    ConvertToWord(Protocol("5"), VZ_WORD_TEMPLATE_PATH, "2026-12-08-01-40.doc", TWordMode::wmShow,
                  Office());
    QDir::setCurrent(before);

    QFile file(dir_.filePath("2026-12-08-01-40.doc"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.read(4) == QByteArray("\xD0\xCF\x11\xE0", 4));  // a Word 97 compound file
    bool open = false;
    for (const QJsonValue& c : Readback({"components"}).toArray())
        open = open || c.toObject()["url"].toString().endsWith("/2026-12-08-01-40.doc");
    EXPECT_TRUE(open);
}

TEST_F(OfficeExport, WordExportWithoutTemplateEndsSilently) {
    const QString target = dir_.filePath("none.doc");
    EXPECT_NO_THROW(ConvertToWord(Protocol("9"), dir_.filePath("missing.doc"), target,
                                  TWordMode::wmSave, Office()));
    EXPECT_FALSE(QFileInfo::exists(target));
    EXPECT_FALSE(WaitCursor::Shown());
}

// A race at whole seconds, with names in other letters and quotes typed as start numbers.
const std::vector<QStringList> kWholeSeconds = {
    kHeader,
    {"1.", "117", "1.20", "0", "41.5"},
    {"2.", QString::fromUtf8("Jörg \"Jö\""), "2.50", "1.30", "20.0"},
    {"3.", QString::fromUtf8("ä ö ß é"), "10.00", "8.40", "19,4"},
    {"4.", "1234567890", "10.05", "8.45", "1.234567891"},
};

TEST_F(OfficeExport, EveryCellShowsInTheSheetAsInTheGrid) {
    ConvertToExcel(kWholeSeconds, Office());
    const QJsonObject doc = CalcDocWith("117");
    ASSERT_FALSE(doc.isEmpty()) << QJsonDocument(CalcDocs()).toJson().toStdString();
    const QJsonArray rows = doc["rows"].toArray();
    ASSERT_EQ(rows.size(), 5);
    for (int r = 0; r < 5; ++r)
        for (int c = 0; c < 5; ++c) {
            const QJsonObject cell = rows[r].toArray()[c].toObject();
            EXPECT_EQ(cell["string"].toString(), ExcelCellText(kWholeSeconds[size_t(r)][c]))
                << "row " << r << " column " << c;
            if (r > 0 && (c == 2 || c == 3)) {  // times and splits: text, never numbers
                EXPECT_EQ(cell["type"].toString(), "TEXT") << "row " << r << " column " << c;
            }
        }
    auto type = [&](int r, int c) { return rows[r].toArray()[c].toObject()["type"].toString(); };
    EXPECT_EQ(type(1, 1), "VALUE");
    EXPECT_EQ(type(4, 1), "VALUE");
    EXPECT_EQ(type(1, 4), "VALUE");
    EXPECT_EQ(type(4, 4), "VALUE");
    EXPECT_EQ(type(2, 4), "TEXT");  // 20.0 would show as 20
}

TEST_F(OfficeExport, WordCarriesWholeSecondTimesLettersAndQuotes) {
    KeepOfficeBusy();
    const QString target = dir_.filePath(QString::fromUtf8("Ergebnis ä.doc"));
    const TExportOutcome outcome =
        ConvertToWord(kWholeSeconds, VZ_WORD_TEMPLATE_PATH, target, TWordMode::wmSave, Office());
    EXPECT_TRUE(outcome.done) << outcome.error.toStdString();
    const QJsonObject doc = Readback({"doc", target}).toObject();
    const QJsonArray tables = doc["tables"].toArray();
    ASSERT_EQ(tables.size(), 1) << QJsonDocument(doc).toJson().toStdString();
    const QJsonArray cells = tables[0].toObject()["cells"].toArray();
    ASSERT_EQ(cells.size(), 5);
    for (int r = 0; r < 5; ++r) {
        QStringList row;
        for (const QJsonValue& v : cells[r].toArray())
            row << v.toString();
        EXPECT_EQ(row, kWholeSeconds[size_t(r)]) << "row " << r;
    }
}

TEST_F(OfficeExport, AWordSaveThatCannotBeMadeSaysWhy) {
    KeepOfficeBusy();
    // A folder that cannot be made: a file of that name is in the way.
    QFile blocker(dir_.filePath("blocked"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString target = dir_.filePath("blocked/r.doc");
    const TExportOutcome outcome =
        ConvertToWord(kWholeSeconds, VZ_WORD_TEMPLATE_PATH, target, TWordMode::wmSave, Office());
    EXPECT_FALSE(outcome.done);
    EXPECT_TRUE(outcome.storing);
    // A short reason from the office's error code; its own words, which name the file, are the
    // details.
    EXPECT_FALSE(outcome.error.isEmpty());
    EXPECT_FALSE(outcome.error.contains("::")) << outcome.error.toStdString();
    EXPECT_TRUE(outcome.details.contains("blocked/r.doc")) << outcome.details.toStdString();
    EXPECT_FALSE(QFileInfo::exists(target));
    // No helper: the reason is named too.
    LibreOfficeOptions options = Office().Options();
    options.helperScript = dir_.filePath("missing.py");
    LibreOfficeAutomation none(options);
    const TExportOutcome missing =
        ConvertToWord(kWholeSeconds, VZ_WORD_TEMPLATE_PATH, target, TWordMode::wmSave, none);
    EXPECT_FALSE(missing.done);
    EXPECT_TRUE(missing.error.contains("helper")) << missing.error.toStdString();
}

TEST_F(OfficeExport, ASecondWordExportInTheSameMinuteIsStoredToo) {
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir_.path()));
    const QString name = "2026-12-08-01-41.doc";
    const TExportOutcome first =
        ConvertToWord(Protocol("301"), VZ_WORD_TEMPLATE_PATH, name, TWordMode::wmShow, Office());
    const TExportOutcome second =
        ConvertToWord(Protocol("302"), VZ_WORD_TEMPLATE_PATH, name, TWordMode::wmShow, Office());
    QDir::setCurrent(before);
    EXPECT_TRUE(first.done) << first.error.toStdString();
    EXPECT_TRUE(second.done) << second.error.toStdString();
    // The file holds the later protocol, which is the one open in the office.
    int open = 0;
    for (const QJsonValue& c : Readback({"components"}).toArray())
        open += c.toObject()["url"].toString().endsWith("/" + name);
    EXPECT_EQ(open, 1);
    Readback({"closeall"});
    const QJsonObject doc = Readback({"doc", dir_.filePath(name)}).toObject();
    const QJsonArray cells = doc["tables"].toArray()[0].toObject()["cells"].toArray();
    ASSERT_GE(cells.size(), 2) << QJsonDocument(doc).toJson().toStdString();
    EXPECT_EQ(cells[1].toArray()[1].toString(), "302");
}

TEST_F(OfficeExport, ACrashedOfficesLockFileBesideTheDocumentIsCleared) {
    const QString target = dir_.filePath("shown.doc");
    const TExportOutcome outcome =
        ConvertToWord(Protocol("401"), VZ_WORD_TEMPLATE_PATH, target, TWordMode::wmShow, Office());
    ASSERT_TRUE(outcome.done) << outcome.error.toStdString();
    const QString lock = dir_.filePath(".~lock.shown.doc#");
    ASSERT_TRUE(QFileInfo::exists(lock));  // the document is open in the office
    const qint64 pgid = Office().StartedOfficePid();
    ASSERT_GT(pgid, 0);
    ::kill(static_cast<pid_t>(-pgid), SIGKILL);  // the office crashes
    for (int i = 0; i < 100 && GroupAlive(pgid); ++i)
        QThread::msleep(50);
    ASSERT_TRUE(QFileInfo::exists(lock));
    // The next export finds no office, starts one, and clears what the old one left.
    ConvertToExcel(Protocol("402"), Office());
    g_env->NoteOffice();
    EXPECT_NE(Office().StartedOfficePid(), pgid);
    EXPECT_FALSE(QFileInfo::exists(lock));
    EXPECT_FALSE(CalcDocWith("402").isEmpty());
}

// The office stops answering (SIGSTOP), before an export or in the middle of one: the export
// ends within its bound with EAutomationTimeout, the office's process group is gone, and the
// next export starts a fresh office.
TEST_F(OfficeExport, AStoppedOfficeIsEndedWithinTheBoundAndTheNextExportStartsAFreshOne) {
    LibreOfficeOptions options = Office().Options();
    options.connectTimeoutMs = 3000;
    options.callTimeoutMs = 4000;
    {
        ConvertToExcel(Protocol("501"), Office());  // an office runs
        g_env->NoteOffice();
        const qint64 pgid = Office().StartedOfficePid();
        ASSERT_TRUE(GroupAlive(pgid));
        ::kill(static_cast<pid_t>(-pgid), SIGSTOP);
        // A factory of its own, which did not start this office: it finds it by its pipe.
        LibreOfficeAutomation bounded(options);
        QElapsedTimer timer;
        timer.start();
        EXPECT_THROW(ConvertToExcel(Protocol("502"), bounded), EAutomationTimeout);
        EXPECT_LT(timer.elapsed(), 3000 + 5000);
        for (int i = 0; i < 100 && GroupAlive(pgid); ++i)
            QThread::msleep(50);
        EXPECT_FALSE(GroupAlive(pgid));
        if (GroupAlive(pgid)) ::kill(static_cast<pid_t>(-pgid), SIGKILL);
    }
    {
        // Connected, then stopped between two calls.
        LibreOfficeAutomation bounded(options);
        AutomationRef word = bounded.CreateObject("Word.Basic");
        const qint64 pgid = bounded.StartedOfficePid();
        ASSERT_TRUE(GroupAlive(pgid));
        ::kill(static_cast<pid_t>(-pgid), SIGSTOP);
        QElapsedTimer timer;
        timer.start();
        const TExportOutcome outcome =
            ConvertToWord(Protocol("503"), VZ_WORD_TEMPLATE_PATH, dir_.filePath("x.doc"),
                          TWordMode::wmShow, bounded);
        EXPECT_TRUE(outcome.officeEnded) << outcome.error.toStdString();
        EXPECT_LT(timer.elapsed(), 4000 + 5000);
        for (int i = 0; i < 100 && GroupAlive(pgid); ++i)
            QThread::msleep(50);
        EXPECT_FALSE(GroupAlive(pgid));
        if (GroupAlive(pgid)) ::kill(static_cast<pid_t>(-pgid), SIGKILL);
    }
    // The shared factory's next export starts a fresh office and works.
    const int starts = Office().OfficeStarts();
    ConvertToExcel(Protocol("504"), Office());
    g_env->NoteOffice();
    EXPECT_EQ(Office().OfficeStarts(), starts + 1);
    EXPECT_FALSE(CalcDocWith("504").isEmpty());
}

// Last: it ends the shared office.
TEST_F(OfficeExport, SaveModeEndsAnOfficeThatHasNothingElseOpen) {
    KeepOfficeBusy();
    Readback({"closeall"});
    const qint64 pgid = Office().StartedOfficePid();
    const QString target = dir_.filePath("last.doc");
    ConvertToWord(Protocol("1"), VZ_WORD_TEMPLATE_PATH, target, TWordMode::wmSave, Office());
    EXPECT_TRUE(QFileInfo::exists(target));
    for (int i = 0; i < 200 && GroupAlive(pgid); ++i)
        QThread::msleep(100);
    EXPECT_FALSE(GroupAlive(pgid));
}
