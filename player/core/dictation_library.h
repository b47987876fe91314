#pragma once

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace velloran {

/// What the library keeps of one dictation.
struct DictationRecord {
    qint64 id = 0; ///< 0 until the store has it
    QString path;
    qint64 size = 0;
    qint64 modified = 0;     ///< modification time, ms since the epoch
    QByteArray fingerprint;  ///< of the first and last 64 KiB; see fingerprintFile()
    double place = 0;        ///< where the typist was, seconds
    double length = 0;       ///< seconds, as the engine measured it
    QList<double> bookmarks; ///< in setting order, duplicates kept
    int speedNotch = 0;      ///< the speed slider, -10..10
    qint64 lastOpened = 0;   ///< ms since the epoch
    double played = 0;       ///< the furthest point heard by playing through, seconds
    double spent = 0;        ///< the typist's working time on it, seconds
    bool operator==(const DictationRecord&) const = default;
};

/// One dictation's work on one day.
struct WorkDay {
    qint64 dictation = 0;
    QDate day;
    double spent = 0; ///< working seconds
    double audio = 0; ///< seconds of audio heard for the first time
};

/// Where the library's records live: SQLite in the program, memory in tests.
/// A store holds one record per path.
class DictationStore {
public:
    virtual ~DictationStore() = default;
    virtual std::optional<DictationRecord> findByPath(const QString& path) = 0;
    /// A record whose file has @p size bytes and @p fingerprint, whatever its path.
    virtual std::optional<DictationRecord> findByFingerprint(qint64 size,
                                                             const QByteArray& fingerprint) = 0;
    /// Writes @p record (giving it an id when new) and adds @p work to that
    /// dictation's day, all or nothing. Another record with the same path goes.
    virtual bool save(DictationRecord& record, const WorkDay& work) = 0;
    /// The @p count records opened last, newest first.
    virtual QList<DictationRecord> recent(int count) = 0;
    /// Every day's work from @p from on.
    virtual QList<WorkDay> workSince(const QDate& from) = 0;
};

/// Totals of the work over some days.
struct WorkTotals {
    int dictations = 0;
    double audioSeconds = 0;
    double spentSeconds = 0;
    /// Working time per audio time; none when no audio was completed.
    std::optional<double> ratio() const;
};

/// The rules of the dictation library: which record a file is (by path, or by
/// size and fingerprint once moved or renamed), its place, bookmarks, speed
/// and the typist's time on it. The player's events come in through the
/// methods below; what to restore goes back as the record.
class DictationLibrary {
public:
    /// A gap between two moves of the position longer than this counts only
    /// this long: the typist has left the desk.
    static constexpr double kIdleGapSeconds = 120;
    /// A move forward longer than this is a seek, not playing.
    static constexpr double kPlayStepSeconds = 3;
    /// Places are written at most this often while playing.
    static constexpr double kWriteEverySeconds = 5;
    static constexpr int kRecentCount = 15;

    using Clock = std::function<QDateTime()>;
    /// @p store may be null: nothing is remembered then.
    explicit DictationLibrary(DictationStore* store, Clock clock = {});
    ~DictationLibrary();

    bool enabled() const { return store_ != nullptr; }

    /// @p path has opened with @p length seconds: its record (found, moved or
    /// new) becomes the current one and is returned for the place, bookmarks
    /// and speed to be restored. Nothing when the library is off.
    std::optional<DictationRecord> opened(const QString& path, double length);
    /// The position of the file in the engine moved (or not: time passes).
    /// Positions of any other file than the current dictation are ignored
    /// (one still closing). Only while @p playing is audio heard.
    void progress(const QString& path, double position, int speedNotch, bool playing = true);
    /// The bookmarks of @p path are now @p positions.
    void bookmarksChanged(const QString& path, const QList<double>& positions);
    /// Writes what is not written yet.
    void flush();
    /// The current dictation, if any.
    const std::optional<DictationRecord>& current() const { return current_; }

    QList<DictationRecord> recent();
    /// The recent list's text: "letter.wav, 03:12 of 05:40, 56 %".
    static QString recentText(const DictationRecord& record);

    /// Today's and the last 7 days' totals (today included) from @p days.
    static WorkTotals totals(const QList<WorkDay>& days, const QDate& from, const QDate& to);
    /// The report of velloran --stats.
    static QString statsReport(const QList<WorkDay>& days, const QDate& today);
    QString statsReport();

    /// Size and a hash of the first and last 64 KiB; nothing when unreadable.
    static std::optional<std::pair<qint64, QByteArray>> fingerprintFile(const QString& path);
    /// The audio file @p step places after (or before) @p path in its folder,
    /// in name order; empty at either end or when there is none.
    static QString neighbour(const QString& path, int step);

private:
    bool write();
    QDateTime now() const;

    DictationStore* store_;
    Clock clock_;
    std::optional<DictationRecord> current_;
    WorkDay work_;
    double lastPosition_ = -1;
    QDateTime lastActivity_;
    QDateTime lastWrite_;
    bool dirty_ = false;
};

} // namespace velloran
