// The wave chunk walker on arbitrary first bytes of a file: it reads nothing past them
// (the input is an exact heap block), a Dialogic verdict points at a format tag 0x0100 of
// a "fmt " chunk inside what was read, and the verdict depends only on the bytes up to
// that tag: more bytes after it change nothing, fewer lose it.
#include "engine/media_source.h"
#include "fuzz_support.h"

#include <cstring>
#include <memory>

using namespace velloran::engine;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A copy of exactly this size, so that a read past it is an overflow.
    const auto head = std::make_unique<char[]>(size);
    if (size)
        std::memcpy(head.get(), data, size);
    const QByteArrayView view(head.get(), qsizetype(size));
    const SourceProbe probe = probeSource(view);

    const auto startsWith = [&](const char* id, std::size_t at = 0) {
        return at + 4 <= size && std::memcmp(data + at, id, 4) == 0;
    };
    switch (probe.kind) {
    case SourceKind::Midi:
        if (!startsWith("MThd") || probe.formatTagOffset != -1)
            velloran::fuzz::fail("a MIDI verdict without its signature");
        return 0;
    case SourceKind::Plain:
        if (probe.formatTagOffset != -1)
            velloran::fuzz::fail("a tag offset for a plain file");
        if (startsWith("MThd"))
            velloran::fuzz::fail("a MIDI signature taken as plain");
        return 0;
    case SourceKind::DialogicWav:
        break;
    default:
        velloran::fuzz::fail("an unknown verdict");
    }

    const qint64 tag = probe.formatTagOffset;
    if (!startsWith("RIFF") || !startsWith("WAVE", 8))
        velloran::fuzz::fail("a Dialogic verdict without RIFF/WAVE");
    if (tag < 20 || std::size_t(tag) + 2 > size || (tag - 20) % 2 != 0)
        velloran::fuzz::fail("a tag offset outside the bytes read");
    if (!startsWith("fmt ", std::size_t(tag - 8)) || data[tag] != 0x00 || data[tag + 1] != 0x01)
        velloran::fuzz::fail("the tag offset names no Dialogic tag of a fmt chunk");

    // Bytes beyond the tag do not matter; without the tag's last byte it is not found.
    const SourceProbe upToTag = probeSource(view.first(tag + 2));
    if (upToTag.kind != SourceKind::DialogicWav || upToTag.formatTagOffset != tag)
        velloran::fuzz::fail("the verdict depends on bytes after the tag");
    const SourceProbe cut = probeSource(view.first(tag + 1));
    if (cut.kind != SourceKind::Plain)
        velloran::fuzz::fail("a tag found without its bytes");
    return 0;
}
