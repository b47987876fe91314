#include "timestamps.h"

#include "media_engine.h"
#include "player.h"
#include "settings.h"
#include "settings_store.h"

#include <QRegularExpression>

#include <cmath>
#include <utility>

namespace velloran {

TimestampFormat::TimestampFormat(QString pattern, double offsetSeconds)
    : pattern_(pattern.isEmpty() ? kDefaultPattern : std::move(pattern)),
      offset_(std::isfinite(offsetSeconds) ? offsetSeconds : 0) {}

TimestampFormat TimestampFormat::load(const SettingsStore& store) {
    const QString offset = store.readIn(kGroup, QStringLiteral("Offset")).value_or(QString());
    const double seconds = offset.trimmed().isEmpty() ? 0 : leadingNumber(offset);
    return TimestampFormat(store.readIn(kGroup, QStringLiteral("Format")).value_or(QString()),
                           seconds);
}

QString TimestampFormat::format(double position) const {
    const double shown = std::isfinite(position) ? std::max(0.0, position + offset_) : 0;
    // Tenths as heard so far: a stamp never names a moment not yet reached.
    const auto tenths = static_cast<long long>(std::floor(shown * 10 + 1e-6));
    const long long seconds = tenths / 10;
    const bool hasHours = pattern_.contains(QLatin1Char('h'));
    const long long hours = hasHours ? seconds / 3600 : 0;
    const long long minutes = (seconds - hours * 3600) / 60;
    const auto two = [](long long n) {
        return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
    };
    QString text;
    for (qsizetype i = 0; i < pattern_.size();) {
        const QStringView rest = QStringView(pattern_).mid(i);
        if (rest.startsWith(u"hh")) {
            text += two(hours);
            i += 2;
        } else if (rest.startsWith(u"h")) {
            text += QString::number(hours);
            i += 1;
        } else if (rest.startsWith(u"mm")) {
            text += two(minutes);
            i += 2;
        } else if (rest.startsWith(u"ss")) {
            text += two(seconds % 60);
            i += 2;
        } else if (rest.startsWith(u"d")) {
            text += QString::number(tenths % 10);
            i += 1;
        } else {
            text += pattern_.at(i);
            i += 1;
        }
    }
    return text;
}

std::optional<double> TimestampFormat::find(const QString& text) const {
    // h:mm:ss or mm:ss, each with an optional fraction of a second.
    static const QRegularExpression time(QStringLiteral(
        R"((?<!\d)(\d{1,6}):([0-5]?\d)(?::([0-5]?\d))?(?:[.,](\d{1,3}))?(?!\d|:\d))"));
    const QRegularExpressionMatch match = time.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    double seconds = 0;
    if (match.capturedLength(3) > 0)
        seconds = match.captured(1).toDouble() * 3600 + match.captured(2).toDouble() * 60 +
                  match.captured(3).toDouble();
    else
        seconds = match.captured(1).toDouble() * 60 + match.captured(2).toDouble();
    if (match.capturedLength(4) > 0)
        seconds += (QStringLiteral("0.") + match.captured(4)).toDouble();
    return std::max(0.0, seconds - offset_);
}

Timestamps::Timestamps(Player& player, const SettingsStore& store, TextTyper& typer,
                       SelectionSource& selection)
    : player_(player), store_(store), typer_(typer), selection_(selection) {}

void Timestamps::typeStamp() {
    if (player_.engine().fileName().isEmpty())
        return;
    typer_.type(TimestampFormat::load(store_).format(player_.engine().currentPosition()));
}

bool Timestamps::goToSelected() {
    MediaEngine& engine = player_.engine();
    const std::optional<double> place =
        TimestampFormat::load(store_).find(selection_.selectedText());
    const bool reachable = place && !engine.fileName().isEmpty() &&
                           player_.display().controlsEnabled && *place <= engine.selectionEnd();
    if (!reachable) {
        if (nothingFound)
            nothingFound();
        return false;
    }
    engine.setCurrentPosition(*place);
    player_.posChange();
    return true;
}

} // namespace velloran
