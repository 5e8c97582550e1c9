#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QToolButton>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "app/menuitem.h"
#include "grid/sortgrid.h"
#include "tests/support/recordingautomation.h"
#include "platform/programpaths.h"
#include "tests/app/formfixture.h"
#include "tests/support/filepermissions.h"

namespace {
QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
void WriteAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(bytes);
}
}  // namespace

class Files : public FormFixture {
protected:
    TFormMain& WithLaps(int laps) {
        TFormMain& f = Build();
        f.mStart->Click();
        for (int i = 0; i < laps; ++i) {
            clock.Advance(1000);
            f.cbStartN->setEditText(QString::number(100 + i));
            f.mLAP->Click();
        }
        f.mStop->Click();
        return f;
    }
    QString Path(const QString& name) { return dir.filePath(name); }
};

TEST_F(Files, SaveProposesTheDateStampAndTheTypeDecidesTheFormat) {
    TFormMain& f = WithLaps(2);
    dialogs.saveAnswers = {{Path("page.txt"), 3}, {Path("list.doc"), 1}, {Path("proto.html"), 4}};
    f.sbSaveClick();
    ASSERT_EQ(dialogs.saveRequests.size(), 1u);
    EXPECT_EQ(dialogs.saveRequests[0].fileName.size(), 16);
    EXPECT_EQ(dialogs.saveRequests[0].filterIndex, 2);
    EXPECT_TRUE(ReadAll(Path("page.txt")).contains("<table"));
    SaveShotFile(Path("page.txt"), "protocol.html");
    f.sbSaveClick();
    EXPECT_TRUE(ReadAll(Path("list.doc")).startsWith("Rang;Nr.;Time;Split;Km/h\r\n"));
    f.sbSaveClick();
    EXPECT_TRUE(ReadAll(Path("proto.html")).startsWith("GenerelSettings,0\r\n"));
    EXPECT_EQ(f.SaveDialog1.filterIndex, 4);  // kept for the next save and written at exit
    EXPECT_TRUE(f.SortGrid1->Modified());     // saving does not clear it
}

TEST_F(Files, CancelledSaveWritesNothing) {
    TFormMain& f = WithLaps(1);
    f.sbSaveClick();
    EXPECT_TRUE(QDir(dir.path()).entryList({"*.csv", "*.html"}, QDir::Files).isEmpty());
}

TEST_F(Files, WordChoiceSavesThroughTheOfficeSuite) {
    TFormMain& f = WithLaps(1);
    auto recording = std::make_unique<RecordingAutomation>();
    RecordingAutomation* rec = recording.get();
    f.SetAutomation(std::move(recording));
    dialogs.saveAnswers = {{Path("result.txt"), 2}};
    f.sbSaveClick();
    f.WaitForExports();
    QStringList lines;
    for (const auto& r : rec->Records())
        lines << r.ToString();
    EXPECT_TRUE(lines.join('\n').contains("FileSaveAs")) << lines.join('\n').toStdString();
    EXPECT_TRUE(lines.join('\n').contains("AppMinimize"));
}

TEST_F(Files, OpenAskedOverUnsavedResultsAndRefusedWithNo) {
    TFormMain& f = WithLaps(2);
    f.SortGrid1->SaveToFile(Path("old.txt"), false);
    f.SortGrid1->SetCells(1, 1, "999");
    dialogs.confirmAnswers = {false};
    dialogs.openAnswers = {Path("old.txt")};
    f.sbLoadClick();
    EXPECT_EQ(dialogs.confirms, QStringList{"Clear protocol?"});
    EXPECT_EQ(f.SortGrid1->Cells(1, 1), "999");
    EXPECT_TRUE(dialogs.openRequests.empty());
    dialogs.confirmAnswers = {true};
    f.sbLoadClick();
    EXPECT_EQ(f.SortGrid1->Cells(1, 1), "100");
    EXPECT_FALSE(f.SortGrid1->Modified());
    EXPECT_TRUE(f.sbSave->isEnabled());
}

