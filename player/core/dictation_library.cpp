#include "dictation_library.h"

#include "file_names.h"

#include <QCryptographicHash>
#include <QFile>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <dirent.h>
#include <memory>

namespace velloran {

namespace {
constexpr qint64 kFingerprintSpan = 64 * 1024;

QString minutesSeconds(double seconds) {
    const qint64 whole = seconds > 0 && seconds < 1e12 ? qint64(seconds) : 0;
    const QString mmss = QStringLiteral("%1:%2")
                             .arg((whole / 60) % 60, 2, 10, QLatin1Char('0'))
                             .arg(whole % 60, 2, 10, QLatin1Char('0'));
    return whole >= 3600 ? QString::number(whole / 3600) + QLatin1Char(':') + mmss : mmss;
}

QString hoursMinutes(double seconds) {
    const qint64 minutes = qint64(std::lround(seconds / 60));
    return QStringLiteral("%1 h %2 min")
        .arg(minutes / 60)
        .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

bool isAudioName(const QString& name) {
    static const QStringList kinds = {
        QStringLiteral("wav"), QStringLiteral("mp3"), QStringLiteral("mid"), QStringLiteral("midi"),
        QStringLiteral("rmi"), QStringLiteral("cda"), QStringLiteral("asf"), QStringLiteral("wma"),
        QStringLiteral("dss"), QStringLiteral("dvi"), QStringLiteral("ogg"), QStringLiteral("flac"),
        QStringLiteral("m4a"), QStringLiteral("opus")};
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot > 0 && kinds.contains(name.mid(dot + 1).toLower());
}

/// Name order as a file manager shows it: "d2" before "d10", case aside;
/// names equal so are ordered by their text.
bool nameLess(const QString& a, const QString& b) {
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            const qsizetype si = i;
            const qsizetype sj = j;
            while (i < a.size() && a[i].isDigit())
                ++i;
            while (j < b.size() && b[j].isDigit())
                ++j;
            // Leading zeros aside, the longer run of digits is the larger number.
            QStringView x = QStringView(a).mid(si, i - si);
            QStringView y = QStringView(b).mid(sj, j - sj);
            while (x.size() > 1 && x.front() == QLatin1Char('0'))
                x = x.mid(1);
            while (y.size() > 1 && y.front() == QLatin1Char('0'))
                y = y.mid(1);
            if (x.size() != y.size())
                return x.size() < y.size();
            if (const int c = x.compare(y); c != 0)
                return c < 0;
            continue;
        }
        const QChar ca = a[i].toCaseFolded();
        const QChar cb = b[j].toCaseFolded();
        if (ca != cb)
            return ca < cb;
        ++i;
        ++j;
    }
    if ((a.size() - i) != (b.size() - j))
        return a.size() - i < b.size() - j;
    return a < b;
}
} // namespace

std::optional<double> WorkTotals::ratio() const {
    if (audioSeconds <= 0)
        return std::nullopt;
    return spentSeconds / audioSeconds;
}

DictationLibrary::DictationLibrary(DictationStore* store, Clock clock)
    : store_(store), clock_(std::move(clock)) {}

DictationLibrary::~DictationLibrary() {
    flush();
}

QDateTime DictationLibrary::now() const {
    return clock_ ? clock_() : QDateTime::currentDateTime();
}

std::optional<std::pair<qint64, QByteArray>>
DictationLibrary::fingerprintFile(const QString& path) {
    QFile file;
    if (!openForReading(file, path))
        return std::nullopt;
    const qint64 size = file.size();
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(file.read(kFingerprintSpan));
    if (size > kFingerprintSpan && file.seek(std::max(kFingerprintSpan, size - kFingerprintSpan)))
        hash.addData(file.read(kFingerprintSpan));
    return std::make_pair(size, hash.result());
}

std::optional<DictationRecord> DictationLibrary::opened(const QString& path, double length) {
    flush();
    current_.reset();
    lastPosition_ = -1;
    if (!store_)
        return std::nullopt;
    const auto print = fingerprintFile(path);
    DictationRecord record;
    const auto sameFile = [&](const DictationRecord& r) {
        return print && r.size == print->first && r.fingerprint == print->second;
    };
    if (auto byPath = store_->findByPath(path); byPath && (!print || sameFile(*byPath))) {
        record = *byPath;
    } else if (auto moved =
                   print ? store_->findByFingerprint(print->first, print->second) : std::nullopt;
               moved && !statFile(moved->path)) {
        // Moved or renamed. A copy beside its original (a file kept twice, a
        // template) is a dictation of its own: the two places must not mix.
        record = *moved;
    } else if (byPath) {
        // Another recording under a name used before (a recorder that counts
        // from 1 again): it is new, and the old one's place must not apply.
        record.id = byPath->id;
    }
    record.path = path;
    if (print) {
        record.size = print->first;
        record.fingerprint = print->second;
    }
    if (const auto info = statFile(path))
        record.modified = qint64(info->st_mtim.tv_sec) * 1000 + info->st_mtim.tv_nsec / 1000000;
    record.length = length;
    const QDateTime at = now();
    record.lastOpened = at.toMSecsSinceEpoch();
    current_ = record;
    work_ = WorkDay{record.id, at.date(), 0, 0};
    lastActivity_ = at;
    write();
    return current_;
}

