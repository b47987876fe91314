#include "midi_render.h"

#include "midi_file.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <fluidsynth.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace velloran::engine {

namespace {

constexpr int kSampleRate = 44100;
constexpr int kBytesPerFrame = 4;
constexpr int kBlockFrames = 1024;
// Frames written to the file at a time, and made readable.
constexpr int kWriteFrames = 4096;
// A runaway file (a loop, a tempo of almost nothing) must not fill the disk.
constexpr qint64 kMaxFrames = qint64(kSampleRate) * 4 * 3600;
// Peak after levelling: -1 dBFS leaves room for resampling overshoot.
constexpr float kTargetPeak = 0.89f;
// Near-silent files are not blown up into noise.
constexpr float kMaxGain = 40.0f;
// How far the level looks ahead, and so how gently it eases down.
constexpr qint64 kLookaheadFrames = kSampleRate;

struct SettingsDeleter {
    void operator()(fluid_settings_t* s) const { delete_fluid_settings(s); }
};
struct SynthDeleter {
    void operator()(fluid_synth_t* s) const { delete_fluid_synth(s); }
};

// fluidsynth opens its instrument-file library with the first synthesiser and closes it
// with the last; every reopening leaves about 2.5 KiB of type data behind, a little
// more with each MIDI file played. A small silent synthesiser held for the rest of the
// process keeps the library open, from the first MIDI file on.
void keepSynthLibraryOpen() {
    struct Keeper {
        std::unique_ptr<fluid_settings_t, SettingsDeleter> settings{new_fluid_settings()};
        std::unique_ptr<fluid_synth_t, SynthDeleter> synth;
        Keeper() {
            if (!settings)
                return;
            fluid_settings_setint(settings.get(), "synth.polyphony", 1);
            fluid_settings_setint(settings.get(), "synth.reverb.active", 0);
            fluid_settings_setint(settings.get(), "synth.chorus.active", 0);
            fluid_settings_setint(settings.get(), "synth.lock-memory", 0);
            synth.reset(new_fluid_synth(settings.get()));
        }
    };
    static const Keeper keeper;
}

void silenceFluidLog() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG})
            fluid_set_log_function(level, nullptr, nullptr);
    });
}

QByteArray wavHeader(qint64 frames) {
    const quint32 dataBytes = quint32(frames * kBytesPerFrame);
    QByteArray h(44, '\0');
    auto put32 = [&h](int at, quint32 v) {
        qToLittleEndian(v, h.data() + at);
    };
    auto put16 = [&h](int at, quint16 v) {
        qToLittleEndian(v, h.data() + at);
    };
    std::memcpy(h.data(), "RIFF", 4);
    put32(4, 36 + dataBytes);
    std::memcpy(h.data() + 8, "WAVEfmt ", 8);
    put32(16, 16);
    put16(20, 1); // PCM
    put16(22, 2);
    put32(24, kSampleRate);
    put32(28, kSampleRate * kBytesPerFrame);
    put16(32, kBytesPerFrame);
    put16(34, 16);
    std::memcpy(h.data() + 36, "data", 4);
    put32(40, dataBytes);
    return h;
}

// Raises the level with a gain that never rises: it starts from the peak of
// the first lookahead, and a louder frame entering the lookahead lowers it
// linearly, so that it is low enough by the time that frame comes out.
class Leveller {
public:
    using Sink = std::function<bool(const char* data, qint64 bytes)>;
    explicit Leveller(Sink sink)
        : sink_(std::move(sink)), ring_(2 * kLookaheadFrames), out_(2 * kWriteFrames) {}

    bool push(const float* left, const float* right, int frames) {
        for (int i = 0; i < frames; ++i) {
            const float level = std::max(std::fabs(left[i]), std::fabs(right[i]));
            if (!started_) {
                ring_[2 * filled_] = left[i];
                ring_[2 * filled_ + 1] = right[i];
                peak_ = std::max(peak_, level);
                if (++filled_ == kLookaheadFrames)
                    start();
                continue;
            }
            const float need = level > 0 ? std::min(kMaxGain, kTargetPeak / level) : kMaxGain;
            if (need < goal_) {
                goal_ = need;
                step_ = std::max(step_, (gain_ - goal_) / float(kLookaheadFrames));
            }
            if (!send(head_))
                return false;
            ring_[2 * head_] = left[i];
            ring_[2 * head_ + 1] = right[i];
            head_ = (head_ + 1) % kLookaheadFrames;
        }
        return true;
    }

    // Sends what the lookahead still holds.
    bool finish() {
        const qint64 held = started_ ? kLookaheadFrames : filled_;
        if (!started_)
            start();
        for (qint64 k = 0; k < held; ++k)
            if (!send((head_ + k) % kLookaheadFrames))
                return false;
        return flush();
    }

private:
    void start() {
        started_ = true;
        gain_ = goal_ = peak_ > 0 ? std::min(kMaxGain, kTargetPeak / peak_) : kMaxGain;
        head_ = 0;
    }

