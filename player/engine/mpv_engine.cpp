#include "engine/mpv_engine.h"

#include "core/file_names.h"
#include "engine/midi_render.h"

#include <QFile>
#include <QMetaObject>
#include <QPointer>

#include <mpv/client.h>
#include <mpv/stream_cb.h>

#include <algorithm>
#include <cctype>
#include <cmath>

namespace velloran {

namespace {

// reply_userdata of our asynchronous seeks; every other request is synchronous.
constexpr quint64 kSeekReply = 1;
// Property observation ids.
constexpr quint64 kObserveEof = 10;
constexpr quint64 kObservePause = 11;
constexpr quint64 kObserveDuration = 12;
constexpr quint64 kObserveAudioOutput = 13;
// A playlist may name playlists; one that leads back to itself never ends.
constexpr int kMaxRedirects = 4;
// While the sound output is gone and the typist wants to play, it is looked
// for this often.
constexpr int kOutputRetryMs = 1000;
// If mpv never confirms a seek (it always has so far), stop holding the
// written target after this many timer periods.
constexpr int kSeekConfirmTicks = 8;
// The timer goes on for this many periods after the last change, so that what mpv
// reports a moment late (the place a pause or a seek settles on) still reaches
// the display; then, with nothing moving, nothing wakes the player.
constexpr int kSettleTicks = 3;
// On a PulseAudio system mpv's own probing tries PipeWire first, whose library
// complains on the terminal at every start; PipeWire serves PulseAudio clients too.
constexpr char kAudioOutputs[] = "pulse,pipewire,alsa";
// mpv reads MIDI renderings from "velloran-midi://<generation>" while they are written.
constexpr char kMidiProtocol[] = "velloran-midi";
const QByteArray kMidiUriPrefix = QByteArray(kMidiProtocol) + "://";

bool getFlag(mpv_handle* h, const char* name, bool fallback) {
    int value = 0;
    return mpv_get_property(h, name, MPV_FORMAT_FLAG, &value) >= 0 ? value != 0 : fallback;
}

std::optional<double> getDouble(mpv_handle* h, const char* name) {
    double value = 0;
    if (mpv_get_property(h, name, MPV_FORMAT_DOUBLE, &value) < 0 || !std::isfinite(value))
        return std::nullopt;
    return value;
}

// One opening of a MIDI rendering by mpv. The callbacks run on mpv's threads
// and let nothing unwind into it.
struct MidiReader {
    std::shared_ptr<engine::MidiRendering> rendering;
    qint64 position = 0;
    std::atomic<bool> cancelled{false};

