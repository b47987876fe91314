// The Standard MIDI file reader on arbitrary bytes: a file it takes has a finite, positive
// length, and its events come in time order and end at that length.
#include "engine/midi_file.h"
#include "fuzz_support.h"

#include <cmath>

using namespace velloran::engine;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const std::optional<MidiFile> midi = MidiFile::parse(bytes);
    if (!midi)
        return 0;
    if (!(midi->seconds() > 0) || !std::isfinite(midi->seconds()))
        velloran::fuzz::fail("length");
    double last = 0;
    const bool whole = midi->play([&last](const MidiEvent& e) {
        if (e.seconds < last)
            velloran::fuzz::fail("events out of time order");
        last = e.seconds;
        return true;
    });
    if (!whole || last != midi->seconds())
        velloran::fuzz::fail("the events end elsewhere than the length");
    return 0;
}
