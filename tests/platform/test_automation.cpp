#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <atomic>

#include "platform/automationthread.h"
#include "platform/libreofficeautomation.h"
#include "platform/programpaths.h"
#include "tests/support/recordingautomation.h"
#include "tests/support/gate.h"

TEST(Variant, KindsConversionsAndDescriptions) {
    EXPECT_TRUE(Variant().IsEmpty());
    EXPECT_EQ(Variant(true).ToBool(), true);
    EXPECT_EQ(Variant(32700).ToInt(), 32700);
    EXPECT_EQ(Variant(7).ToDouble(), 7.0);  // integers widen
    EXPECT_EQ(Variant("abc").ToString(), "abc");
    EXPECT_EQ(Variant(5).kind(), Variant::Kind::vkInt);
    EXPECT_EQ(Variant(5.0).kind(), Variant::Kind::vkDouble);
    EXPECT_EQ(Variant("x").kind(), Variant::Kind::vkString);  // never a bool
    EXPECT_NE(Variant(5), Variant(5.0));

    EXPECT_EQ(Variant().Describe(), "Empty");
    EXPECT_EQ(Variant(false).Describe(), "false");
    EXPECT_EQ(Variant(-3).Describe(), "-3");
    EXPECT_EQ(Variant(117.0).Describe(), "117.0");
    EXPECT_EQ(Variant(41.5).Describe(), "41.5");
    EXPECT_EQ(Variant(0.1).Describe(), "0.1");
    EXPECT_EQ(Variant("a\t\"b\"\r\n\\").Describe(), "\"a\\t\\\"b\\\"\\r\\n\\\\\"");

    EXPECT_THROW(Variant("1").ToInt(), EAutomation);
    EXPECT_THROW(Variant(1.5).ToInt(), EAutomation);
    EXPECT_THROW(Variant().ToObject(), EAutomation);
    EXPECT_THROW(Variant(AutomationRef()).ToObject(), EAutomation);
}

TEST(RecordingAutomation, RecordsPathsArgumentsAndReleases) {
    RecordingAutomation automation;
    {
        AutomationRef app = automation.CreateObject("Excel.Application");
        app->Put("Cells", {2, 3}, "x");
        AutomationRef books = app->Get("Workbooks").ToObject();
        books->Call("add", {1, 2.5}, {{"Name", "n"}});
        EXPECT_EQ(automation.LiveObjects(), 2);  // the result of add is already gone
    }
    EXPECT_EQ(automation.LiveObjects(), 0);
    EXPECT_EQ(automation.Log(), QStringList({
                                    "create Excel.Application",
                                    "Excel.Application.Cells(2, 3) := \"x\"",
                                    "Excel.Application.Workbooks",
                                    "Excel.Application.Workbooks.add(1, 2.5, Name:=\"n\")",
                                }));
    EXPECT_EQ(automation.Log(true).size(), 7);
    EXPECT_EQ(automation.Steps(), 4);
}

TEST(RecordingAutomation, ScriptedFailuresAndRunningInstance) {
    RecordingAutomation automation;
    EXPECT_THROW(automation.GetActiveObject("Word.Basic"), EAutomation);
    automation.SetRunningInstance(true);
    AutomationRef word = automation.GetActiveObject("Word.Basic");
    automation.FailAt(3);  // both getactive steps count
    EXPECT_NO_THROW(word->Call("A"));
    EXPECT_THROW(word->Call("B"), EAutomation);
    EXPECT_NO_THROW(word->Call("C"));
    automation.FailWhen([](const AutomationRecord& r) { return r.name == "D"; });
    EXPECT_THROW(word->Call("D"), EAutomation);
    EXPECT_THROW(word->Call("D"), EAutomation);
    // A failing step is still recorded: it was attempted.
    EXPECT_EQ(automation.Steps(), 7);
}

namespace {
// A stand-in for the helper: a shell script run by /bin/sh in the place of Python.
LibreOfficeOptions FakeHelper(const QTemporaryDir& dir, const char* body) {
    const QString path = dir.filePath("helper.sh");
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(body);
    file.close();
    LibreOfficeOptions options;
    options.python = "/bin/sh";
    options.helperScript = path;
    options.pipeName = "vz_test_unused";
    options.helperStartTimeoutMs = 500;
    options.callTimeoutMs = 500;
    options.officeStartTimeoutMs = 500;
    options.connectTimeoutMs = 500;
    return options;
}

template <typename F>
qint64 FailsWithin(F&& f, const char* expectedText) {
    QElapsedTimer timer;
    timer.start();
    try {
        f();
        ADD_FAILURE() << "no error";
    } catch (const EAutomation& e) {
        EXPECT_TRUE(e.Message().contains(QLatin1String(expectedText))) << e.Message().toStdString();
    }
    return timer.elapsed();
}
}  // namespace

