#include <gtest/gtest.h>

#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cerrno>
#include <chrono>
#include <thread>

#include "journal/journalstore.h"
#include "journal/journalwriter.h"

namespace {

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A disk that fills up after a few lines.
struct FullDisk {
    static inline int writesLeft = 0;
    static inline int writes = 0;
    static inline int syncs = 0;
    class File : public JournalFile {
    public:
        int Open(const QString&, bool) override { return 0; }
        int Write(const QByteArray&) override {
            ++writes;
            return writesLeft-- > 0 ? 0 : ENOSPC;
        }
        int Sync() override {
            ++syncs;
            return 0;
        }
        void Close() override {}
    };
    static std::unique_ptr<JournalFile> Make() { return std::make_unique<File>(); }
    FullDisk(int left) {
        writesLeft = left;
        writes = syncs = 0;
        SetJournalFileFactory(&Make);
    }
    ~FullDisk() { SetJournalFileFactory(nullptr); }
};

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

    // A second START in the same place never overwrites a race.
    JournalWriter again;
    EXPECT_EQ(again.Create(path), EEXIST);
    EXPECT_FALSE(again.IsOpen());
    ASSERT_EQ(again.Continue(path), 0);
    ASSERT_EQ(again.Append(JournalRecord{"RESET"}), 0);
    again.Close();
    const JournalContents c = ParseJournal(ReadAll(path));
    EXPECT_EQ(c.status, JournalContents::Status::Ok);
    ASSERT_EQ(c.records.size(), 2u);
    EXPECT_EQ(c.records[1].type, "RESET");
}

TEST(JournalWriter, FullDiskClosesTheJournalAfterOneError) {
    FullDisk disk(3);
    JournalWriter w;
    ASSERT_EQ(w.Create("/nowhere/x.journal"), 0);  // the version line is write 1
    EXPECT_EQ(w.Append(JournalRecord{"A"}), 0);
    EXPECT_EQ(w.Append(JournalRecord{"B"}), 0);
    EXPECT_EQ(w.Append(JournalRecord{"C"}), ENOSPC);
    EXPECT_FALSE(w.IsOpen());
    // Nothing more is tried until the journal is opened again.
    EXPECT_EQ(w.Append(JournalRecord{"D"}), 0);
    EXPECT_EQ(FullDisk::writes, 4);
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

TEST(JournalStore, NewestNamesAndPruning) {
    QTemporaryDir dir;
    const QDateTime t(QDate(2026, 12, 9), QTime(10, 32, 5));
    EXPECT_TRUE(NewestJournal(dir.path()).isEmpty());
    const QString first = NewJournalPath(dir.path(), t);
    EXPECT_TRUE(first.endsWith("/2026-12-09-10-32-05.journal"));
    QFile(first).open(QIODevice::WriteOnly);
    const QString second = NewJournalPath(dir.path(), t);
    EXPECT_TRUE(second.endsWith("/2026-12-09-10-32-05_2.journal"));
    QFile(second).open(QIODevice::WriteOnly);
    QFile(dir.filePath("2026-12-08-23-00-00.journal")).open(QIODevice::WriteOnly);
    QFile(dir.filePath("zzz.journal")).open(QIODevice::WriteOnly);
    EXPECT_EQ(NewestJournal(dir.path()), second);
    EXPECT_EQ(PruneJournals(dir.path(), t.addDays(200)), 0);  // fewer than 20
}

TEST(JournalStore, FolderFollowsXdgStateHome) {
    const QByteArray old = qgetenv("XDG_STATE_HOME");
    qputenv("XDG_STATE_HOME", "/tmp/some-state");
    EXPECT_TRUE(JournalDir().startsWith("/tmp/some-state/"));
    EXPECT_TRUE(JournalDir().endsWith("/races"));
    qputenv("XDG_STATE_HOME", old);
}