    static int64_t read(void* cookie, char* buffer, uint64_t bytes) {
        auto* r = static_cast<MidiReader*>(cookie);
        try {
            const qint64 n = r->rendering->read(
                r->position, buffer, qint64(std::min<uint64_t>(bytes, 1 << 20)), &r->cancelled);
            if (n > 0)
                r->position += n;
            return n;
        } catch (...) {
            return -1;
        }
    }
    static int64_t seek(void* cookie, int64_t offset) {
        auto* r = static_cast<MidiReader*>(cookie);
        if (offset < 0 || offset > r->rendering->size())
            return MPV_ERROR_GENERIC;
        r->position = offset;
        return offset;
    }
    static int64_t size(void* cookie) {
        return static_cast<MidiReader*>(cookie)->rendering->size();
    }
    static void close(void* cookie) { delete static_cast<MidiReader*>(cookie); }
    static void cancel(void* cookie) {
        auto* r = static_cast<MidiReader*>(cookie);
        r->cancelled = true;
        r->rendering->wake();
    }
};

// Whether mpv may open @p target: a path, a file: URL or our own MIDI
// renderings. Anything else (an http entry of a playlist) would make the player
// reach out over the network.
bool isLocalTarget(const QByteArray& target) {
    const qsizetype colon = target.indexOf("://");
    if (colon < 0)
        return true;
    const QByteArray scheme = target.left(colon);
    const bool isScheme =
        !scheme.isEmpty() && std::all_of(scheme.begin(), scheme.end(), [](char c) {
            return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
        });
    return !isScheme || scheme.compare("file", Qt::CaseInsensitive) == 0 || scheme == kMidiProtocol;
}

} // namespace

void MpvEngine::HandleDeleter::operator()(mpv_handle* handle) const {
    mpv_terminate_destroy(handle);
}

struct MpvEngine::MidiRender {
    quint64 generation = 0;
    engine::ScratchFile copy;
    std::shared_ptr<engine::MidiRendering> rendering;
};

MpvEngine::MpvEngine(MpvEngineOptions options, QObject* parent)
    : MediaEngine(parent), options_(std::move(options)) {
    // Playback copies that a crash left behind are nobody's any more.
    engine::sweepScratchFiles();
    timer_.setInterval(std::max(10, options_.timerIntervalMs));
    outputRetry_.setInterval(kOutputRetryMs);
    connect(&outputRetry_, &QTimer::timeout, this, &MpvEngine::reloadOutput);
    connect(&timer_, &QTimer::timeout, this, [this] {
        if (pendingTarget_ && !seekAwaitingReply_ && ++ticksSinceSeekReply_ > kSeekConfirmTicks)
            seekDone();
        currentPosition(); // keeps the last position fresh for the arrival at the end
        if (!playing() && !pendingTarget_ && --settleTicks_ <= 0)
            timer_.stop();
        emit timer();
    });

    std::unique_ptr<mpv_handle, HandleDeleter> handle(mpv_create());
    if (!handle)
        return;
    mpv_handle* h = handle.get();
    QByteArray ao = options_.audioOutput;
    if (ao.isEmpty())
        ao = qgetenv("VELLORAN_MPV_AO");
    if (ao.isEmpty())
        ao = kAudioOutputs;
    nullOutputAsked_ = ao == "null";
    // Audio only, nothing read from the user's mpv set-up, nothing on the
    // terminal, and with keep-open the file stays loaded at its end.
    const std::pair<const char*, const char*> fixed[] = {
        {"config", "no"},
        {"terminal", "no"},
        {"input-default-bindings", "no"},
        {"input-vo-keyboard", "no"},
        {"load-scripts", "no"},
        // mpv's built-in scripts (stats, console, controller) each run a Lua
        // state with an on-screen renderer: several MiB a typist never sees.
        {"osc", "no"},
        {"load-stats-overlay", "no"},
        {"load-osd-console", "no"},
        {"load-auto-profiles", "no"},
        {"ytdl", "no"},
        {"resume-playback", "no"},
        {"vid", "no"},
        {"vo", "null"},
        {"audio-display", "no"},
        {"idle", "yes"},
        // "always": a playlist (M3U) stays on its first entry like any file.
        {"keep-open", "always"},
        {"pause", "yes"},
        {"hr-seek", "yes"},
        // Rate changes keep the dictation's pitch (scaletempo2 is inserted).
        {"audio-pitch-correction", "yes"},
        {"audio-client-name", "Velloran"},
        // Without a sound output mpv plays on the null output rather than
        // ending the file; the engine holds still until the output returns.
        {"audio-fallback-to-null", "yes"},
        // What FFmpeg opens on its own behalf (a session description's RTP
        // streams, a manifest's segments) stays on this computer.
        {"demuxer-lavf-o", "protocol_whitelist=file"},
    };
    for (const auto& [name, value] : fixed)
        mpv_set_option_string(h, name, value);
    mpv_set_option_string(h, "ao", ao.constData());
    for (const auto& [name, value] : options_.extraOptions)
        mpv_set_option_string(h, name.constData(), value.constData());
    if (mpv_initialize(h) < 0 ||
        mpv_stream_cb_add_ro(h, kMidiProtocol, this, &MpvEngine::openMidiStream) < 0)
        return;
    mpv_observe_property(h, kObserveEof, "eof-reached", MPV_FORMAT_FLAG);
    mpv_observe_property(h, kObservePause, "pause", MPV_FORMAT_FLAG);
    mpv_observe_property(h, kObserveDuration, "duration", MPV_FORMAT_DOUBLE);
    mpv_observe_property(h, kObserveAudioOutput, "current-ao", MPV_FORMAT_STRING);
    // Every file mpv is about to open passes here first, playlist entries too.
    mpv_hook_add(h, 0, "on_load", 0);
    handle_ = std::move(handle);
    applyBalance();
    mpv_set_wakeup_callback(h, &MpvEngine::onWakeup, this);
}

MpvEngine::~MpvEngine() {
    abandonMidiRender();
    if (handle_) {
        // After this returns mpv calls onWakeup no more; drains already posted
        // die with this QObject.
        mpv_set_wakeup_callback(handle_.get(), nullptr, nullptr);
        handle_.reset();
    }
    scratch_.reset(); // only once mpv has let go of it
}

// Runs on one of mpv's threads.
void MpvEngine::onWakeup(void* self) {
    auto* engine = static_cast<MpvEngine*>(self);
    if (engine->drainQueued_.exchange(true))
        return;
    try {
        QMetaObject::invokeMethod(
            engine,
            [engine] {
                engine->drainQueued_ = false;
                engine->drainEvents();
            },
            Qt::QueuedConnection);
    } catch (...) {
        // Nothing may unwind into mpv; the next wakeup tries again.
        engine->drainQueued_ = false;
    }
}

void MpvEngine::drainEvents() {
    if (!handle_)
        return;
    // mpv's event memory lives only until the next mpv_wait_event(), and a
    // handler may open a nested event loop that drains again: take every
    // event into our own state first, signal afterwards.
    std::vector<Emission> out;
    if (!draining_) {
        draining_ = true;
        for (;;) {
            const mpv_event* event = mpv_wait_event(handle_.get(), 0);
            if (event->event_id == MPV_EVENT_NONE)
                break;
            handleEvent(*event, out);
        }
        draining_ = false;
    }
    const QPointer<MpvEngine> alive(this);
    for (const Emission& e : out) {
        if (e.what == Emit::OpenComplete) {
            emit openComplete();
        } else if (e.what == Emit::Tick) {
            if (loaded_) // unless a handler has closed the file meanwhile
                emit timer();
        } else {
            emit positionChange(e.oldPosition, e.newPosition);
        }
        if (!alive)
            return;
    }
}

void MpvEngine::handleEvent(const mpv_event& event, std::vector<Emission>& out) {
    switch (event.event_id) {
    case MPV_EVENT_START_FILE:
        startedEntry_ = static_cast<const mpv_event_start_file*>(event.data)->playlist_entry_id;
        break;
    case MPV_EVENT_FILE_LOADED:
        if (expectedEntry_ < 0 || startedEntry_ != expectedEntry_ || loaded_)
            break;
        loaded_ = true;
        duration_ = std::max(0.0, getDouble(handle_.get(), "duration").value_or(0.0));
        lastPosition_ = 0;
        if (outputLost_) // mpv kept the null output of the file before
            lostAt_ = 0.0;
        keepTicking();
        out.push_back({Emit::OpenComplete});
        // The display takes the length from a tick: the first one comes at
        // once, not a whole period after the file has opened.
        out.push_back({Emit::Tick});
        break;
    case MPV_EVENT_END_FILE: {
        const auto* end = static_cast<const mpv_event_end_file*>(event.data);
        if (end->playlist_entry_id != expectedEntry_ || expectedEntry_ < 0)
            break;
        // A playlist replaces itself with its entries; the first one is ours.
        if (end->reason == MPV_END_FILE_REASON_REDIRECT && end->playlist_insert_id > 0 &&
            !loaded_) {
            if (++redirects_ > kMaxRedirects)
                failOpen(QStringLiteral("not an audio file"));
            else
                expectedEntry_ = end->playlist_insert_id;
            break;
        }
        // With keep-open a file that plays out stays loaded; ending means it
        // failed to open (no demuxer, no audio track), or broke off while playing.
        if (!loaded_)
            failOpen(QStringLiteral("not an audio file"));
        else
            closeMedia();
        break;
    }
    case MPV_EVENT_COMMAND_REPLY:
        if (event.reply_userdata != kSeekReply)
            break;
        keepTicking();
        seekAwaitingReply_ = false;
        ticksSinceSeekReply_ = 0;
        if (seekResendNeeded_ && pendingTarget_ && loaded_) {
            seekResendNeeded_ = false;
            sendSeek(*pendingTarget_);
        } else if (event.error < 0) {
            seekResendNeeded_ = false;
            pendingTarget_.reset();
            heldPosition_.reset();
        }
        break;
    case MPV_EVENT_PLAYBACK_RESTART:
        keepTicking();
        // The reply to our last seek came before this, so mpv has now done it.
        if (pendingTarget_ && !seekAwaitingReply_ && !seekResendNeeded_)
            seekDone();
        checkArrivalAtEnd(out); // a seek onto the end while playing parks there
        break;
    case MPV_EVENT_HOOK:
        screenLoad(static_cast<const mpv_event_hook*>(event.data)->id);
        break;
    case MPV_EVENT_PROPERTY_CHANGE: {
        const auto* prop = static_cast<const mpv_event_property*>(event.data);
        keepTicking();
        if (event.reply_userdata == kObserveAudioOutput) {
            // mpv falls back to the null output when the sound server or its
            // sink is gone; unavailable between two outputs, which says nothing.
            if (prop->format == MPV_FORMAT_STRING)
                setOutputLost(!nullOutputAsked_ &&
                              qstrcmp(*static_cast<char* const*>(prop->data), "null") == 0);
            break;
        }
        if (event.reply_userdata == kObserveDuration) {
            if (loaded_ && prop->format == MPV_FORMAT_DOUBLE) {
                const double value = *static_cast<const double*>(prop->data);
                if (std::isfinite(value) && value > 0)
                    duration_ = value;
            }
            break;
        }
        const bool on = prop->format == MPV_FORMAT_FLAG && *static_cast<const int*>(prop->data);
        if (event.reply_userdata == kObserveEof) {
            eofReached_ = on;
            if (!on)
                parkedAtEnd_ = false;
        } else if (event.reply_userdata == kObservePause) {
            mpvPaused_ = on;
        }
        checkArrivalAtEnd(out);
        break;
    }
    case MPV_EVENT_SHUTDOWN:
        // Someone quit the core under us; nothing more can play.
        if (expectedEntry_ >= 0 && !loaded_)
            failOpen(QStringLiteral("playback is not available"));
        closeMedia();
        mpv_set_wakeup_callback(handle_.get(), nullptr, nullptr);
        break;
    default:
        break;
    }
}

// With keep-open, mpv sends no end event: the arrival shows as eof-reached
// together with the pause keep-open sets once the audio has played out.
// eof-reached comes as soon as the last data is decoded, a buffer's length
// early, so a pause of our own in that moment is no arrival.
void MpvEngine::checkArrivalAtEnd(std::vector<Emission>& out) {
    if (!loaded_ || parkedAtEnd_ || !eofReached_ || !mpvPaused_ || pauseRequested_ || outputLost_ ||
        pendingTarget_)
        return;
    parkedAtEnd_ = true;
    heldPosition_.reset();
    out.push_back({Emit::PositionChange, lastPosition_, duration_});
    lastPosition_ = duration_;
}

// Targets that are not local are swapped for an empty stream before mpv
// opens anything, so no connection is ever made; the open fails with the reason.
void MpvEngine::screenLoad(quint64 hookId) {
    mpv_handle* h = handle_.get();
    char* name = mpv_get_property_string(h, "stream-open-filename");
    const QByteArray target(name ? name : "");
    mpv_free(name);
    const bool refused = !isLocalTarget(target);
    if (refused)
        mpv_set_property_string(h, "stream-open-filename", "null://");
    mpv_hook_continue(h, hookId);
    if (refused && expectedEntry_ >= 0 && startedEntry_ == expectedEntry_ && !loaded_)
        failOpen(QStringLiteral("the playlist names %1, which is not a file on this computer")
                     .arg(QString::fromUtf8(target)));
}

// While the output is gone the dictation holds still at the place it reached,
// rather than running the clock on silence; it plays on once mpv has an
// output again, if the typist has not paused meanwhile.
void MpvEngine::setOutputLost(bool lost) {
    if (lost == outputLost_)
        return;
    outputLost_ = lost;
    if (lost) {
        lostAt_ = loaded_ ? std::optional(currentPosition()) : std::nullopt;
    } else if (lostAt_ && loaded_ && !pendingTarget_ && !seekAwaitingReply_) {
        // The new output starts past what mpv had buffered for the old one.
        pendingTarget_ = *lostAt_;
        sendSeek(*lostAt_);
    }
    applyPause();
}

void MpvEngine::reloadOutput() {
    const char* cmd[] = {"ao-reload", nullptr};
    if (handle_)
        mpv_command_async(handle_.get(), 0, cmd);
}

void MpvEngine::setFileName(const QString& path) {
    ++generation_;
    queuedChange_.reset();
    closeMedia();
    fileName_ = path;
    if (path.isEmpty()) {
        if (handle_) {
            const char* cmd[] = {"stop", nullptr};
            mpv_command(handle_.get(), cmd);
        }
        return;
    }
    if (!handle_) {
        failOpen(QStringLiteral("playback is not available"));
        return;
    }
    stopped_ = true;
    setPaused(true);

    // What mpv would only report as a failed load is told apart here.
    // The name's bytes, as the system gave them: they need not be UTF-8.
    const auto info = statFile(path);
    if (!info) {
        failOpen(QStringLiteral("no such file"));
        return;
    }
    if (!S_ISREG(info->st_mode)) {
        failOpen(QStringLiteral("not an audio file"));
        return;
    }
    if (info->st_size == 0) {
        failOpen(QStringLiteral("the file is empty"));
        return;
    }
    if (QFile file; !openForReading(file, path)) {
        failOpen(QStringLiteral("the file cannot be read"));
        return;
    }

    QString playPath = path;
    engine::ScratchFile scratch;
    const engine::SourceProbe probe = engine::probeFile(path);
    if (probe.kind == engine::SourceKind::IncompleteWav) {
        // Played, it would pass for the whole dictation and end early.
        failOpen(QStringLiteral("the wave file is incomplete: its header does not match its "
                                "length (it was cut short, or never finished being written)"));
        return;
    }
    if (probe.kind == engine::SourceKind::Midi) {
        auto render = std::make_unique<MidiRender>();
        render->copy = engine::ScratchFile::create(QStringLiteral(".wav"));
        render->generation = generation_;
        if (render->copy.isNull()) {
            failOpen(QStringLiteral("no room for a working copy"));
            return;
        }
        const QString font =
            options_.soundFont.isEmpty() ? engine::defaultSoundFont() : options_.soundFont;
        // The file is read and the synthesiser set up off this thread; mpv gets the
        // rendering once its length is known and plays it while it is written. The
        // rendering's thread is stopped before the engine gives it up, so `this`
        // outlives the callback.
        const quint64 generation = generation_;
        render->rendering = std::make_shared<engine::MidiRendering>(
            path, font, render->copy.path(), [this, generation](bool ok) {
                QMetaObject::invokeMethod(
                    this, [this, generation, ok] { midiReady(generation, ok); },
                    Qt::QueuedConnection);
            });
        midiRender_ = std::move(render);
        return;
    } else if (probe.kind == engine::SourceKind::DialogicWav) {
        scratch = engine::ScratchFile::create(QStringLiteral(".wav"));
        if (scratch.isNull()) {
            failOpen(QStringLiteral("no room for a working copy"));
            return;
        }
        if (!engine::writeRetaggedCopy(path, probe.formatTagOffset, scratch.path())) {
            failOpen(QStringLiteral("the file cannot be read"));
            return;
        }
        playPath = scratch.path();
    }
    loadPlayFile(playPath, std::move(scratch));
}

void MpvEngine::midiReady(quint64 generation, bool ok) {
    if (!midiRender_ || midiRender_->generation != generation || generation != generation_)
        return; // given up meanwhile
    if (!ok) {
        failOpen(QStringLiteral("the MIDI file cannot be played"));
        return;
    }
    {
        const std::lock_guard lock(servedMutex_);
        servedRendering_ = midiRender_->rendering;
        servedGeneration_ = generation;
    }
    loadPlayFile(QString::fromLatin1(kMidiUriPrefix + QByteArray::number(generation)),
                 std::move(midiRender_->copy));
}

int MpvEngine::openMidiStream(void* self, char* uri, mpv_stream_cb_info* info) {
    try {
        auto* engine = static_cast<MpvEngine*>(self);
        const QByteArrayView name(uri);
        bool ok = false;
        const quint64 generation = name.startsWith(kMidiUriPrefix)
                                       ? name.sliced(kMidiUriPrefix.size()).toULongLong(&ok)
                                       : 0;
        auto reader = std::make_unique<MidiReader>();
        {
            const std::lock_guard lock(engine->servedMutex_);
            if (!ok || !engine->servedRendering_ || generation != engine->servedGeneration_)
                return MPV_ERROR_LOADING_FAILED; // a file given up meanwhile
            reader->rendering = engine->servedRendering_;
        }
        info->cookie = reader.release();
        info->read_fn = &MidiReader::read;
        info->seek_fn = &MidiReader::seek;
        info->size_fn = &MidiReader::size;
        info->close_fn = &MidiReader::close;
        info->cancel_fn = &MidiReader::cancel;
        return 0;
    } catch (...) {
        return MPV_ERROR_LOADING_FAILED;
    }
}

// Blocked reads of the rendering fail from here on; mpv closes the stream in its own time.
void MpvEngine::abandonMidiRender() {
    if (!midiRender_)
        return;
    {
        const std::lock_guard lock(servedMutex_);
        servedRendering_.reset();
    }
    midiRender_->rendering->stop();
    midiRender_.reset();
}

void MpvEngine::loadPlayFile(const QString& playPath, engine::ScratchFile scratch) {
    mpv_handle* h = handle_.get();
    // libmpv opens the name as fopen() would: bytes, not text.
    const QByteArray encoded = fileNameBytes(playPath);
    const char* cmd[] = {"loadfile", encoded.constData(), "replace", nullptr};
    mpv_node result;
    if (mpv_command_ret(h, cmd, &result) < 0) {
        failOpen(QStringLiteral("the file cannot be played"));
        return;
    }
    if (result.format == MPV_FORMAT_NODE_MAP) {
        const mpv_node_list* map = result.u.list;
        for (int i = 0; i < map->num; ++i) {
            if (qstrcmp(map->keys[i], "playlist_entry_id") == 0 &&
                map->values[i].format == MPV_FORMAT_INT64)
                expectedEntry_ = map->values[i].u.int64;
        }
    }
    mpv_free_node_contents(&result);
    redirects_ = 0;
    if (expectedEntry_ < 0) {
        failOpen(QStringLiteral("the file cannot be played"));
        return;
    }
    scratch_ = std::move(scratch);
}

void MpvEngine::closeMedia() {
    abandonMidiRender();
    timer_.stop();
    outputRetry_.stop();
    lostAt_.reset();
    loaded_ = false;
    duration_ = 0;
    expectedEntry_ = -1;
    pendingTarget_.reset();
    heldPosition_.reset();
    seekResendNeeded_ = false;
    parkedAtEnd_ = false;
    eofReached_ = false;
    lastPosition_ = 0;
    stopped_ = true;
    // mpv may still read the old copy for a moment; on Linux removing an open
    // file is harmless.
    scratch_.reset();
}

// A file that cannot be opened is no file: no openComplete, no name, and a
// report once the call that caused it has returned, unless another file has
// been written meanwhile.
void MpvEngine::failOpen(const QString& reason) {
    const QString path = fileName_;
    closeMedia();
    fileName_.clear();
    // Nothing of it may go on loading: a playlist's further entries, or one
    // that names itself.
    if (handle_) {
        const char* cmd[] = {"stop", nullptr};
        mpv_command(handle_.get(), cmd);
    }
    const quint64 generation = generation_;
    QMetaObject::invokeMethod(
        this,
        [this, generation, path, reason] {
            if (generation == generation_)
                emit openFailed(path, reason);
        },
        Qt::QueuedConnection);
}

double MpvEngine::clampToMedia(double seconds) const {
    // A stream of unknown length only has a start.
    return duration_ > 0 ? std::clamp(seconds, 0.0, duration_) : std::max(0.0, seconds);
}

double MpvEngine::currentPosition() const {
    if (!loaded_)
        return 0.0;
    if (pendingTarget_)
        return *pendingTarget_;
    if (parkedAtEnd_)
        return duration_;
    // Each attempt at a new output moves mpv's position on by its buffer.
    if (outputLost_ && lostAt_)
        return *lostAt_;
    const auto pos = getDouble(handle_.get(), "time-pos");
    if (heldPosition_) {
        const bool running = !stopped_ && !getFlag(handle_.get(), "pause", true);
        if (!running || !pos || clampToMedia(*pos) <= *heldPosition_)
            return *heldPosition_;
        heldPosition_.reset();
    }
    if (pos)
        lastPosition_ = clampToMedia(*pos);
    return lastPosition_;
}

void MpvEngine::seekDone() {
    heldPosition_ = pendingTarget_;
    pendingTarget_.reset();
}

void MpvEngine::setCurrentPosition(double seconds) {
    // mpv drops seeks before the file has loaded; so does the contract.
    if (!loaded_ || !std::isfinite(seconds))
        return;
    const double old = currentPosition();
    // mpv counts negative positions from the end: the start is the floor.
    const double target = clampToMedia(seconds);
    pendingTarget_ = target;
    heldPosition_.reset();
    if (outputLost_)
        lostAt_ = target;
    lastPosition_ = target;
    parkedAtEnd_ = false;
    keepTicking();
    if (seekAwaitingReply_)
        seekResendNeeded_ = true; // one seek in flight at a time; the latest wins
    else
        sendSeek(target);
    // A burst of writes (a pedal hold) leaves one event, not a backlog.
    if (queuedChange_) {
        queuedChange_->newPosition = target;
        return;
    }
    const quint64 ticket = ++changeTickets_;
    queuedChange_ = QueuedChange{old, target, ticket};
    QMetaObject::invokeMethod(
        this, [this, ticket] { deliverQueuedChange(ticket); }, Qt::QueuedConnection);
}

void MpvEngine::deliverQueuedChange(quint64 ticket) {
    if (!queuedChange_ || queuedChange_->ticket != ticket)
        return; // dropped by setFileName(); a newer one is on its way
    const QueuedChange change = *queuedChange_;
    queuedChange_.reset(); // a write from a handler starts a new one
    emit positionChange(change.oldPosition, change.newPosition);
}

void MpvEngine::sendSeek(double target) {
    const QByteArray value = QByteArray::number(target, 'f', 6);
    const char* cmd[] = {"seek", value.constData(), "absolute+exact", nullptr};
    if (mpv_command_async(handle_.get(), kSeekReply, cmd) >= 0) {
        seekAwaitingReply_ = true;
        ticksSinceSeekReply_ = 0;
    } else {
        pendingTarget_.reset();
    }
}

int MpvEngine::currentState() const {
    if (!loaded_ || stopped_)
        return Stopped;
    return getFlag(handle_.get(), "pause", true) ? Paused : Running;
}

void MpvEngine::setPaused(bool paused) {
    pauseRequested_ = paused;
    applyPause();
}

void MpvEngine::applyPause() {
    if (!handle_)
        return;
    int flag = pauseRequested_ || outputLost_ ? 1 : 0;
    mpv_set_property(handle_.get(), "pause", MPV_FORMAT_FLAG, &flag);
    keepTicking();
    // Looked for only while the typist waits for sound: idle, nothing wakes.
    if (outputLost_ && !pauseRequested_ && loaded_) {
        if (!outputRetry_.isActive())
            outputRetry_.start();
    } else {
        outputRetry_.stop();
    }
}

void MpvEngine::keepTicking() {
    settleTicks_ = kSettleTicks;
    if (loaded_ && !timer_.isActive())
        timer_.start();
}

bool MpvEngine::playing() const {
    return loaded_ && !pauseRequested_ && !outputLost_ && !parkedAtEnd_;
}

void MpvEngine::run() {
    if (fileName_.isEmpty())
        return;
    stopped_ = false;
    setPaused(false);
    if (outputLost_)
        reloadOutput(); // at once: the output may be back already
}

void MpvEngine::pause() {
    if (fileName_.isEmpty())
        return;
    stopped_ = false;
    setPaused(true);
}

void MpvEngine::stop() {
    if (fileName_.isEmpty())
        return;
    // mpv's own stop would unload the file.
    stopped_ = true;
    setPaused(true);
}

void MpvEngine::setRate(double rate) {
    if (!handle_ || !std::isfinite(rate) || rate <= 0)
        return;
    // mpv keeps the pitch by inserting its tempo filter for any speed != 1.
    double speed = std::clamp(rate, 0.01, 100.0);
    mpv_set_property(handle_.get(), "speed", MPV_FORMAT_DOUBLE, &speed);
}

void MpvEngine::setBalance(int balance) {
    balance_ = std::clamp(balance, -5000, 5000);
    applyBalance();
}

// The whole filter chain is set each time: a value sent to a running filter
// would be lost at the next seek. stereotools only takes stereo, so mono
// sources are upmixed in front of it, and the level does not jump when the
// balance first moves away from the middle.
void MpvEngine::applyBalance() {
    if (!handle_)
        return;
    const QByteArray chain = QByteArrayLiteral("lavfi=[stereotools=balance_out=") +
                             QByteArray::number(balance_ / 5000.0, 'f', 4) + ']';
    mpv_set_property_string(handle_.get(), "af", chain.constData());
}

} // namespace velloran
