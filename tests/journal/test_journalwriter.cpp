#include <gtest/gtest.h>

#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <chrono>
#include <thread>

#include "journal/journalstore.h"
#include "journal/journalwriter.h"

namespace {

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A disk that fills up: it takes `bytesLeft` more bytes (a write that does not fit goes in as
// far as it fits, as write(2) does on a full file system), then refuses with `error`, into one
// file whose bytes the test reads back. ENOSPC keeps the open file good; EIO makes the writer
// open it anew.
struct FullDisk {
    static inline qsizetype bytesLeft = 0;
    static inline int error = ENOSPC;
    static inline int writes = 0, opens = 0;
    static inline bool bad = false;  // after EIO, until opened anew
    static inline QByteArray bytes;
    class File : public JournalFile {
    public:
        int Open(const QString&, bool) override {
            ++opens;
            bad = false;
            return 0;
        }
        int Write(const QByteArray& b, qsizetype& written) override {
            ++writes;
            written = 0;
            if (bad) return EIO;
            written = std::min(b.size(), bytesLeft);
            bytes += b.left(written);
            bytesLeft -= written;
            if (written == b.size()) return 0;
            bad = error == EIO;
            return error;
        }
        int Sync() override { return 0; }
        void Close() override {}
    };
    static std::unique_ptr<JournalFile> Make() { return std::make_unique<File>(); }
    explicit FullDisk(qsizetype left, int err = ENOSPC) {
        bytesLeft = left;
        error = err;
        writes = opens = 0;
        bad = false;
        bytes.clear();
        SetJournalFileFactory(&Make);
    }
    ~FullDisk() { SetJournalFileFactory(nullptr); }
};

JournalRecord Named(const char* type) {
    return JournalRecord{type};
}

bool WaitForSync(const JournalWriter& w) {
    for (int i = 0; i < 500 && w.SyncedLines() != w.AppendedLines(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return w.SyncedLines() == w.AppendedLines();
}

}  // namespace

TEST(JournalWriter, LinesReachTheFileAtOnceAndAreSynced) {
    QTemporaryDir dir;
    const QString path = dir.filePath("a.journal");
    JournalWriter w;
    ASSERT_EQ(w.Create(path), 0);
    JournalRecord r{"STOP"};
    r.Add("tick", 5);
    ASSERT_EQ(w.Append(r), 0);
    // Handed to the kernel before Append returned: another reader sees it without any close.
    EXPECT_EQ(ReadAll(path), VersionLine() + FormatRecord(r));
    EXPECT_TRUE(WaitForSync(w));
    EXPECT_EQ(w.TakeSyncError(), 0);
    w.Close();

    // The new name is synced with its folder, so that a power cut does not lose the file.
    EXPECT_EQ(JournalFolderSyncs().last, dir.path());
    const int syncs = JournalFolderSyncs().count;

    // A second START in the same place never overwrites a race.
    JournalWriter again;
    EXPECT_EQ(again.Create(path), EEXIST);
    EXPECT_FALSE(again.IsOpen());
    ASSERT_EQ(again.Continue(path), 0);
    EXPECT_EQ(JournalFolderSyncs().count, syncs);  // an existing name needs no sync
    ASSERT_EQ(again.Append(JournalRecord{"RESET"}), 0);
    again.Close();
    const JournalContents c = ParseJournal(ReadAll(path));
    EXPECT_EQ(c.status, JournalContents::Status::Ok);
    ASSERT_EQ(c.records.size(), 2u);
    EXPECT_EQ(c.records[1].type, "RESET");
}

// The disk fills up in the middle of a line, and is cleared later: the journal goes on where it
// stopped and every record is read back, none twice.
TEST(JournalWriter, ALineTheDiskRefusedIsWrittenAgainWithEverythingAfterIt) {
    const qsizetype room = VersionLine().size() + FormatRecord(Named("A")).size() + 3;
    FullDisk disk(room);
    JournalWriter w;
    ASSERT_EQ(w.Create("/nowhere/x.journal"), 0);
    EXPECT_EQ(w.Append(Named("A")), 0);
    EXPECT_EQ(w.Append(Named("B")), ENOSPC);
    EXPECT_TRUE(w.IsOpen());
    EXPECT_TRUE(w.Behind());
    EXPECT_EQ(w.Append(Named("C")), ENOSPC);
    FullDisk::bytesLeft = 1 << 20;
    EXPECT_EQ(w.Append(Named("D")), 0);
    EXPECT_FALSE(w.Behind());
    const JournalContents c = ParseJournal(FullDisk::bytes);
    EXPECT_EQ(c.status, JournalContents::Status::Ok);
    ASSERT_EQ(c.records.size(), 4u);
    EXPECT_EQ(c.records[1].type, "B");
    EXPECT_EQ(c.records[3].type, "D");
    EXPECT_EQ(FullDisk::opens, 1);
    // Closing tries once more what is still waiting.
    FullDisk::bytesLeft = 0;
    EXPECT_EQ(w.Append(Named("E")), ENOSPC);
    FullDisk::bytesLeft = 1 << 20;
    w.Close();
    EXPECT_EQ(ParseJournal(FullDisk::bytes).records.size(), 5u);
}

// A file that went bad (EIO: the USB stick was pulled and put back) is opened anew; what the old
// one left half-written becomes a damaged line of its own, and the record goes again whole.
TEST(JournalWriter, AFileThatWentBadIsOpenedAnew) {
    const qsizetype room = VersionLine().size() + 5;
    FullDisk disk(room, EIO);
    JournalWriter w;
    ASSERT_EQ(w.Create("/nowhere/x.journal"), 0);
    EXPECT_EQ(w.Append(Named("LAP")), EIO);
    FullDisk::bytesLeft = 1 << 20;
    EXPECT_EQ(w.Append(Named("STOP")), 0);
    EXPECT_EQ(FullDisk::opens, 2);
    const JournalContents c = ParseJournal(FullDisk::bytes);
    EXPECT_EQ(c.damagedLines, std::vector<int>{2});
    ASSERT_EQ(c.records.size(), 2u);
    EXPECT_EQ(c.records[0].type, "LAP");
    EXPECT_EQ(c.records[1].type, "STOP");
}

// One writer per journal: a second program can neither write it nor take it over, and sees that
// it is taken.
TEST(JournalWriter, AJournalIsWrittenByOneProgramAtATime) {
    QTemporaryDir dir;
    const QString path = dir.filePath("a.journal");
    EXPECT_FALSE(JournalLocked(path));
    {
        JournalWriter first;
        ASSERT_EQ(first.Create(path), 0);
        EXPECT_TRUE(JournalLocked(path));
        JournalWriter second;
        EXPECT_EQ(second.Continue(path), EWOULDBLOCK);
        EXPECT_FALSE(second.IsOpen());
    }
    EXPECT_FALSE(JournalLocked(path));
    JournalWriter later;
    EXPECT_EQ(later.Continue(path), 0);
}

// A journal whose last line was torn by a kill: going on with it closes that line first, so that
// the next record (DECLINED, RESUME) is not lost with it.
TEST(JournalWriter, GoingOnAfterATornLineStartsANewLine) {
    QTemporaryDir dir;
    const QString path = dir.filePath("a.journal");
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(VersionLine() + FormatRecord(Named("START")) + "LAP tick=12");
    }
    JournalWriter w;
    ASSERT_EQ(w.Continue(path), 0);
    ASSERT_EQ(w.Append(Named("DECLINED")), 0);
    w.Close();
    const JournalContents c = ParseJournal(ReadAll(path));
    ASSERT_EQ(c.records.size(), 2u);
    EXPECT_EQ(c.records[1].type, "DECLINED");
    EXPECT_EQ(c.damagedLines, std::vector<int>{3});
}

TEST(JournalWriter, CannotCreateInAReadOnlyFolder) {
    QTemporaryDir dir;
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
    JournalWriter w;
    const int err = w.Create(dir.filePath("x.journal"));
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (::geteuid() == 0) GTEST_SKIP() << "root writes anywhere";
    EXPECT_EQ(err, EACCES);
    EXPECT_FALSE(w.IsOpen());
}

TEST(JournalStore, ListedNewestFirstAndPruned) {
    QTemporaryDir dir;
    const QDateTime t(QDate(2026, 12, 9), QTime(10, 32, 5));
    EXPECT_TRUE(ListJournals(dir.path()).isEmpty());
    QString error;
    EXPECT_TRUE(ListJournals(dir.filePath("none-yet"), &error).isEmpty());
    EXPECT_TRUE(error.isEmpty());
    const QString first = NewJournalPath(dir.path(), t);
    EXPECT_TRUE(first.endsWith("/2026-12-09-10-32-05.journal"));
    QFile(first).open(QIODevice::WriteOnly);
    const QString second = NewJournalPath(dir.path(), t);
    EXPECT_TRUE(second.endsWith("/2026-12-09-10-32-05_2.journal"));
    QFile(second).open(QIODevice::WriteOnly);
    const QString older = dir.filePath("2026-12-08-23-00-00.journal");
    QFile(older).open(QIODevice::WriteOnly);
    QFile(dir.filePath("zzz.journal")).open(QIODevice::WriteOnly);
    QFile(dir.filePath("2026-12-09-10-40-00.journal-damaged")).open(QIODevice::WriteOnly);
    EXPECT_EQ(ListJournals(dir.path()), (QStringList{second, first, older}));
    EXPECT_EQ(PruneJournals(dir.path(), t.addDays(200)), 0);  // fewer than 20 old ones
}

// A folder the program may write to but not list (mode 0300) leaves every race unprotected:
// the listing says so instead of finding nothing.
TEST(JournalStore, AFolderThatCannotBeListedIsAnError) {
    QTemporaryDir dir;
    // Where a folder should be there is a file: as unlistable as a folder without read access,
    // and so for root too.
    QFile(dir.filePath("races")).open(QIODevice::WriteOnly);
    QString notAFolder;
    EXPECT_TRUE(ListJournals(dir.filePath("races"), &notAFolder).isEmpty());
    EXPECT_EQ(notAFolder, QString::fromLocal8Bit(strerror(ENOTDIR)));
    if (::geteuid() == 0) GTEST_SKIP() << "root lists anything";
    QFile::setPermissions(dir.path(), QFile::WriteOwner | QFile::ExeOwner);
    QString error;
    ListJournals(dir.path(), &error);
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(error, QString::fromLocal8Bit(strerror(EACCES)));
}

TEST(JournalStore, FolderFollowsXdgStateHome) {
    const QByteArray old = qgetenv("XDG_STATE_HOME");
    qputenv("XDG_STATE_HOME", "/tmp/some-state");
    EXPECT_TRUE(JournalDir().startsWith("/tmp/some-state/"));
    EXPECT_TRUE(JournalDir().endsWith("/races"));
    qputenv("XDG_STATE_HOME", old);
}
