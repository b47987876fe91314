#include "midi_render.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <fluidsynth.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace velloran::engine {

namespace {

constexpr int kSampleRate = 44100;
constexpr int kBlockFrames = 1024;
// A runaway file (a loop, a tempo of almost nothing) must not fill the disk.
constexpr qint64 kMaxFrames = qint64(kSampleRate) * 4 * 3600;
// Peak after normalisation: -1 dBFS leaves room for resampling overshoot.
constexpr float kTargetPeak = 0.89f;
// Near-silent files are not blown up into noise.
constexpr float kMaxGain = 40.0f;

struct SettingsDeleter {
    void operator()(fluid_settings_t* s) const { delete_fluid_settings(s); }
};
struct SynthDeleter {
    void operator()(fluid_synth_t* s) const { delete_fluid_synth(s); }
};
struct PlayerDeleter {
    void operator()(fluid_player_t* p) const { delete_fluid_player(p); }
};

void silenceFluidLog() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG})
            fluid_set_log_function(level, nullptr, nullptr);
    });
}

using BlockSink = std::function<bool(const float* left, const float* right, int frames)>;

// One pass of the file through a fresh synthesiser. Two passes are cheaper
// than holding a whole rendering in memory to normalise it.
bool renderPass(const QString& midiPath, const QString& soundFont, const BlockSink& sink,
                qint64* frames, QString* error, const std::atomic<bool>* cancel) {
    std::unique_ptr<fluid_settings_t, SettingsDeleter> settings(new_fluid_settings());
    if (!settings) {
        *error = QStringLiteral("cannot create synthesiser settings");
        return false;
    }
    fluid_settings_setnum(settings.get(), "synth.sample-rate", kSampleRate);
    fluid_settings_setnum(settings.get(), "synth.gain", 1.0);
    fluid_settings_setint(settings.get(), "synth.lock-memory", 0);
    fluid_settings_setstr(settings.get(), "player.timing-source", "sample");
    std::unique_ptr<fluid_synth_t, SynthDeleter> synth(new_fluid_synth(settings.get()));
    if (!synth) {
        *error = QStringLiteral("cannot create synthesiser");
        return false;
    }
    const QByteArray font = QFile::encodeName(soundFont);
    if (fluid_synth_sfload(synth.get(), font.constData(), 1) == FLUID_FAILED) {
        *error = QStringLiteral("cannot load soundfont %1").arg(soundFont);
        return false;
    }
    std::unique_ptr<fluid_player_t, PlayerDeleter> player(new_fluid_player(synth.get()));
    const QByteArray midi = QFile::encodeName(midiPath);
    if (!player || fluid_player_add(player.get(), midi.constData()) != FLUID_OK ||
        fluid_player_play(player.get()) != FLUID_OK) {
        *error = QStringLiteral("cannot read MIDI file");
        return false;
    }
    std::vector<float> left(kBlockFrames), right(kBlockFrames);
    *frames = 0;
    while (fluid_player_get_status(player.get()) == FLUID_PLAYER_PLAYING && *frames < kMaxFrames) {
        // The player keeps "playing" while notes ring out past the last event;
        // the dictation ends with its last tick.
        const int total = fluid_player_get_total_ticks(player.get());
        if (*frames > 0 && total > 0 && fluid_player_get_current_tick(player.get()) >= total)
            break;
        if (cancel && cancel->load(std::memory_order_relaxed)) {
            *error = QStringLiteral("cancelled");
            return false;
        }
        if (fluid_synth_write_float(synth.get(), kBlockFrames, left.data(), 0, 1, right.data(), 0,
                                    1) != FLUID_OK) {
            *error = QStringLiteral("synthesis failed");
            return false;
        }
        if (!sink(left.data(), right.data(), kBlockFrames)) {
            *error = QStringLiteral("cannot write the rendering");
            return false;
        }
        *frames += kBlockFrames;
    }
    fluid_player_stop(player.get());
    // The player loads the file only once it runs: a broken file still yields
    // a first block, but no events.
    if (*frames == 0 || fluid_player_get_total_ticks(player.get()) <= 0) {
        *error = QStringLiteral("the MIDI file holds nothing to play");
        return false;
    }
    return true;
}

QByteArray wavHeader(qint64 frames) {
    const quint32 dataBytes = quint32(frames * 4);
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
    put32(28, kSampleRate * 4);
    put16(32, 4);
    put16(34, 16);
    std::memcpy(h.data() + 36, "data", 4);
    put32(40, dataBytes);
    return h;
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

bool renderMidiToWav(const QString& midiPath, const QString& soundFont, const QString& dest,
                     QString* error, const std::atomic<bool>* cancel) {
    QString scratchError;
    QString& why = error ? *error : scratchError;
    silenceFluidLog();

    float peak = 0.0f;
    qint64 frames = 0;
    const bool measured = renderPass(
        midiPath, soundFont,
        [&peak](const float* l, const float* r, int n) {
            for (int i = 0; i < n; ++i)
                peak = std::max({peak, std::fabs(l[i]), std::fabs(r[i])});
            return true;
        },
        &frames, &why, cancel);
    if (!measured)
        return false;
    const float gain = peak > 0.0f ? std::min(kTargetPeak / peak, kMaxGain) : 1.0f;

    QFile out(dest);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        why = QStringLiteral("cannot create %1").arg(dest);
        return false;
    }
    out.write(wavHeader(0));
    std::vector<qint16> interleaved(kBlockFrames * 2);
    auto toPcm = [gain](float v) {
        return qint16(std::lrint(std::clamp(v * gain, -1.0f, 1.0f) * 32767.0f));
    };
    qint64 written = 0;
    const bool rendered = renderPass(
        midiPath, soundFont,
        [&](const float* l, const float* r, int n) {
            for (int i = 0; i < n; ++i) {
                interleaved[2 * i] = qToLittleEndian(toPcm(l[i]));
                interleaved[2 * i + 1] = qToLittleEndian(toPcm(r[i]));
            }
            const qint64 bytes = qint64(n) * 4;
            return out.write(reinterpret_cast<const char*>(interleaved.data()), bytes) == bytes;
        },
        &written, &why, cancel);
    if (!rendered)
        return false;
    if (!out.seek(0) || out.write(wavHeader(written)) != 44 || !out.flush()) {
        why = QStringLiteral("cannot write %1").arg(dest);
        return false;
    }
    return true;
}

} // namespace velloran::engine
