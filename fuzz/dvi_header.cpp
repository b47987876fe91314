// The DVI conversion on arbitrary file contents: the signature, the recorded length and
// the wave header. A conversion that succeeds writes the 60-byte header and every byte of
// audio; one that is refused leaves no destination behind.
#include "convert/vox_converter.h"
#include "fuzz_support.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>

using namespace velloran;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    classifySignature(QString::fromLatin1(bytes.left(4)));
    const qint32 recorded = readRecordedLength(bytes.left(kVoxHeaderSize));
    const QByteArray header = composeWaveHeader(qint64(size));
    if (qint64(size) < kVoxHeaderSize ? !header.isEmpty() : header.size() != kWaveHeaderSize)
        fuzz::fail("wave header size");
    if (!header.isEmpty() &&
        qFromLittleEndian<quint32>(header.constData() + 56) != quint32(size - kVoxHeaderSize))
        fuzz::fail("wave data size");

    const QString source = QString::fromStdString(fuzz::writeScratchFile("in.dvi", data, size));
    const QString destination = QString::fromStdString(fuzz::scratchFolder() + "/out.wav");
    QFile::remove(destination);
    QString error;
    // Small pieces, so that the piece loop is walked too.
    const bool ok = writeVoxWave(source, destination, {}, 97, &error);
    const bool fits = qint64(size) >= kVoxHeaderSize && qint64(size) >= qint64(recorded);
    if (ok != fits)
        fuzz::fail("refusal does not match the header and length checks");
    if (ok && QFileInfo(destination).size() != kWaveHeaderSize + qint64(size) - kVoxHeaderSize)
        fuzz::fail("converted size");
    if (!ok && QFileInfo::exists(destination))
        fuzz::fail("a refused conversion left a destination");
    return 0;
}