    bool send(qint64 at) {
        auto pcm = [this](float v) {
            return qToLittleEndian(
                qint16(std::lrint(std::clamp(v * gain_, -1.0f, 1.0f) * 32767.0f)));
        };
        out_[2 * pending_] = pcm(ring_[2 * at]);
        out_[2 * pending_ + 1] = pcm(ring_[2 * at + 1]);
        gain_ = std::max(goal_, gain_ - step_);
        if (gain_ <= goal_)
            step_ = 0;
        return ++pending_ < kWriteFrames || flush();
    }

    bool flush() {
        const qint64 bytes = pending_ * kBytesPerFrame;
        pending_ = 0;
        return bytes == 0 || sink_(reinterpret_cast<const char*>(out_.data()), bytes);
    }

    Sink sink_;
    std::vector<float> ring_; // the lookahead, interleaved
    qint64 filled_ = 0;
    qint64 head_ = 0; // the oldest frame, once started
    bool started_ = false;
    float peak_ = 0;
    float gain_ = 1, goal_ = 1, step_ = 0;
    std::vector<qint16> out_;
    qint64 pending_ = 0;
};

void sendEvent(fluid_synth_t* synth, const MidiEvent& e) {
    if (e.kind == MidiEvent::Kind::SysEx) {
        // Only complete messages; the synthesiser wants them without F0 and F7.
        QByteArrayView body = e.payload;
        if (e.status != 0xf0 || body.isEmpty())
            return;
        if (body.back() == char(0xf7))
            body.chop(1);
        fluid_synth_sysex(synth, body.data(), int(body.size()), nullptr, nullptr, nullptr, 0);
        return;
    }
    if (e.kind != MidiEvent::Kind::Channel)
        return;
    const int channel = e.status & 0x0f;
    switch (e.status & 0xf0) {
    case 0x80:
        fluid_synth_noteoff(synth, channel, e.data1);
        break;
    case 0x90:
        fluid_synth_noteon(synth, channel, e.data1, e.data2); // velocity 0 is a note off
        break;
    case 0xa0:
        fluid_synth_key_pressure(synth, channel, e.data1, e.data2);
        break;
    case 0xb0:
        fluid_synth_cc(synth, channel, e.data1, e.data2);
        break;
    case 0xc0:
        fluid_synth_program_change(synth, channel, e.data1);
        break;
    case 0xd0:
        fluid_synth_channel_pressure(synth, channel, e.data1);
        break;
    case 0xe0:
        fluid_synth_pitch_bend(synth, channel, e.data1 | e.data2 << 7);
        break;
    default:
        break;
    }
}

} // namespace

QString defaultSoundFont() {
    const QString fromEnv = qEnvironmentVariable("VELLORAN_SOUNDFONT");
    if (!fromEnv.isEmpty())
        return fromEnv;
    const QString configured = QStringLiteral(VELLORAN_SOUNDFONT);
    if (QFileInfo::exists(configured))
        return configured;
    return QStringLiteral("/usr/share/sounds/sf2/TimGM6mb.sf2");
}

