#include "test_media.h"

#include <QFile>
#include <QtEndian>

#include <cmath>
#include <numbers>

namespace velloran::engine::testing {

namespace {

void put16(QByteArray& b, quint16 v) {
    char raw[2];
    qToLittleEndian(v, raw);
    b.append(raw, 2);
}

void put32(QByteArray& b, quint32 v) {
    char raw[4];
    qToLittleEndian(v, raw);
    b.append(raw, 4);
}

void putBig32(QByteArray& b, quint32 v) {
    char raw[4];
    qToBigEndian(v, raw);
    b.append(raw, 4);
}

} // namespace

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeSineWav(const QString& path, double seconds, double hz, int rate, int channels) {
    const int frames = int(seconds * rate);
    QByteArray wav = "RIFF";
    put32(wav, 36 + frames * channels * 2);
    wav += "WAVEfmt ";
    put32(wav, 16);
    put16(wav, 1);
    put16(wav, quint16(channels));
    put32(wav, quint32(rate));
    put32(wav, quint32(rate * channels * 2));
    put16(wav, quint16(channels * 2));
    put16(wav, 16);
    wav += "data";
    put32(wav, quint32(frames * channels * 2));
    for (int i = 0; i < frames; ++i) {
        const double v = 0.5 * std::sin(2 * std::numbers::pi * hz * i / rate);
        for (int c = 0; c < channels; ++c)
            put16(wav, quint16(qint16(std::lrint(v * 32767))));
    }
    writeFile(path, wav);
}

QByteArray dialogicWav(const QByteArray& audio) {
    QByteArray wav = "RIFF";
    put32(wav, quint32(audio.size() + 52));
    wav += "WAVEfmt ";
    put32(wav, 20);
    put16(wav, 0x0100);
    put16(wav, 1);
    put32(wav, 8000);
    put32(wav, 4000);
    put16(wav, 256);
    put16(wav, 4);
    put16(wav, 2);
    put16(wav, 257);
    wav += "fact";
    put32(wav, 4);
    put32(wav, 0);
    wav += "data";
    put32(wav, quint32(audio.size()));
    return wav + audio;
}

QByteArray smf(quint16 format, quint16 division, const QList<QByteArray>& tracks) {
    QByteArray file = "MThd";
    putBig32(file, 6);
    char raw[2];
    for (quint16 v : {format, quint16(tracks.size()), division}) {
        qToBigEndian(v, raw);
        file.append(raw, 2);
    }
    for (const QByteArray& track : tracks) {
        file += "MTrk";
        putBig32(file, quint32(track.size()));
        file += track;
    }
    return file;
}

QByteArray twoNoteMidi() {
    return smf(0, 480,
               {QByteArray::fromHex("00c000"       // program 0
                                    "00903c64"     // C5 on
                                    "8740803c00"   // 960 ticks later: off
                                    "00904064"     // E5 on
                                    "8740804000"   // 960 ticks later: off
                                    "00ff2f00")}); // end of track
}

QByteArray longMidi(int notes) {
    QByteArray track = QByteArray::fromHex("00c000");
    for (int i = 0; i < notes; ++i)
        track += QByteArray::fromHex("00903c648740803c00");
    return smf(1, 480, {track + QByteArray::fromHex("00ff2f00")});
}

QByteArray tempoChangeMidi() {
    return smf(1, 480,
               {QByteArray::fromHex("00ff510307a120"   // 120 bpm
                                    "8740ff51030f4240" // tick 960: 60 bpm
                                    "8740ff510303d090" // tick 1920: 240 bpm
                                    "00ff2f00"),
                QByteArray::fromHex("00c000"
                                    "00903c64"
                                    "9260803c00" // tick 2400
                                    "00ff2f00"),
                QByteArray::fromHex("8360914064"     // tick 480, channel 2
                                    "8f00814000"     // tick 2400
                                    "8360ff2f00")}); // end at tick 2880
}

Pcm readPcmWav(const QString& path) {
    Pcm pcm;
    const QByteArray wav = readFile(path);
    if (wav.size() < 12 || !wav.startsWith("RIFF"))
        return pcm;
    qsizetype pos = 12;
    int bits = 0;
    while (pos + 8 <= wav.size()) {
        const QByteArray id = wav.mid(pos, 4);
        const quint32 size = qFromLittleEndian<quint32>(wav.constData() + pos + 4);
        if (id == "fmt " && pos + 24 <= wav.size()) {
            pcm.channels = qFromLittleEndian<quint16>(wav.constData() + pos + 10);
            pcm.rate = int(qFromLittleEndian<quint32>(wav.constData() + pos + 12));
            bits = qFromLittleEndian<quint16>(wav.constData() + pos + 22);
        } else if (id == "data") {
            if (bits != 16)
                return {};
            for (qsizetype at = pos + 8; at + 2 <= wav.size(); at += 2)
                pcm.samples.push_back(qFromLittleEndian<qint16>(wav.constData() + at) / 32768.0f);
            return pcm;
        }
        pos += 8 + qsizetype(size) + (size & 1);
    }
    return pcm;
}

double Pcm::rms(int channel) const {
    double sum = 0;
    qsizetype n = 0;
    for (size_t i = size_t(channel); i < samples.size(); i += size_t(channels), ++n)
        sum += double(samples[i]) * samples[i];
    return n ? std::sqrt(sum / double(n)) : 0.0;
}

double Pcm::toneFrequency(int channel) const {
    // Count rising zero crossings over the middle half: the edges hold the
    // filters' run-in and run-out.
    const size_t frames = samples.size() / size_t(channels);
    const size_t from = frames / 4, to = frames * 3 / 4;
    int crossings = 0;
    size_t first = 0, last = 0;
    for (size_t f = from + 1; f < to; ++f) {
        const float a = samples[(f - 1) * size_t(channels) + size_t(channel)];
        const float b = samples[f * size_t(channels) + size_t(channel)];
        if (a < 0 && b >= 0) {
            if (crossings == 0)
                first = f;
            last = f;
            ++crossings;
        }
    }
    if (crossings < 2)
        return 0.0;
    return (crossings - 1) * double(rate) / double(last - first);
}

} // namespace velloran::engine::testing
