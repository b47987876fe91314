#include "player_fixture.h"

#include "core/dictation_library.h"
#include "core/library_wiring.h"
#include "core/recording_converter.h"
#include "fakes/memory_dictation_store.h"

#include <QDir>

using namespace velloran;
using namespace velloran::testing;

namespace {

class DictationLibraryTest : public PlayerTest {
protected:
    QDateTime clockNow{QDate(2026, 3, 2), QTime(9, 0)};
    MemoryDictationStore memory;
    DictationLibrary library{&memory, std::bind(&DictationLibraryTest::now, this)};
    QDateTime now() const { return clockNow; }

    void at(double seconds, double position, bool playing = true) {
        clockNow = clockNow.addMSecs(qint64(seconds * 1000));
        library.progress(library.current()->path, position, 0, playing);
    }
};

TEST_F(DictationLibraryTest, AFileIsFoundByPathOrByContentOnceMoved) {
    const QString a = makeFile(QStringLiteral("a.wav"), QByteArray(200000, 'a'));
    library.opened(a, 60);
    at(1, 30);
    library.bookmarksChanged(a, {30, 12});
    const qint64 id = library.current()->id;

    const struct {
        const char *what, *name;
        QByteArray content;
        bool sameRecord;
    } cases[] = {
        {"reopened", "a.wav", QByteArray(200000, 'a'), true},
        {"renamed", "moved.wav", QByteArray(200000, 'a'), true},
        {"another recording under the old name", "moved.wav", QByteArray(200000, 'b'), false},
        {"same start, other end", "c.wav", QByteArray(200000, 'a') + "x", false},
        {"a copy beside the original", "copy.wav", QByteArray(200000, 'a') + "x", false},
    };
    QString previous = a;
    for (const auto& c : cases) {
        const QString path = dir.filePath(QLatin1String(c.name));
        if (!std::string(c.what).starts_with("a copy"))
            QFile::remove(previous);
        makeFile(QLatin1String(c.name), c.content);
        previous = path;
        const auto record = library.opened(path, 60);
        ASSERT_TRUE(record && record->path == path) << c.what;
        EXPECT_EQ(record->place, c.sameRecord ? 30 : 0) << c.what;
        EXPECT_EQ(record->bookmarks, c.sameRecord ? QList<double>({30, 12}) : QList<double>())
            << c.what;
        EXPECT_EQ(record->id == id, c.sameRecord || std::string(c.what).starts_with("another"))
            << c.what;
    }
    // One record a path: the renamed file's old row went.
    EXPECT_EQ(memory.records.size(), 3);
}

TEST_F(DictationLibraryTest, TimeAndAudioCountOnlyWhilePlayingThrough) {
    library.opened(makeFile(QStringLiteral("a.wav")), 600);
    at(1, 10);   // the restore's seek: no audio
    at(1, 11);   // playing
    at(1, 12.5); // playing
    at(1, 40);   // a seek forward skips audio
    at(600, 41); // back after a long break: the gap counts 120 s
    at(1, 30);   // a rewind
    at(1, 41);   // heard already
    at(1, 42);
    at(1, 43, false); // a small skip while paused
    library.flush();
    const DictationRecord& r = memory.records.first();
    EXPECT_EQ(r.place, 43);
    EXPECT_EQ(r.played, 42);
    EXPECT_DOUBLE_EQ(r.spent, 1 + 1 + 1 + 1 + 120 + 1 + 1 + 1 + 1);
    EXPECT_EQ(library.totals(memory.days, clockNow.date(), clockNow.date()).audioSeconds,
              2.5 + 1 + 1);
    // Another file's positions (one still closing) are not this dictation's.
    library.progress(dir.filePath(QStringLiteral("other.wav")), 3, 0);
    library.flush();
    EXPECT_EQ(memory.records.first().place, 43);
}

TEST_F(DictationLibraryTest, PlacesAreWrittenEveryFewSecondsAndAFailedWriteIsRetried) {
    library.opened(makeFile(QStringLiteral("a.wav")), 600);
    const int afterOpen = memory.saves;
    for (int i = 1; i <= 10; ++i)
        at(1, i);
    EXPECT_EQ(memory.saves, afterOpen + 2);
    memory.failWrites = true;
    at(5, 11);
    memory.failWrites = false;
    library.flush();
    EXPECT_EQ(memory.records.first().place, 11);
    EXPECT_EQ(library.totals(memory.days, clockNow.date(), clockNow.date()).spentSeconds, 15)
        << "the failed write's time was lost";
}

TEST_F(DictationLibraryTest, RecentTextAndStats) {
    DictationRecord r{.path = QStringLiteral("/x/letter.wav"), .place = 192, .length = 340};
    EXPECT_EQ(DictationLibrary::recentText(r), QStringLiteral("letter.wav, 03:12 of 05:40, 56 %"));
    r.place = r.length = 3725;
    EXPECT_EQ(DictationLibrary::recentText(r),
              QStringLiteral("letter.wav, 1:02:05 of 1:02:05, 100 %"));

    const QDate today(2026, 3, 9);
    const QList<WorkDay> days = {{1, today, 600, 300},
                                 {2, today, 1200, 300},
                                 {1, today.addDays(-6), 1800, 600},
                                 {3, today.addDays(-7), 9, 9}};
    EXPECT_EQ(DictationLibrary::statsReport(days, today),
              QStringLiteral("Today: 2 dictations, 10.0 audio minutes completed, 0 h 30 min spent, "
                             "ratio 3.0\nLast 7 days: 2 dictations, 20.0 audio minutes completed, "
                             "1 h 00 min spent, ratio 3.0\n"));
    EXPECT_FALSE(DictationLibrary::totals({}, today, today).ratio());
}

TEST_F(DictationLibraryTest, NeighboursInNameOrder) {
    for (const char* name : {"d10.wav", "d2.WAV", "d1.mp3", "notes.txt", "e.dss"})
        makeFile(QLatin1String(name));
    QDir(dir.path()).mkdir(QStringLiteral("sub.wav"));
    const auto at = [&](const char* name) {
        return *name ? dir.filePath(QLatin1String(name)) : QString();
    };
    const struct {
        const char* from;
        int step;
        const char* to;
    } cases[] = {{"d1.mp3", 1, "d2.WAV"},  {"d2.WAV", 1, "d10.wav"}, {"d10.wav", 1, "e.dss"},
                 {"e.dss", 1, ""},         {"d1.mp3", -1, ""},       {"d10.wav", -1, "d2.WAV"},
                 {"d3.wav", 1, "d10.wav"}, {"d3.wav", -1, "d2.WAV"}};
    for (const auto& c : cases)
        EXPECT_EQ(DictationLibrary::neighbour(at(c.from), c.step), at(c.to)) << c.from << c.step;
}

// The player's own controls restore a dictation: place, dots and, when chosen, speed.
TEST_F(DictationLibraryTest, EachDictationComesBackWithItsPlaceAndBookmarks) {
    LibraryWiring wiring(player, &memory);
    const QString a = loadWithFile(100);
    const QString b = makeFile(QStringLiteral("b.wav"), "other");
    engine.setDurationFor(b, 50);
    store.values[keys::RememberSpeed] = QStringLiteral("True");

    engine.setCurrentPosition(30);
    player.posChange();
    player.addBookMark();
    player.speedSliderMoved(4);
    engine.emitTimer();
    player.openPath(b);
    pump();
    EXPECT_EQ(engine.currentPosition(), 0);
    EXPECT_TRUE(player.bookmarks().positions().isEmpty());
    engine.setCurrentPosition(2);
    engine.emitTimer();

    player.openPath(a);
    pump();
    EXPECT_EQ(engine.currentPosition(), 30);
    EXPECT_EQ(player.bookmarks().positions(), QList<double>{30});
    EXPECT_EQ(player.bookmarks().markers(), (QList<Bookmarks::Marker>{{2, 650, false}}));
    EXPECT_EQ(player.speed().speedStep(), 14);
    player.smallRewind();
    player.moveToBookMark();
    EXPECT_EQ(engine.currentPosition(), 30);

    player.clearallBookmarks();
    player.openPath(b);
    pump();
    EXPECT_EQ(engine.currentPosition(), 2);
    EXPECT_TRUE(memory.findByPath(a)->bookmarks.isEmpty());
    EXPECT_EQ(store.values[keys::CurrentFile], b); // the remembered file is kept as ever
}

TEST_F(DictationLibraryTest, AConvertedRecordingIsKeptUnderItsOwnName) {
    LibraryWiring wiring(player, &memory);
    struct : RecordingConverter {
        ConversionOutcome convertDss(const QString&) override { return {wave, {}, {}}; }
        ConversionOutcome convertDvi(const QString&) override { return {}; }
        void discardTemporary() override {}
        QString wave;
    } fake;
    fake.wave = makeFile(QStringLiteral("cache.wav"));
    player.setConverter(wiring.watchConversions(fake));
    const QString dss = makeFile(QStringLiteral("rec01.dss"), QByteArray("\x02"
                                                                         "dss",
                                                                         4) +
                                                                  QByteArray(600, 0));
    player.openPath(dss);
    pump();
    EXPECT_EQ(wiring.library().current()->path, dss);
}

} // namespace
