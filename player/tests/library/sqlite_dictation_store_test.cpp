#include "core/file_names.h"
#include "library/sqlite_dictation_store.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

using namespace velloran;

namespace {

const QDate kDay(2026, 3, 2);

std::unique_ptr<SqliteDictationStore> openStore(const QString& path) {
    auto opening = SqliteDictationStore::open(path);
    EXPECT_TRUE(opening.message.isEmpty()) << opening.message.toStdString();
    return std::move(opening.store);
}

TEST(SqliteDictationStoreTest, RecordsComeBackWholeAndAPathHasOneRecord) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("new/dictations.sqlite"));
    // clang-format off
    DictationRecord r{0, fileNameFromBytes("/d/caf\xe9.wav"), 5, 9, QByteArray("\0\1", 2), 12.25, 60,
                      {30, 1.5, 30}, -3, 1000, 20, 7};
    // clang-format on
    DictationRecord other = r;
    {
        const auto store = openStore(path);
        ASSERT_TRUE(store);
        ASSERT_TRUE(store->save(r, {0, kDay, 10, 5}));
        other.id = 0;
        other.path = QStringLiteral("/d/other.wav");
        ASSERT_TRUE(store->save(other, {0, kDay, 1, 1}));
        r.path = other.path; // renamed over the other one
        ASSERT_TRUE(store->save(r, {0, kDay, 2, 0}));
    }
    const auto store = openStore(path);
    ASSERT_TRUE(store);
    EXPECT_EQ(store->findByPath(other.path), r);
    EXPECT_EQ(store->findByFingerprint(5, r.fingerprint), r);
    EXPECT_EQ(store->recent(15), QList<DictationRecord>{r});
    // The days worked on the record that went still count.
    EXPECT_EQ(DictationLibrary::totals(store->workSince(kDay), kDay, kDay).spentSeconds, 13);
    EXPECT_TRUE(store->workSince(kDay.addDays(1)).isEmpty());
}

TEST(SqliteDictationStoreTest, ADamagedFileIsMovedAsideAndANewerOneLeftAlone) {
    const struct {
        const char* what;
        qint64 offset;
        QByteArray bytes;
        bool damaged; // moved aside and started afresh, or left alone and not used
    } cases[] = {
        {"not a database", 0, QByteArray(8192, 'x'), true},
        {"a damaged page", 4096, QByteArray(4096, 'x'), true},
        {"written by a newer program", 60, QByteArray("\0\0\0\x63", 4), false},
    };
    for (const auto& c : cases) {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("dictations.sqlite"));
        DictationRecord r;
        r.path = QStringLiteral("/d/a.wav");
        ASSERT_TRUE(openStore(path)->save(r, {}));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        file.seek(c.offset);
        file.write(c.bytes);
        file.close();

        const auto opening = SqliteDictationStore::open(path);
        EXPECT_FALSE(opening.message.isEmpty()) << c.what;
        EXPECT_EQ(bool(opening.store), c.damaged) << c.what;
        EXPECT_EQ(QDir(dir.path()).entryList({"*.damaged-*"}).size(), c.damaged) << c.what;
        EXPECT_TRUE(!opening.store || opening.store->recent(15).isEmpty()) << c.what;
    }
}

// A writer killed at random moments: every opening finds the record and its
// day's work from the same transaction.
TEST(SqliteDictationStoreTest, AWriterKilledAtAnyMomentLeavesItConsistent) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("dictations.sqlite"));
    std::mt19937 random(24);
    for (int round = 0; round < 25; ++round) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            auto opening = SqliteDictationStore::open(path);
            if (!opening.store)
                ::_exit(3);
            DictationRecord r = opening.store->findByPath(QStringLiteral("/d/a.wav"))
                                    .value_or(DictationRecord{0, QStringLiteral("/d/a.wav")});
            for (;;) {
                r.spent += 1;
                r.place = r.spent;
                r.bookmarks = {r.place, r.place};
                if (!opening.store->save(r, {0, kDay, 1, 0}))
                    ::_exit(4);
            }
        }
        ::usleep(std::uniform_int_distribution<useconds_t>(1000, 40000)(random));
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "writer ended by itself: " << WEXITSTATUS(status);

        const auto store = openStore(path);
        ASSERT_TRUE(store);
        const auto r = store->findByPath(QStringLiteral("/d/a.wav"));
        if (!r)
            continue; // killed before the first commit
        EXPECT_EQ(DictationLibrary::totals(store->workSince(kDay), kDay, kDay).spentSeconds,
                  r->spent)
            << "round " << round;
        EXPECT_EQ(r->place, r->spent);
        EXPECT_EQ(r->bookmarks, (QList<double>{r->place, r->place}));
    }
}

} // namespace