void DictationLibrary::progress(const QString& path, double position, int speedNotch,
                                bool playing) {
    if (!current_ || path != current_->path || !std::isfinite(position))
        return;
    DictationRecord& r = *current_;
    const QDateTime at = now();
    if (at.date() != work_.day) {
        write();
        work_ = WorkDay{r.id, at.date(), 0, 0};
    }
    const bool moved = position != lastPosition_;
    if (moved) {
        const double gap = lastActivity_.msecsTo(at) / 1000.0;
        if (gap > 0) {
            const double counted = std::min(gap, kIdleGapSeconds);
            r.spent += counted;
            work_.spent += counted;
        }
        lastActivity_ = at;
        // Only playing through counts as heard: a skip or a seek forward passes audio by.
        const double step = position - lastPosition_;
        if (playing && lastPosition_ >= 0 && step > 0 && step <= kPlayStepSeconds &&
            position > r.played) {
            work_.audio += position - std::max(r.played, lastPosition_);
            r.played = position;
        }
        lastPosition_ = position;
    }
    if (moved || speedNotch != r.speedNotch) {
        r.place = std::max(0.0, position);
        r.speedNotch = speedNotch;
        dirty_ = true;
    }
    if (dirty_ && (!lastWrite_.isValid() || lastWrite_.msecsTo(at) >= kWriteEverySeconds * 1000))
        write();
}

void DictationLibrary::bookmarksChanged(const QString& path, const QList<double>& positions) {
    if (!current_ || path != current_->path || current_->bookmarks == positions)
        return;
    current_->bookmarks = positions;
    write();
}

void DictationLibrary::flush() {
    if (dirty_)
        write();
}

bool DictationLibrary::write() {
    if (!store_ || !current_)
        return false;
    lastWrite_ = now();
    work_.dictation = current_->id;
    if (!store_->save(*current_, work_))
        return false; // kept dirty: the next write tries again with the sum
    dirty_ = false;
    work_.dictation = current_->id;
    work_.spent = 0;
    work_.audio = 0;
    return true;
}

QList<DictationRecord> DictationLibrary::recent() {
    flush();
    return store_ ? store_->recent(kRecentCount) : QList<DictationRecord>();
}

QString DictationLibrary::recentText(const DictationRecord& r) {
    const qsizetype slash = r.path.lastIndexOf(QLatin1Char('/'));
    const QString name = displayFileName(r.path.mid(slash + 1));
    const int percent =
        r.length > 0 ? int(std::clamp(r.place / r.length, 0.0, 1.0) * 100.0 + 1e-9) : 0;
    return QStringLiteral("%1, %2 of %3, %4 %")
        .arg(name, minutesSeconds(r.place), minutesSeconds(r.length))
        .arg(percent);
}

WorkTotals DictationLibrary::totals(const QList<WorkDay>& days, const QDate& from,
                                    const QDate& to) {
    WorkTotals t;
    QSet<qint64> seen;
    for (const WorkDay& d : days) {
        if (d.day < from || d.day > to)
            continue;
        seen.insert(d.dictation);
        t.audioSeconds += d.audio;
        t.spentSeconds += d.spent;
    }
    t.dictations = int(seen.size());
    return t;
}

QString DictationLibrary::statsReport(const QList<WorkDay>& days, const QDate& today) {
    QString out;
    const auto line = [&](const QString& label, const WorkTotals& t) {
        const auto ratio = t.ratio();
        out += QStringLiteral("%1: %2 dictations, %3 audio minutes completed, %4 spent, ratio %5\n")
                   .arg(label)
                   .arg(t.dictations)
                   .arg(t.audioSeconds / 60, 0, 'f', 1)
                   .arg(hoursMinutes(t.spentSeconds))
                   .arg(ratio ? QString::number(*ratio, 'f', 1) : QStringLiteral("-"));
    };
    line(QStringLiteral("Today"), totals(days, today, today));
    line(QStringLiteral("Last 7 days"), totals(days, today.addDays(-6), today));
    return out;
}

QString DictationLibrary::statsReport() {
    flush();
    const QDate today = now().date();
    return statsReport(store_ ? store_->workSince(today.addDays(-6)) : QList<WorkDay>(), today);
}

QString DictationLibrary::neighbour(const QString& path, int step) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash < 0 || step == 0)
        return {};
    const QString folder = path.left(slash);
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(
        ::opendir(fileNameBytes(folder.isEmpty() ? QStringLiteral("/") : folder).constData()),
        &::closedir);
    if (!dir)
        return {};
    QStringList names;
    while (const dirent* entry = ::readdir(dir.get())) {
        const QString name = fileNameFromBytes(entry->d_name);
        if (isAudioName(name)) {
            const auto info = statFile(folder + QLatin1Char('/') + name);
            if (info && S_ISREG(info->st_mode))
                names << name;
        }
    }
    std::sort(names.begin(), names.end(), nameLess);
    const QString own = path.mid(slash + 1);
    // The current file may be gone; its neighbours are where it would sort.
    const auto at = std::lower_bound(names.begin(), names.end(), own, nameLess);
    qsizetype index = at - names.begin();
    const bool present = at != names.end() && *at == own;
    if (step > 0)
        index += present ? step : step - 1;
    else
        index += step;
    return index >= 0 && index < names.size() ? folder + QLatin1Char('/') + names.at(index)
                                              : QString();
}

} // namespace velloran
