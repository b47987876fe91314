#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace velloran::engine {

/// One event of a Standard MIDI file, at its time from the start.
struct MidiEvent {
    enum class Kind { Channel, SysEx, Meta };
    double seconds = 0;
    Kind kind = Kind::Channel;
    quint8 status = 0; ///< Channel: the status byte (type and channel). Meta: the meta type.
    quint8 data1 = 0;
    quint8 data2 = 0;
    QByteArrayView payload; ///< SysEx and Meta: the bytes after the length.
};

/// A Standard MIDI file (formats 0, 1 and 2, metrical or SMPTE time), checked
/// as a whole when it is read. Tempo changes in any track apply to all, and
/// tracks play together, as synthesisers play them.
class MidiFile {
public:
    /// Reads and checks @p bytes; std::nullopt, with the reason in @p error,
    /// when they are no MIDI file or hold nothing to play.
    static std::optional<MidiFile> parse(QByteArray bytes, QString* error = nullptr);
    /// Reads the file at @p path (at most a few MiB: no MIDI file is larger).
    static std::optional<MidiFile> read(const QString& path, QString* error = nullptr);

    /// Time of the last event, end of track included: where the music ends.
    double seconds() const { return seconds_; }

    /// Calls @p onEvent with every event in playing order (ties in track
    /// order) until it returns false. Returns false when it was stopped.
    bool play(const std::function<bool(const MidiEvent&)>& onEvent) const;

private:
    struct Track {
        qsizetype begin = 0;
        qsizetype end = 0;
    };
    MidiFile() = default;
    bool walk(const std::function<bool(const MidiEvent&)>& onEvent, QString* error) const;

    QByteArray bytes_;
    std::vector<Track> tracks_;
    double secondsPerTick_ = 0; // SMPTE time; metrical time follows the tempo
    int ticksPerQuarter_ = 0;
    double seconds_ = 0;
};

} // namespace velloran::engine