TEST_F(Files, AFailedOpenLeavesTheProtocolAndSaysWhichFile) {
    TFormMain& f = WithLaps(3);
    dialogs.defaultConfirm = true;  // the laps may go
    QFile bad(Path("bad.txt"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("GenerelSettings,0\r\nFontColSettings,\"x,y\"\r\n");
    bad.close();
    dialogs.openAnswers = {Path("bad.txt")};
    f.sbLoadClick();
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].contains(Path("bad.txt")));
    EXPECT_EQ(f.SortGrid1->RowCount(), 4);
    EXPECT_EQ(f.SortGrid1->Cells(1, 3), "102");
}

TEST_F(Files, OpenRefusesWhatIsNoRegularFileAndTooLargeFilesWithoutWaiting) {
    TFormMain& f = WithLaps(3);
    dialogs.defaultConfirm = true;  // the laps may go
    const QString fifo = Path("fifo.txt");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    // Something that writes a valid protocol into the FIFO as soon as anyone opens it for
    // reading, so that an open that waits for the FIFO ends instead of hanging the test.
    std::atomic<bool> done{false};
    std::thread writer([&] {
        const QByteArray protocol = "-1\r\nRang,Nr.\r\n1.,777\r\n";
        while (!done) {
            const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) {
                EXPECT_EQ(::write(fd, protocol.constData(), size_t(protocol.size())),
                          protocol.size());
                ::close(fd);
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    QDir(dir.path()).mkdir("folder.txt");
    const QString socketPath = Path("socket.txt");
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray socketName = QFile::encodeName(socketPath);
    ASSERT_LT(size_t(socketName.size()), sizeof(address.sun_path));
    std::memcpy(address.sun_path, socketName.constData(), size_t(socketName.size()));
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    QFile big(Path("big.txt"));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    big.write("-1\r\nRang,Nr.\r\n1.,555\r\n");
    ASSERT_TRUE(big.resize(4 * 1024 * 1024 + 1));  // one byte over what is read
    big.close();

    const QStringList names = {fifo, Path("folder.txt"), socketPath, Path("big.txt")};
    for (const QString& name : names) {
        dialogs.openAnswers = {name};
        f.sbLoadClick();
    }
    done = true;
    writer.join();
    ::close(sock);
    const QString notRegular = QStringLiteral("\rIt is not a regular file.");
    EXPECT_EQ(dialogs.errors,
              QStringList({"Can't read the protocol file:\r" + fifo + notRegular,
                           "Can't read the protocol file:\r" + Path("folder.txt") + notRegular,
                           "Can't read the protocol file:\r" + socketPath + notRegular,
                           "Can't read the protocol file:\r" + Path("big.txt") +
                               "\rIt is larger than 4 MB, the most a file here may have."}));
    EXPECT_EQ(f.SortGrid1->RowCount(), 4);
    EXPECT_EQ(f.SortGrid1->Cells(1, 3), "102");
}

TEST_F(Files, AProtocolNamedAtStartUpTakesTheOpenCommandsPath) {
    {
        TFormMain& f = WithLaps(2);
        f.SortGrid1->SaveToFile(Path("race.txt"), false);
        f.SortGrid1->SetModified(false);
        Destroy();
    }
    TFormMain& f = Build();
    f.OpenProtocolArgument(Path("race.txt"));
    EXPECT_TRUE(dialogs.confirms.isEmpty());  // nothing to lose yet
    EXPECT_TRUE(dialogs.openRequests.empty());
    EXPECT_TRUE(dialogs.errors.isEmpty());
    EXPECT_EQ(f.SortGrid1->Cells(1, 2), "101");
    EXPECT_FALSE(f.SortGrid1->Modified());
    EXPECT_TRUE(f.sbSave->isEnabled());

    f.OpenProtocolArgument(Path("missing.txt"));
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].contains(Path("missing.txt")));
    EXPECT_EQ(f.SortGrid1->Cells(1, 2), "101");

    // Unsaved results are asked about first, as by the Open command.
    f.SortGrid1->SetCells(1, 1, "999");
    f.SortGrid1->SetModified(true);
    dialogs.confirmAnswers = {false};
    f.OpenProtocolArgument(Path("race.txt"));
    EXPECT_EQ(dialogs.confirms, QStringList{"Clear protocol?"});
    EXPECT_EQ(f.SortGrid1->Cells(1, 1), "999");
}

TEST_F(Files, ExitSaveWritesTheProtocolButNeverAnEmptyOneOverALastRace) {
    {
        TFormMain& f = WithLaps(2);
        f.SortGrid1->SetModified(false);
        Destroy();
    }
    const QString exitFile = Path("vidazorov.txt");
    const QByteArray race = ReadAll(exitFile);
    EXPECT_TRUE(race.contains("\r\n1.,100,"));
    Build();
    Destroy();  // started and closed again: the race stays
    EXPECT_EQ(ReadAll(exitFile), race);
    QFile::remove(exitFile);
    Build();
    Destroy();  // no earlier file: the empty protocol is written
    EXPECT_TRUE(ReadAll(exitFile).startsWith("GenerelSettings"));
}

TEST_F(Files, PrintSetsTitlesAndRows) {
    TFormMain& f = WithLaps(5);
    f.sbPrintClick();  // prints, or reports that no printer is installed
    const TPrintOptions& p = f.SortGrid1->PrintOptions();
    EXPECT_EQ(p.JobTitle, "vidazorov");
    EXPECT_TRUE(p.PageTitle.startsWith("vidazorov       20"));
    EXPECT_EQ(p.PageTitle.size(), 9 + 7 + 16);
    EXPECT_EQ(p.FromRow, 1u);
    EXPECT_EQ(p.ToRow, 5u);
}

TEST_F(Files, DialogsStartInTheWorkingFolderAtFirstThenWhereAFileWasLastChosen) {
    {
        TFormMain& f = WithLaps(2);
        dialogs.defaultConfirm = true;  // the laps may go
        f.sbSaveClick();                // cancelled
        f.sbLoadClick();
        ASSERT_EQ(dialogs.saveRequests.size(), 1u);
        ASSERT_EQ(dialogs.openRequests.size(), 1u);
        // The working folder, not the program's (bin/ here); "MS Word" preselected as stored.
        EXPECT_EQ(dialogs.saveRequests[0].initialDir, dir.path());
        EXPECT_EQ(dialogs.openRequests[0].initialDir, dir.path());
        EXPECT_EQ(dialogs.saveRequests[0].filterIndex, 2);

        ASSERT_TRUE(QDir(dir.path()).mkdir("races"));
        dialogs.saveAnswers = {{Path("races/day1.csv"), 1}};
        f.sbSaveClick();
        f.sbSaveClick();
        f.sbLoadClick();
        EXPECT_EQ(dialogs.saveRequests.back().initialDir, Path("races"));
        EXPECT_EQ(dialogs.openRequests.back().initialDir, Path("races"));

        // Opening from another folder: both dialogs follow it.
        ASSERT_TRUE(QDir(dir.path()).mkdir("archive"));
        f.SortGrid1->SaveToFile(Path("archive/old.txt"), false);
        dialogs.openAnswers = {Path("archive/old.txt")};
        f.sbLoadClick();
        f.sbSaveClick();
        f.sbLoadClick();
        EXPECT_EQ(dialogs.saveRequests.back().initialDir, Path("archive"));
        EXPECT_EQ(dialogs.openRequests.back().initialDir, Path("archive"));
        Destroy();
    }
    // Kept in the settings: the next start begins there, with the type last chosen.
    dialogs.saveRequests.clear();
    TFormMain& f = Build();
    f.sbSaveClick();
    ASSERT_EQ(dialogs.saveRequests.size(), 1u);
    EXPECT_EQ(dialogs.saveRequests[0].initialDir, Path("archive"));
    EXPECT_EQ(dialogs.saveRequests[0].filterIndex, 1);
    Destroy();
    // A folder that is gone: the working folder again.
    ASSERT_TRUE(QDir(Path("archive")).removeRecursively());
    Build().sbSaveClick();
    EXPECT_EQ(dialogs.saveRequests.back().initialDir, dir.path());
}

TEST_F(Files, SavingNeverStartsInAFolderThatCannotBeWrittenTo) {
    ScopedFilePermissionsBind permissions;
    // The installed program started from its own folder, which cannot be written to.
    ASSERT_TRUE(QDir(dir.path()).mkpath("usr/lib/vidazorov"));
    const QString programDir = Path("usr/lib/vidazorov");
    ASSERT_EQ(::chmod(QFile::encodeName(programDir).constData(), 0555), 0);
    SetProgramFilePath(programDir + "/vidazorov");
    ASSERT_TRUE(QDir::setCurrent(programDir));
    // The user's documents folder, as the desktop names it.
    ASSERT_TRUE(QDir(dir.path()).mkpath("home/Dokumente"));
    WriteAll(Path("config/user-dirs.dirs"),
             "XDG_DOCUMENTS_DIR=\"" + QFile::encodeName(Path("home/Dokumente")) + "\"\n");

    TFormMain& f = Build();
    dialogs.defaultConfirm = true;
    f.sbSaveClick();
    f.sbLoadClick();
    EXPECT_EQ(dialogs.saveRequests.back().initialDir, Path("home/Dokumente"));
    EXPECT_EQ(dialogs.saveRequests.back().filterIndex, 2);
    EXPECT_EQ(dialogs.openRequests.back().initialDir, Path("home/Dokumente"));

    // A protocol opened from a folder that cannot be written to: the open dialog goes back
    // there, saving does not start there, at once or after a restart.
    ASSERT_TRUE(QDir(dir.path()).mkdir("stick"));
    f.SortGrid1->SaveToFile(Path("stick/race.txt"), false);
    ASSERT_EQ(::chmod(QFile::encodeName(Path("stick")).constData(), 0555), 0);
    dialogs.openAnswers = {Path("stick/race.txt")};
    f.sbLoadClick();
    f.sbSaveClick();
    f.sbLoadClick();
    EXPECT_EQ(dialogs.saveRequests.back().initialDir, Path("home/Dokumente"));
    EXPECT_EQ(dialogs.openRequests.back().initialDir, Path("stick"));
    dialogs.saveRequests.clear();
    Destroy();
    Build().sbSaveClick();
    EXPECT_EQ(dialogs.saveRequests.back().initialDir, Path("home/Dokumente"));
    Destroy();
    for (const char* folder : {"usr/lib/vidazorov", "stick"})
        ::chmod(QFile::encodeName(Path(folder)).constData(), 0755);
}

TEST_F(Files, AFileThatIsNoTextIsRefusedAndTheListKept) {
    TFormMain& f = WithLaps(3);
    dialogs.defaultConfirm = true;  // the laps may go
    const QString text = "GenerelSettings,0\r\n-1,-1,-1,-1,-1,-1,-1,-1,-1\r\nRang,Nr.\r\n1.,777\r\n";
    const QByteArray utf16le = QByteArray(reinterpret_cast<const char*>(text.utf16()),
                                          text.size() * 2);
    QByteArray utf16be;
    for (qsizetype i = 0; i < utf16le.size(); i += 2)
        utf16be.append(utf16le[i + 1]).append(utf16le[i]);
    struct Case {
        const char* name;
        QByteArray bytes;
        QString reason;
    };
    const QString utf16 =
        "It is UTF-16 text, which the program does not read: a protocol file is UTF-8 or "
        "Windows-1252 text.";
    const Case cases[] = {
        // A NUL cuts the rows after it: no list of one row.
        {"nul.txt", text.toUtf8().insert(text.indexOf("777") + 1, QByteArray("\0zz", 3)),
         "It is not a text file: its byte 62 is a NUL byte."},
        {"utf16-bom.txt", "\xFF\xFE" + utf16le, utf16},
        {"utf16.txt", utf16le, utf16},
        {"utf16be.txt", utf16be, utf16},
        // Neither UTF-8 nor text in the old code page: a picture, say.
        {"picture.txt", QByteArray("\xFF\xD8\xFF\xE0\x10JFIF\x01\x02\r\n", 13),
         "It is not a text file: its byte 5 is the control code 0x10."},
    };
    for (const Case& c : cases) {
        WriteAll(Path(c.name), c.bytes);
        dialogs.openAnswers = {Path(c.name)};
        f.sbLoadClick();
        ASSERT_FALSE(dialogs.errors.isEmpty()) << c.name;
        EXPECT_EQ(dialogs.errors.back(),
                  "Can't read the protocol file:\r" + Path(c.name) + "\r" + c.reason)
            << dialogs.errors.back().toStdString();
        EXPECT_EQ(f.SortGrid1->RowCount(), 4) << c.name;
        EXPECT_EQ(f.SortGrid1->Cells(1, 3), "102") << c.name;
    }
    EXPECT_EQ(dialogs.errors.size(), 5);
    EXPECT_TRUE(dialogs.infos.isEmpty()) << dialogs.infos.join('|').toStdString();
    // A protocol from the program's Windows days (Windows-1252, not UTF-8) still opens.
    WriteAll(Path("old.txt"), "-1\r\nRang,Nr.\r\n1.,M\xFCller\r\n");
    dialogs.openAnswers = {Path("old.txt")};
    f.sbLoadClick();
    EXPECT_EQ(dialogs.errors.size(), 5);
    EXPECT_EQ(f.SortGrid1->Cells(1, 1), QString::fromUtf8("Müller"));
}

TEST_F(Files, FileErrorsNameTheFileAndTheSystemsReason) {
    TFormMain& f = WithLaps(2);
    auto recording = std::make_unique<RecordingAutomation>();
    RecordingAutomation* rec = recording.get();
    f.SetAutomation(std::move(recording));
    dialogs.defaultConfirm = true;  // the laps may go
    // Named on the command line, but not there.
    f.OpenProtocolArgument(Path("missing.txt"));
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_EQ(dialogs.errors[0],
              "Can't read the protocol file:\r" + Path("missing.txt") + "\rIt does not exist.");

    ScopedFilePermissionsBind permissions;
    const QString denied = QString::fromLocal8Bit(std::strerror(EACCES));
    // A protocol the account may not read.
    f.SortGrid1->SaveToFile(Path("secret.txt"), false);
    ASSERT_EQ(::chmod(QFile::encodeName(Path("secret.txt")).constData(), 0), 0);
    dialogs.openAnswers = {Path("secret.txt")};
    f.sbLoadClick();
    ASSERT_EQ(dialogs.errors.size(), 2);
    EXPECT_EQ(dialogs.errors[1], "Can't read the protocol file:\r" + Path("secret.txt") +
                                     "\rThere is no permission to read it: " + denied + ".");

    // Every type saved into a folder that cannot be written to; Word does not even start.
    ASSERT_TRUE(QDir(dir.path()).mkdir("readonly"));
    ASSERT_EQ(::chmod(QFile::encodeName(Path("readonly")).constData(), 0555), 0);
    const QString why = "There is no permission to write in the folder " + Path("readonly") +
                        ": " + denied + ".";
    dialogs.saveAnswers = {{Path("readonly/r.csv"), 1},
                           {Path("readonly/r.doc"), 2},
                           {Path("readonly/r.html"), 3},
                           {Path("readonly/r.txt"), 4}};
    for (int i = 0; i < 4; ++i)
        f.sbSaveClick();
    f.WaitForExports();
    EXPECT_EQ(dialogs.errors.mid(2),
              QStringList({"Can't write to file:\r" + Path("readonly/r.csv") + "\r" + why,
                           "Can't write to file:\r" + Path("readonly/r.doc") + "\r" + why,
                           "Error write file: " + Path("readonly/r.html") + "\r" + why,
                           "Can't write to file:\r" + Path("readonly/r.txt") + "\r" + why}));
    EXPECT_TRUE(rec->Log().isEmpty()) << rec->Log().join('\n').toStdString();
    EXPECT_TRUE(QDir(Path("readonly")).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    ::chmod(QFile::encodeName(Path("readonly")).constData(), 0755);
}
