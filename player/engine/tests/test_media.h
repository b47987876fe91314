#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <vector>

namespace velloran::engine::testing {

/// A 16-bit PCM WAV file holding a sine of @p hz in every channel.
void writeSineWav(const QString& path, double seconds, double hz, int rate = 8000,
                  int channels = 1);

/// The 60-byte header the DVI converter writes (format tag 0x0100, 8000 Hz,
/// 4-bit) followed by @p audio.
QByteArray dialogicWav(const QByteArray& audio);

/// A Standard MIDI file of @p format with one MTrk chunk for each of @p tracks.
QByteArray smf(quint16 format, quint16 division, const QList<QByteArray>& tracks);

/// A Standard MIDI file: two notes of one second each at 120 bpm, 2 s in all.
QByteArray twoNoteMidi();

/// A MIDI file of @p notes one-second notes, one after the other.
QByteArray longMidi(int notes);

/// A format 1 file of three tracks, 480 ticks a quarter: the tempo track
/// (120 bpm, 60 bpm from tick 960, 240 bpm from tick 1920, ending at 1920), a
/// note from 0 to 2400 (3.25 s), and one from 480 ending at 2880: 3.5 s.
QByteArray tempoChangeMidi();

void writeFile(const QString& path, const QByteArray& bytes);
QByteArray readFile(const QString& path);

/// Decoded 16-bit PCM of a WAV file; reads the data chunk to the end of the
/// file, whatever size its header claims.
struct Pcm {
    int rate = 0;
    int channels = 0;
    std::vector<float> samples; // interleaved, -1..1
    double seconds() const {
        return channels && rate ? double(samples.size()) / channels / rate : 0.0;
    }
    double rms(int channel) const;
    /// Frequency of a steady tone in @p channel, from its zero crossings.
    double toneFrequency(int channel) const;
};
Pcm readPcmWav(const QString& path);

} // namespace velloran::engine::testing