TEST(LibreOfficeAutomation, EveryWaitOnTheHelperIsBounded) {
    QTemporaryDir dir;
    {
        // Never says it is ready.
        LibreOfficeAutomation office(FakeHelper(dir, "exec sleep 30\n"));
        EXPECT_LT(
            FailsWithin([&] { office.GetActiveObject("Excel.Application"); }, "did not start"),
            10000);
    }
    {
        // Ready, then never answers: the call times out and the helper is ended.
        LibreOfficeAutomation office(FakeHelper(dir, "echo '{\"ready\": true}'\nexec sleep 30\n"));
        EXPECT_LT(FailsWithin([&] { office.GetActiveObject("Excel.Application"); },
                              "did not answer within"),
                  10000);
        EXPECT_LT(FailsWithin([&] { office.CreateObject("Word.Basic"); }, "did not answer within"),
                  10000);
    }
    {
        // Ready, then dies on the first request: a failure at once, not a wait.
        LibreOfficeAutomation office(
            FakeHelper(dir, "echo '{\"ready\": true}'\nread line\nexit 3\n"));
        EXPECT_LT(FailsWithin([&] { office.GetActiveObject("Excel.Application"); }, "ended"),
                  10000);
    }
}

TEST(LibreOfficeAutomation, AnswersCarryValuesAndRefusals) {
    QTemporaryDir dir;
    LibreOfficeAutomation office(FakeHelper(dir,
                                            "echo '{\"ready\": true}'\n"
                                            "read line\n"
                                            "echo '{\"id\": 1, \"ok\": true, \"result\": "
                                            "{\"t\": \"o\", \"v\": 4}}'\n"
                                            "read line\n"
                                            "echo '{\"id\": 2, \"ok\": true, \"result\": "
                                            "{\"t\": \"d\", \"v\": 41.5}}'\n"
                                            "read line\n"
                                            "echo '{\"id\": 3, \"ok\": false, \"error\": "
                                            "\"Unknown name: Bogus\"}'\n"
                                            "read line\n"));
    AutomationRef app = office.GetActiveObject("Excel.Application");
    EXPECT_EQ(app->Get("Anything"), Variant(41.5));
    FailsWithin([&] { app->Call("Bogus"); }, "Unknown name: Bogus");
    EXPECT_EQ(office.OfficeStarts(), 0);
}

TEST(LibreOfficeAutomation, MissingHelperOrOfficeIsAFailureNotAHang) {
    LibreOfficeOptions options;
    options.helperScript = "/nonexistent/helper.py";
    LibreOfficeAutomation missing(options);
    FailsWithin([&] { missing.CreateObject("Word.Basic"); }, "missing");

    // The real helper with no office on an unused pipe: no running instance, no start.
    LibreOfficeOptions real;
    real.helperScript = VZ_OFFICE_HELPER_PATH;
    real.pipeName = QStringLiteral("vz_test_none_%1").arg(QCoreApplication::applicationPid());
    LibreOfficeAutomation office(real);
    EXPECT_LT(FailsWithin([&] { office.GetActiveObject("Excel.Application"); }, ""), 20000);
    FailsWithin([&] { office.GetActiveObject("Nonsense.Application"); }, "Nonsense.Application");
    EXPECT_EQ(office.OfficeStarts(), 0);
}

TEST(LibreOfficeAutomation, PipeIsNamedAfterProgramAndUser) {
    const QString name = LibreOfficeAutomation::DefaultPipeName();
    EXPECT_TRUE(name.startsWith(QStringLiteral("test_automation_"))) << name.toStdString();
    EXPECT_FALSE(name.contains(QLatin1Char('/')));
    EXPECT_FALSE(name.contains(QLatin1Char(';')));
    EXPECT_EQ(LibreOfficeAutomation().Options().pipeName, name);
}

TEST(LibreOfficeAutomation, HelperIsFoundBesideTheProgram) {
    QTemporaryDir dir;
    SetProgramFilePath(dir.filePath("race"));
    EXPECT_EQ(LibreOfficeAutomation::FindHelperScript(), QString());
    QFile(dir.filePath("vidazorov-office.py")).open(QIODevice::WriteOnly);
    EXPECT_EQ(LibreOfficeAutomation::FindHelperScript(), dir.filePath("vidazorov-office.py"));
    // A renamed program looks for its own helper first.
    QFile(dir.filePath("race-office.py")).open(QIODevice::WriteOnly);
    EXPECT_EQ(LibreOfficeAutomation::FindHelperScript(), dir.filePath("race-office.py"));
    EXPECT_TRUE(LibreOfficeAutomation::DefaultPipeName().startsWith("race_"));
    SetProgramFilePath(QString());
}

