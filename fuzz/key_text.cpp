// Key texts as a hand-edited settings file may hold them: a text read as a key writes
// back as the same key, and every key read has a keysym to grab and a trigger for the
// desktop's shortcut portal.
#include "core/key_chord.h"
#include "fuzz_support.h"

#include <cstdint>

using namespace velloran;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const std::optional<KeyChord> chord = KeyChord::fromText(text);
    if (!chord)
        return 0;
    if (!KeyChord::isBindableKey(chord->key) || (chord->modifiers & ~KeyChord::kBindable))
        fuzz::fail("a key read that cannot be bound");
    if (KeyChord::fromText(chord->text()) != chord)
        fuzz::fail("a key does not read back from its own text");
    if (chord->keysym() == 0 || chord->portalTrigger().isEmpty())
        fuzz::fail("a key without a keysym or a portal trigger");
    return 0;
}
