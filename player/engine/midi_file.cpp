#include "midi_file.h"

#include "core/file_names.h"

#include <QFile>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <queue>
#include <utility>

namespace velloran::engine {

namespace {

// Real MIDI files are kilobytes; a larger one is something else.
constexpr qint64 kMaxFileBytes = 16 * 1024 * 1024;

quint32 be32(const uchar* p) {
    return quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | quint32(p[3]);
}

quint16 be16(const uchar* p) {
    return quint16(p[0] << 8 | p[1]);
}

// The read position in one track and its next event.
struct Cursor {
    qsizetype pos = 0;
    qsizetype end = 0;
    quint64 tick = 0;
    quint8 running = 0; // running status; 0 while there is none
    bool ended = false; // the end-of-track event has been read
    MidiEvent event;
};

enum class Step { Event, End, Error };

// A variable-length quantity: at most four bytes, as the format allows.
bool readVarLen(const uchar* d, qsizetype& pos, qsizetype end, quint32& value) {
    value = 0;
    for (int i = 0; i < 4 && pos < end; ++i) {
        const uchar c = d[pos++];
        value = value << 7 | (c & 0x7f);
        if (!(c & 0x80))
            return true;
    }
    return false;
}

// Sizes come from the file: every step is checked against the track's end,
// never against what a length field claims.
Step nextEvent(const QByteArray& bytes, Cursor& c, QString* why) {
    const auto* d = reinterpret_cast<const uchar*>(bytes.constData());
    if (c.ended || c.pos >= c.end)
        return Step::End; // a missing end-of-track event ends the track too
    quint32 delta = 0;
    if (!readVarLen(d, c.pos, c.end, delta) || c.pos >= c.end) {
        *why = QStringLiteral("an event is cut off or its time is malformed");
        return Step::Error;
    }
    c.tick += delta;
    quint8 status = d[c.pos];
    if (status & 0x80)
        ++c.pos;
    else if (c.running)
        status = c.running;
    else {
        *why = QStringLiteral("a data byte comes without a status");
        return Step::Error;
    }
    MidiEvent& e = c.event;
    e = MidiEvent{};
    if (status == 0xff || status == 0xf0 || status == 0xf7) {
        // Meta and system-exclusive events leave running status alone: files
        // in the wild rely on it.
        e.kind = status == 0xff ? MidiEvent::Kind::Meta : MidiEvent::Kind::SysEx;
        e.status = status;
        if (status == 0xff) {
            if (c.pos >= c.end) {
                *why = QStringLiteral("a meta event is cut off");
                return Step::Error;
            }
            e.status = d[c.pos++];
        }
        quint32 length = 0;
        if (!readVarLen(d, c.pos, c.end, length) || length > quint64(c.end - c.pos)) {
            *why = QStringLiteral("an event runs past the end of its track");
            return Step::Error;
        }
        e.payload = QByteArrayView(bytes.constData() + c.pos, qsizetype(length));
        c.pos += qsizetype(length);
        c.ended = e.kind == MidiEvent::Kind::Meta && e.status == 0x2f;
        return Step::Event;
    }
    if (status > 0xf0) {
        *why = QStringLiteral("a system message has no place in a MIDI file");
        return Step::Error;
    }
    const quint8 type = status & 0xf0;
    const qsizetype size = type == 0xc0 || type == 0xd0 ? 1 : 2;
    if (c.end - c.pos < size) {
        *why = QStringLiteral("an event is cut off");
        return Step::Error;
    }
    c.running = status;
    e.status = status;
    e.data1 = d[c.pos] & 0x7f;
    e.data2 = size == 2 ? d[c.pos + 1] & 0x7f : 0;
    c.pos += size;
    return Step::Event;
}

} // namespace

std::optional<MidiFile> MidiFile::read(const QString& path, QString* error) {
    QString scratch;
    QString& why = error ? *error : scratch;
    QFile file;
    if (!openForReading(file, path)) {
        why = QStringLiteral("cannot read %1").arg(displayFileName(path));
        return std::nullopt;
    }
    if (file.size() > kMaxFileBytes) {
        why = QStringLiteral("too large for a MIDI file");
        return std::nullopt;
    }
    return parse(file.read(kMaxFileBytes), error);
}

std::optional<MidiFile> MidiFile::parse(QByteArray bytes, QString* error) {
    QString scratch;
    QString& why = error ? *error : scratch;
    const auto* d = reinterpret_cast<const uchar*>(bytes.constData());
    const qsizetype size = bytes.size();
    if (size > kMaxFileBytes) {
        why = QStringLiteral("too large for a MIDI file");
        return std::nullopt;
    }
    if (size < 14 || !bytes.startsWith("MThd") || be32(d + 4) < 6 || be32(d + 4) > quint64(size)) {
        why = QStringLiteral("not a Standard MIDI file");
        return std::nullopt;
    }
    MidiFile file;
    const quint16 format = be16(d + 8);
    const quint16 division = be16(d + 12);
    if (format > 2 || division == 0) {
        why = QStringLiteral("not a Standard MIDI file");
        return std::nullopt;
    }
    if (division & 0x8000) {
        // SMPTE time: frames a second (negated) and ticks a frame.
        const int fps = -qint8(division >> 8);
        const int perFrame = division & 0xff;
        if ((fps != 24 && fps != 25 && fps != 29 && fps != 30) || perFrame == 0) {
            why = QStringLiteral("the file's time code is malformed");
            return std::nullopt;
        }
        file.secondsPerTick_ = 1.0 / ((fps == 29 ? 29.97 : fps) * perFrame);
    } else {
        file.ticksPerQuarter_ = division;
    }
    // Chunks of other types are skipped, as the format asks; a track longer
    // than the file is read to where the file ends.
    for (qint64 pos = 8 + qint64(be32(d + 4)); pos + 8 <= size;) {
        const qint64 begin = pos + 8;
        const qint64 end = begin + qint64(be32(d + pos + 4));
        if (std::memcmp(d + pos, "MTrk", 4) == 0)
            file.tracks_.push_back({qsizetype(begin), qsizetype(std::min<qint64>(end, size))});
        pos = end;
    }
    file.bytes_ = std::move(bytes);
    double last = 0;
    if (!file.walk(
            [&last](const MidiEvent& e) {
                last = e.seconds;
                return true;
            },
            &why))
        return std::nullopt;
    if (!(last > 0) || !std::isfinite(last)) {
        why = QStringLiteral("the MIDI file holds nothing to play");
        return std::nullopt;
    }
    file.seconds_ = last;
    return file;
}

bool MidiFile::play(const std::function<bool(const MidiEvent&)>& onEvent) const {
    QString ignored; // the file was checked when it was read
    return walk(onEvent, &ignored);
}

bool MidiFile::walk(const std::function<bool(const MidiEvent&)>& onEvent, QString* error) const {
    std::vector<Cursor> cursors(tracks_.size());
    // Next event of each track by (tick, track): the earliest first, ties in track order.
    using Due = std::pair<quint64, size_t>;
    std::priority_queue<Due, std::vector<Due>, std::greater<Due>> due;
    auto advance = [&](size_t i) {
        switch (nextEvent(bytes_, cursors[i], error)) {
        case Step::Event:
            due.push({cursors[i].tick, i});
            return true;
        case Step::End:
            return true;
        case Step::Error:
            return false;
        }
        return false;
    };
    for (size_t i = 0; i < tracks_.size(); ++i) {
        cursors[i].pos = tracks_[i].begin;
        cursors[i].end = tracks_[i].end;
        if (!advance(i))
            return false;
    }
    // 120 beats a minute until a tempo event says otherwise.
    double perTick = ticksPerQuarter_ ? 0.5 / ticksPerQuarter_ : secondsPerTick_;
    double seconds = 0;
    quint64 lastTick = 0;
    while (!due.empty()) {
        const auto [tick, i] = due.top();
        due.pop();
        seconds += double(tick - lastTick) * perTick;
        lastTick = tick;
        MidiEvent& e = cursors[i].event;
        e.seconds = seconds;
        if (ticksPerQuarter_ && e.kind == MidiEvent::Kind::Meta && e.status == 0x51 &&
            e.payload.size() >= 3) {
            const auto* p = reinterpret_cast<const uchar*>(e.payload.data());
            const quint32 microsPerQuarter = quint32(p[0]) << 16 | quint32(p[1]) << 8 | p[2];
            perTick = microsPerQuarter / 1e6 / ticksPerQuarter_;
        }
        if (!onEvent(e))
            return false;
        if (!advance(i))
            return false;
    }
    return true;
}

} // namespace velloran::engine