TEST(LibreOfficeAutomation, AnOfficeThatDoesNotAnswerIsATimeoutNotARefusal) {
    QTemporaryDir dir;
    // The helper's own connect bound ran out: the office is hung, and the caller hears it as such.
    LibreOfficeAutomation office(FakeHelper(
        dir,
        "echo '{\"ready\": true}'\nread line\n"
        "echo '{\"id\": 1, \"ok\": false, \"hung\": true, \"error\": \"The office did not "
        "answer within 10 s (connect)\"}'\nexec sleep 30\n"));
    try {
        office.GetActiveObject("Excel.Application");
        ADD_FAILURE() << "no error";
    } catch (const EAutomationTimeout& e) {
        EXPECT_TRUE(e.Message().contains("and was ended")) << e.Message().toStdString();
    }
    // A call that outlives its bound: also a timeout.
    LibreOfficeAutomation silent(FakeHelper(dir, "echo '{\"ready\": true}'\nexec sleep 30\n"));
    EXPECT_THROW(silent.GetActiveObject("Excel.Application"), EAutomationTimeout);
}

TEST(LibreOfficeAutomation, InterruptEndsAWaitOnAnotherThreadAtOnce) {
    QTemporaryDir dir;
    LibreOfficeOptions options = FakeHelper(dir, "echo '{\"ready\": true}'\nexec sleep 30\n");
    options.connectTimeoutMs = 60000;
    LibreOfficeAutomation office(options);
    std::atomic<bool> failed{false};
    QElapsedTimer timer;
    timer.start();
    std::thread worker([&] {
        try {
            office.GetActiveObject("Excel.Application");
        } catch (const EAutomation&) {
            failed = true;
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    office.Interrupt();
    worker.join();
    EXPECT_TRUE(failed);
    EXPECT_LT(timer.elapsed(), 5000);
}

// The real helper, fed lines that are no request: each gets an error answer and the helper goes on.
TEST(OfficeHelper, AnswersLinesThatAreNoJsonObjectWithAnErrorAndGoesOn) {
    QProcess helper;
    helper.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    helper.start("/usr/bin/python3", {VZ_OFFICE_HELPER_PATH});
    ASSERT_TRUE(helper.waitForStarted(5000));
    auto next = [&] {
        while (!helper.canReadLine())
            if (!helper.waitForReadyRead(10000)) return QJsonObject{{"lost", true}};
        return QJsonDocument::fromJson(helper.readLine()).object();
    };
    EXPECT_TRUE(next()["ready"].toBool());
    for (const char* line :
         {"[1, 2]", "\"text\"", "42", "null", "not json at all", "{\"op\": ", "\xff\xfe"}) {
        helper.write(QByteArray(line) + '\n');
        const QJsonObject answer = next();
        EXPECT_FALSE(answer.contains("lost")) << line;
        EXPECT_FALSE(answer["ok"].toBool(true)) << line;
        EXPECT_TRUE(answer["id"].isNull()) << line;
        EXPECT_FALSE(answer["error"].toString().isEmpty()) << line;
    }
    // A release of something odd has no answer and does no harm; a request still works after.
    helper.write("{\"op\": \"release\", \"obj\": [1]}\n");
    helper.write("{\"id\": 7, \"op\": \"get\", \"obj\": 99, \"name\": \"x\"}\n");
    const QJsonObject answer = next();
    EXPECT_EQ(answer["id"].toInt(), 7);
    EXPECT_FALSE(answer["ok"].toBool(true));
    EXPECT_EQ(helper.state(), QProcess::Running);
    helper.closeWriteChannel();
    EXPECT_TRUE(helper.waitForFinished(10000));
}

TEST(AutomationThread, JobsRunInOrderOffTheCallersThreadAndReportBackOnIt) {
    auto recording = std::make_unique<RecordingAutomation>();
    RecordingAutomation* rec = recording.get();
    Gate gate;
    rec->FailWhen([&](const AutomationRecord& r) {
        if (r.name == "block") gate.Wait();
        return false;
    });
    AutomationThread thread(std::move(recording));
    QStringList done;
    std::thread::id workerId;
    thread.Post(
        [&](AutomationFactory& f) {
            workerId = std::this_thread::get_id();
            f.CreateObject("A")->Call("block");
        },
        [&] { done << "first"; });
    thread.Post([](AutomationFactory& f) { f.CreateObject("B")->Call("go"); },
                [&] { done << "second"; });
    // The caller goes on while the first job is held in the office.
    for (int i = 0; i < 1000 && !gate.Reached(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_TRUE(gate.Reached());
    EXPECT_EQ(thread.Pending(), 2);
    QCoreApplication::processEvents();
    EXPECT_TRUE(done.isEmpty());
    gate.Open();
    thread.WaitIdle();
    EXPECT_EQ(done, QStringList({"first", "second"}));
    EXPECT_NE(workerId, std::this_thread::get_id());
    EXPECT_EQ(rec->Log(), QStringList({"create A", "A.block()", "create B", "B.go()"}));
}

TEST(AutomationThread, AJobThatThrowsDoesNotEndTheWorker) {
    AutomationThread thread(std::make_unique<RecordingAutomation>());
    int done = 0;
    thread.Post([](AutomationFactory&) { throw EAutomation("lost"); }, [&] { ++done; });
    thread.Post([](AutomationFactory&) {}, [&] { ++done; });
    thread.WaitIdle();
    EXPECT_EQ(done, 2);
}
