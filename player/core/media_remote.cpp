#include "media_remote.h"

#include "command_gate.h"
#include "dictation_speed.h"
#include "file_names.h"
#include "media_engine.h"
#include "player.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <utility>

namespace velloran {

namespace {
constexpr double kMicro = 1e6;
// The speed slider moves the rate by this much a notch.
constexpr double kNotch = 0.04;
} // namespace

MediaRemote::MediaRemote(Player& player, QObject* parent) : QObject(parent), player_(player) {
    reportTimer_.setSingleShot(true);
    reportTimer_.setInterval(kReportIntervalMs);
    connect(&reportTimer_, &QTimer::timeout, this, &MediaRemote::report);
    MediaEngine& engine = player_.engine();
    connect(&engine, &MediaEngine::openComplete, this, [this] {
        ++track_;
        noteChanges();
    });
    connect(&engine, &MediaEngine::openFailed, this, &MediaRemote::noteChanges);
    connect(&engine, &MediaEngine::timer, this, &MediaRemote::noteChanges);
    connect(&engine, &MediaEngine::positionChange, this, &MediaRemote::noteSeek);
    connect(&player_, &Player::displayChanged, this, &MediaRemote::noteChanges);
    reported_ = snapshot();
}

QString MediaRemote::playbackStatus() const {
    if (player_.engine().fileName().isEmpty())
        return QStringLiteral("Stopped");
    switch (player_.engine().currentState()) {
    case MediaEngine::Running:
        return QStringLiteral("Playing");
    case MediaEngine::Paused:
        return QStringLiteral("Paused");
    default:
        return QStringLiteral("Stopped");
    }
}

QString MediaRemote::trackId() const {
    if (player_.engine().fileName().isEmpty())
        return kNoTrack;
    return QStringLiteral("/org/velloran/Velloran/track/%1").arg(track_);
}

QString MediaRemote::title() const {
    return displayFileName(QFileInfo(filePath()).fileName());
}

QString MediaRemote::filePath() const {
    return player_.engine().fileName();
}

qint64 MediaRemote::lengthMicroseconds() const {
    return std::llround(player_.engine().duration() * kMicro);
}

qint64 MediaRemote::positionMicroseconds() const {
    return std::llround(std::max(0.0, player_.engine().currentPosition()) * kMicro);
}

double MediaRemote::rate() const {
    return DictationSpeed::rateFor(player_.speed().speedStep() - 10);
}

double MediaRemote::minimumRate() {
    return DictationSpeed::rateFor(DictationSpeed::kSlowest);
}

double MediaRemote::maximumRate() {
    return DictationSpeed::rateFor(DictationSpeed::kFastest);
}

bool MediaRemote::canControl() const {
    return player_.display().controlsEnabled;
}

bool MediaRemote::heldBack(std::function<void()> action) {
    return gate_ && gate_->hold(std::move(action));
}

void MediaRemote::play() {
    if (heldBack([this] { play(); }))
        return;
    if (canControl())
        player_.toolbarClick(Player::PlayButton);
}

void MediaRemote::pause() {
    if (heldBack([this] { pause(); }))
        return;
    if (canControl() && player_.engine().currentState() == MediaEngine::Running)
        player_.toolbarClick(Player::PauseButton);
}

void MediaRemote::playPause() {
    if (heldBack([this] { playPause(); }))
        return;
    if (player_.engine().currentState() == MediaEngine::Running)
        pause();
    else
        play();
}

void MediaRemote::stop() {
    if (heldBack([this] { stop(); }))
        return;
    if (canControl())
        player_.toolbarClick(Player::StopButton);
}

void MediaRemote::seek(qint64 offset) {
    if (heldBack([this, offset] { seek(offset); }))
        return;
    if (!canControl() || filePath().isEmpty())
        return;
    const double seconds = static_cast<double>(offset) / kMicro;
    if (seconds > 0) {
        player_.forwardRule(seconds);
        return;
    }
    // Back to the start at most: the rewind rule's jump from the start to the
    // end is the toolbar's, not what a remote asks for.
    const double back = std::min(-seconds, player_.engine().currentPosition());
    if (back > 0)
        player_.rewindRule(back);
}

void MediaRemote::setPosition(const QString& trackId, qint64 position) {
    if (trackId != this->trackId() || position < 0 || position > lengthMicroseconds())
        return;
    seek(position - positionMicroseconds());
}

void MediaRemote::setRate(double rate) {
    if (heldBack([this, rate] { setRate(rate); }))
        return;
    if (!canControl() || !std::isfinite(rate))
        return;
    if (rate <= 0) {
        pause();
        return;
    }
    const long notch = std::lround((rate - 1.0) / kNotch);
    player_.speedSliderMoved(static_cast<int>(
        std::clamp<long>(notch, DictationSpeed::kSlowest, DictationSpeed::kFastest)));
    noteChanges();
}

void MediaRemote::openFile(const QString& path) {
    if (gate_ && gate_->holdOpen([this, path] { openFile(path); }))
        return;
    if (canControl())
        player_.openPath(path);
}

MediaRemote::Snapshot MediaRemote::snapshot() const {
    return {playbackStatus(), trackId(), lengthMicroseconds(), rate(), canControl()};
}

void MediaRemote::noteChanges() {
    const Snapshot now = snapshot();
    QStringList names;
    if (now.status != reported_.status)
        names << QStringLiteral("PlaybackStatus");
    if (now.trackId != reported_.trackId || now.length != reported_.length)
        names << QStringLiteral("Metadata");
    if (now.rate != reported_.rate)
        names << QStringLiteral("Rate");
    if (now.canControl != reported_.canControl)
        names << QStringLiteral("CanPlay") << QStringLiteral("CanPause")
              << QStringLiteral("CanSeek");
    reported_ = now;
    for (const QString& name : names)
        if (!pendingNames_.contains(name))
            pendingNames_ << name;
    if (!names.isEmpty())
        scheduleReport();
}

void MediaRemote::noteSeek() {
    seekPending_ = true;
    scheduleReport();
}

void MediaRemote::scheduleReport() {
    if (!reportTimer_.isActive())
        reportTimer_.start();
}

void MediaRemote::report() {
    if (!pendingNames_.isEmpty()) {
        const QStringList names = std::exchange(pendingNames_, {});
        emit propertiesChanged(names);
    }
    if (std::exchange(seekPending_, false))
        emit seeked(positionMicroseconds());
}

} // namespace velloran