MidiRendering::MidiRendering(const QString& midiPath, const QString& soundFont, const QString& dest,
                             std::function<void(bool)> ready) {
    fd_ = ::open(QFile::encodeName(dest).constData(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    thread_ = std::thread(
        [this, midiPath, soundFont, ready = std::move(ready)] { run(midiPath, soundFont, ready); });
}

MidiRendering::~MidiRendering() {
    stop();
    if (fd_ >= 0)
        ::close(fd_);
}

void MidiRendering::stop() {
    {
        const std::lock_guard lock(mutex_);
        cancel_ = true;
    }
    grown_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

bool MidiRendering::finish() {
    if (thread_.joinable())
        thread_.join();
    const std::lock_guard lock(mutex_);
    return done_ && !failed_;
}

qint64 MidiRendering::size() const {
    const std::lock_guard lock(mutex_);
    return size_;
}

QString MidiRendering::error() const {
    const std::lock_guard lock(mutex_);
    return error_;
}

void MidiRendering::wake() {
    { const std::lock_guard lock(mutex_); }
    grown_.notify_all();
}

qint64 MidiRendering::read(qint64 offset, char* buffer, qint64 count,
                           const std::atomic<bool>* abandoned) {
    qint64 ready = 0;
    {
        std::unique_lock lock(mutex_);
        grown_.wait(lock, [&] {
            return failed_ || cancel_ || (abandoned && *abandoned) || offset >= size_ ||
                   offset < available_;
        });
        if (failed_ || cancel_ || (abandoned && *abandoned))
            return -1;
        if (offset >= size_)
            return 0;
        ready = std::min(count, available_ - offset);
    }
    // What is published is in the file already; the writer never rewrites it.
    qint64 got = 0;
    while (got < ready) {
        const ssize_t n = ::pread(fd_, buffer + got, size_t(ready - got), off_t(offset + got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return got > 0 ? got : -1;
        got += n;
    }
    return got;
}

void MidiRendering::fail(const QString& why) {
    {
        const std::lock_guard lock(mutex_);
        failed_ = true;
        if (error_.isEmpty())
            error_ = cancel_ ? QStringLiteral("cancelled") : why;
    }
    grown_.notify_all();
}

bool MidiRendering::publish(const char* data, qint64 bytes) {
    qint64 at = 0;
    {
        const std::lock_guard lock(mutex_);
        at = available_;
    }
    for (qint64 done = 0; done < bytes;) {
        const ssize_t n = ::pwrite(fd_, data + done, size_t(bytes - done), off_t(at + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    {
        const std::lock_guard lock(mutex_);
        available_ = at + bytes;
    }
    grown_.notify_all();
    return true;
}

void MidiRendering::run(const QString& midiPath, const QString& soundFont,
                        const std::function<void(bool)>& ready) {
    auto refuse = [&](const QString& why) {
        fail(why);
        if (ready)
            ready(false);
    };
    if (fd_ < 0) {
        refuse(QStringLiteral("cannot create the rendering"));
        return;
    }
    QString why;
    const std::optional<MidiFile> midi = MidiFile::read(midiPath, &why);
    if (!midi) {
        refuse(why);
        return;
    }
    silenceFluidLog();
    keepSynthLibraryOpen();
    std::unique_ptr<fluid_settings_t, SettingsDeleter> settings(new_fluid_settings());
    if (!settings) {
        refuse(QStringLiteral("cannot create synthesiser settings"));
        return;
    }
    fluid_settings_setnum(settings.get(), "synth.sample-rate", kSampleRate);
    fluid_settings_setnum(settings.get(), "synth.gain", 1.0);
    fluid_settings_setint(settings.get(), "synth.lock-memory", 0);
    std::unique_ptr<fluid_synth_t, SynthDeleter> synth(new_fluid_synth(settings.get()));
    if (!synth) {
        refuse(QStringLiteral("cannot create synthesiser"));
        return;
    }
    if (fluid_synth_sfload(synth.get(), QFile::encodeName(soundFont).constData(), 1) ==
        FLUID_FAILED) {
        refuse(QStringLiteral("cannot load soundfont %1").arg(soundFont));
        return;
    }
    // Exactly as long as the music, so that the header, the data and the
    // length mpv reports agree from the start.
    const qint64 frames =
        std::clamp(qint64(std::llround(midi->seconds() * kSampleRate)), qint64(1), kMaxFrames);
    const QByteArray header = wavHeader(frames);
    {
        const std::lock_guard lock(mutex_);
        size_ = header.size() + frames * kBytesPerFrame;
    }
    if (!publish(header.constData(), header.size())) {
        refuse(QStringLiteral("cannot write the rendering"));
        return;
    }
    if (ready)
        ready(true);

    bool wrote = true;
    Leveller out([&](const char* data, qint64 bytes) { return wrote = publish(data, bytes); });
    std::vector<float> left(kBlockFrames), right(kBlockFrames);
    qint64 done = 0;
    bool synthOk = true;
    auto renderTo = [&](qint64 until) {
        while (done < until) {
            if (cancel_)
                return false;
            const int n = int(std::min<qint64>(kBlockFrames, until - done));
            synthOk = fluid_synth_write_float(synth.get(), n, left.data(), 0, 1, right.data(), 0,
                                              1) == FLUID_OK;
            if (!synthOk || !out.push(left.data(), right.data(), n))
                return false;
            done += n;
        }
        return true;
    };
    midi->play([&](const MidiEvent& e) {
        const qint64 at = std::min(frames, qint64(std::llround(e.seconds * kSampleRate)));
        if (cancel_ || !renderTo(at) || at >= frames)
            return false;
        sendEvent(synth.get(), e);
        return true;
    });
    // Notes still sounding at the last event are cut there.
    if (cancel_ || !renderTo(frames) || !out.finish()) {
        fail(!synthOk ? QStringLiteral("synthesis failed")
             : !wrote ? QStringLiteral("cannot write the rendering")
                      : QStringLiteral("cancelled"));
        return;
    }
    {
        const std::lock_guard lock(mutex_);
        done_ = true;
    }
    grown_.notify_all();
}

bool renderMidiToWav(const QString& midiPath, const QString& soundFont, const QString& dest,
                     QString* error) {
    MidiRendering rendering(midiPath, soundFont, dest);
    const bool ok = rendering.finish();
    if (!ok && error)
        *error = rendering.error();
    return ok;
}

} // namespace velloran::engine
