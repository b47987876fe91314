// dvi_bench make PATH BYTES   writes a DVI recording of BYTES bytes
// dvi_bench convert PATH      converts it beside itself, prints the seconds taken
#include "convert/vox_converter.h"
#include "core/player_state.h"
#include "core/settings_store.h"

#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QtEndian>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

class NullStore final : public velloran::SettingsStore {
public:
    QString read(const QString& key) const override { return values.value(key); }
    void write(const QString& key, const QString& value) override { values[key] = value; }
    QMap<QString, QString> values;
};

int make(const char* path, qint64 bytes) {
    if (bytes < velloran::kVoxHeaderSize)
        return 2;
    QFile out(QString::fromLocal8Bit(path));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 1;
    QByteArray header(velloran::kVoxHeaderSize, '\0');
    std::memcpy(header.data(), "DVI ", 4);
    qToLittleEndian<qint32>(qint32(qMin<qint64>(bytes, INT32_MAX)),
                            header.data() + velloran::kRecordedLengthOffset);
    if (out.write(header) != header.size())
        return 1;
    std::vector<char> block(1 << 20);
    quint32 x = 2463534242u;
    for (char& c : block) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        c = char(x);
    }
    for (qint64 left = bytes - header.size(); left > 0;) {
        const qint64 n = qMin<qint64>(left, qint64(block.size()));
        if (out.write(block.data(), n) != n)
            return 1;
        left -= n;
    }
    return 0;
}

int convert(const char* path) {
    const QString source = QString::fromLocal8Bit(path);
    NullStore store;
    velloran::PlayerState state;
    qint64 calls = 0;
    const auto start = std::chrono::steady_clock::now();
    const bool ok = velloran::voxToWave(source, store, state, [&](qint64, qint64) { ++calls; });
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const qint64 expected = QFileInfo(source).size() - velloran::kVoxHeaderSize + 60;
    if (!ok || QFileInfo(state.selectedFile).size() != expected) {
        std::fprintf(stderr, "conversion failed\n");
        return 1;
    }
    std::printf("%.6f %lld\n", seconds, static_cast<long long>(calls));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "make") == 0)
        return make(argv[2], std::strtoll(argv[3], nullptr, 10));
    if (argc == 3 && std::strcmp(argv[1], "convert") == 0)
        return convert(argv[2]);
    std::fprintf(stderr, "usage: dvi_bench make PATH BYTES | convert PATH\n");
    return 2;
}
