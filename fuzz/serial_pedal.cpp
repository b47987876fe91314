// The serial pedal's decoding of modem-line changes (CD, DSR, CTS) into presses, over a
// player on fakes. The lines take the input's states one by one, moving on at every read
// of a line, so that they change at any point of a press, its first second or a hold;
// communication events come between states and inside the first second as the event loop
// would bring them. Properties: the pedal in hand is always 0..3, and once every line is
// down the press ends: the hold returns and no pedal is in hand.
#include "core/pedal_controller.h"
#include "fakes/player_rig.h"
#include "fuzz_support.h"

#include <QCoreApplication>

using namespace velloran;
using namespace velloran::testing;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static int argc = 1;
    static char name[] = "fuzz_serial_pedal";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);

    PlayerRig rig;
    rig.loadWithFile(3200);
    if (!rig.player.selectPedalDevice(QStringLiteral("COM1")))
        fuzz::fail("the serial pedal did not open");
    PedalController pedals(rig.player);
    pedals.minimumPass = std::chrono::microseconds(0);
    pedals.holdRefresh = nullptr;

    std::size_t next = 0;
    // Bits 0..2: CD, DSR, CTS; bit 3: a communication event inside the first second.
    const auto advance = [&] {
        const PlayerState& s = rig.player.state();
        if (s.heldPedal < 0 || s.heldPedal > 3)
            fuzz::fail("a pedal in hand other than 0..3");
        const std::uint8_t state = next < size ? data[next] : 0;
        next += next < size;
        rig.serial.cd = state & 1;
        rig.serial.dsr = state & 2;
        rig.serial.cts = state & 4;
    };
    int nested = 0;
    pedals.delay = [&](double) {
        // A first second in which the lines change again, as the event loop would report.
        if (nested < 4 && next < size && (data[next] & 8)) {
            ++nested;
            pedals.onSerialEvent();
            --nested;
        }
    };
    rig.serial.onLineRead = advance;

    while (next < size)
        pedals.onSerialEvent();
    // Every line down now: one more event takes the release.
    pedals.onSerialEvent();
    const PlayerState& s = rig.player.state();
    if (s.heldPedal != 0)
        fuzz::fail("a pedal stays in hand after every line went down");
    rig.serial.onLineRead = nullptr;
    return 0;
}
