#pragma once

#include "core/media_engine.h"
#include "engine/media_source.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QTimer>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

struct mpv_handle;
struct mpv_event;
struct mpv_stream_cb_info;

namespace velloran::engine {
class MidiRendering;
}

namespace velloran {

/// How an MpvEngine is set up; the defaults suit the program.
struct MpvEngineOptions {
    /// mpv audio output, or a list to try in turn ("null", "pulse", ...). Empty:
    /// $VELLORAN_MPV_AO, else PulseAudio, then PipeWire, then ALSA.
    QByteArray audioOutput;
    /// General MIDI soundfont for MIDI files. Empty: engine::defaultSoundFont().
    QString soundFont;
    /// Further mpv options, set before start-up in this order (name, value).
    QList<QPair<QByteArray, QByteArray>> extraOptions;
    /// Period of timer() while media plays, and for a few periods after a change.
    int timerIntervalMs = 250;
};

/// MediaEngine over libmpv, audio only.
///
/// mpv reports positions late, counts negative seeks from the end, unloads on
/// stop and has no end event with keep-open; this class turns that into the
/// MediaEngine contract. All events are delivered on the thread that owns it.
///
/// When the sound server or its sink goes away, the engine pauses (state
/// Paused) and, while the typist wants to play, looks for the output once a
/// second; when it returns, playback goes on from where it stood. Playlists
/// are followed a few levels deep and only to local files: no entry makes
/// the engine reach out over the network.
class MpvEngine final : public MediaEngine {
    Q_OBJECT
public:
    explicit MpvEngine(MpvEngineOptions options = {}, QObject* parent = nullptr);
    ~MpvEngine() override;

    /// False when libmpv could not be started; the engine then opens nothing.
    bool isValid() const { return handle_ != nullptr; }

    QString fileName() const override { return fileName_; }
    void setFileName(const QString& path) override;
    double duration() const override { return loaded_ ? duration_ : 0.0; }
    double currentPosition() const override;
    void setCurrentPosition(double seconds) override;
    double selectionStart() const override { return 0.0; }
    double selectionEnd() const override { return duration(); }
    int currentState() const override;
    void setRate(double rate) override;
    void setBalance(int balance) override;
    void run() override;
    void pause() override;
    void stop() override;

private:
    struct HandleDeleter {
        void operator()(mpv_handle* handle) const;
    };
    enum class Emit { OpenComplete, PositionChange, Tick };
    struct Emission {
        Emit what;
        double oldPosition = 0;
        double newPosition = 0;
    };
    struct QueuedChange {
        double oldPosition;
        double newPosition;
        quint64 ticket;
    };

    static void onWakeup(void* self);
    void drainEvents();
    void handleEvent(const mpv_event& event, std::vector<Emission>& out);
    void closeMedia();
    void failOpen(const QString& reason);
    // Hands mpv what to play: the original, a prepared copy or the stream of a
    // rendering, whose file the engine keeps.
    void loadPlayFile(const QString& playPath, engine::ScratchFile copy);
    void midiReady(quint64 generation, bool ok);
    // Opens a MIDI rendering for mpv, on one of mpv's threads.
    static int openMidiStream(void* self, char* uri, mpv_stream_cb_info* info);
    void abandonMidiRender();
    void sendSeek(double target);
    void seekDone();
    void deliverQueuedChange(quint64 ticket);
    void setPaused(bool paused);
    void applyPause();
    void screenLoad(quint64 hookId);
    void setOutputLost(bool lost);
    void reloadOutput();
    void checkArrivalAtEnd(std::vector<Emission>& out);
    // Runs the timer on for a few periods from now, with media open.
    void keepTicking();
    // The typist wants to play and the dictation moves.
    bool playing() const;
    void applyBalance();
    double clampToMedia(double seconds) const;

    MpvEngineOptions options_;
    std::unique_ptr<mpv_handle, HandleDeleter> handle_;
    QTimer timer_;
    int settleTicks_ = 0; // periods the timer still runs with nothing moving
    std::atomic<bool> drainQueued_{false};
    bool draining_ = false;

    QString fileName_;
    engine::ScratchFile scratch_; // the rendered or retagged copy being played
    struct MidiRender;
    std::unique_ptr<MidiRender> midiRender_; // a MIDI file being rendered, off this thread
    // The rendering mpv may open, and its generation; read by openMidiStream().
    std::mutex servedMutex_;
    std::shared_ptr<engine::MidiRendering> servedRendering_;
    quint64 servedGeneration_ = 0;
    quint64 generation_ = 0;    // bumped by every setFileName()
    qint64 expectedEntry_ = -1; // mpv playlist entry of the file we asked for
    qint64 startedEntry_ = -1;  // mpv playlist entry that started last
    bool loaded_ = false;
    double duration_ = 0;
    bool stopped_ = true;
    int balance_ = 0;

    // A written position is kept until mpv has performed the seek; mpv keeps
    // reporting the old position for a few milliseconds.
    std::optional<double> pendingTarget_;
    bool seekAwaitingReply_ = false;
    bool seekResendNeeded_ = false;
    int ticksSinceSeekReply_ = 0;
    // Once done, the seek's target still reads back until playback moves past
    // it: mpv's position lags it by the audio buffer while paused.
    mutable std::optional<double> heldPosition_;

    // The positionChange of the writes since the last one was delivered.
    std::optional<QueuedChange> queuedChange_;
    quint64 changeTickets_ = 0;

    bool eofReached_ = false;
    bool mpvPaused_ = true;
    bool pauseRequested_ = true;
    bool parkedAtEnd_ = false;
    mutable double lastPosition_ = 0;
    int redirects_ = 0; // playlist redirects followed for the file asked for

    // mpv fell back to the null output although a real one was asked for:
    // the sound server or its sink is gone.
    bool nullOutputAsked_ = false;
    bool outputLost_ = false;
    std::optional<double> lostAt_; // where the dictation stood when the output went
    QTimer outputRetry_;
};

} // namespace velloran
