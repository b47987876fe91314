// The evdev record decoder and the game-port pedal on arbitrary device output. The
// decoder gives the same key changes however the stream is cut into reads; the game port
// (over a pipe, so a stream without a device to ask) presses and releases only buttons it
// numbers, alternately, and once the device reports every button up nothing is held.
#include "devices/evdev_game_port.h"
#include "fuzz_support.h"

#include <QCoreApplication>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <map>

using namespace velloran;
using namespace velloran::devices;

namespace {

void send(int fd, const void* bytes, std::size_t size) {
    if (::write(fd, bytes, size) != ssize_t(size))
        fuzz::fail("writing the device's end");
}

void sendRecord(int fd, int type, int code, int value) {
    input_event ev{};
    ev.type = static_cast<__u16>(type);
    ev.code = static_cast<__u16>(code);
    ev.value = value;
    send(fd, &ev, sizeof ev);
}

// Runs the event loop until the reader has taken everything written.
void settle(int readEnd) {
    for (int round = 0; round < 100; ++round) {
        QCoreApplication::processEvents();
        int waiting = 0;
        if (::ioctl(readEnd, FIONREAD, &waiting) == 0 && waiting == 0) {
            QCoreApplication::processEvents();
            return;
        }
    }
    fuzz::fail("the game port does not read its device");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static int argc = 1;
    static char name[] = "fuzz_evdev_events";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    if (size == 0)
        return 0;
    // The first byte sets where the stream is cut.
    const std::size_t cut = data[0] % 64 + 1;
    ++data, --size;
    const char* bytes = reinterpret_cast<const char*>(data);

    InputEventDecoder whole;
    const InputEventDecoder::Result once = whole.feed(bytes, size);
    InputEventDecoder pieces;
    InputEventDecoder::Result inPieces;
    for (std::size_t at = 0; at < size; at += cut) {
        InputEventDecoder::Result r = pieces.feed(bytes + at, std::min(cut, size - at));
        inPieces.changes.insert(inPieces.changes.end(), r.changes.begin(), r.changes.end());
        inPieces.resync = inPieces.resync || r.resync;
    }
    if (once.changes != inPieces.changes || once.resync != inPieces.resync)
        fuzz::fail("the changes depend on where the stream is cut");
    if (once.changes.size() > size / sizeof(input_event))
        fuzz::fail("more changes than records");

    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        fuzz::fail("pipe");
    UniqueFd writer(fds[1]);
    const int readEnd = fds[0];
    EvdevGamePort port(EvdevGamePort::Opener([readEnd](QString*) {
        return EvdevGamePort::Device{UniqueFd(readEnd), QStringLiteral("pipe")};
    }));
    const ButtonMap map = ButtonMap::standard();
    std::map<int, bool> held;
    const auto change = [&](int button, bool down) {
        if (button < 1 || button > map.count())
            fuzz::fail("a button the device does not have");
        if (held[button] == down)
            fuzz::fail("two presses or two releases of a button in a row");
        held[button] = down;
    };
    QObject::connect(&port, &GamePortPedal::buttonDown, [&](int b) { change(b, true); });
    QObject::connect(&port, &GamePortPedal::buttonUp, [&](int b) { change(b, false); });
    port.setEnabled(true);

    for (std::size_t at = 0; at < size; at += cut) {
        send(writer.get(), bytes + at, std::min(cut, size - at));
        settle(readEnd);
        // The events of a read are delivered after it, so they agree with the held state
        // once delivered.
        for (int button = 1; button <= map.count(); ++button)
            if (port.buttonHeld(button) != held[button])
                fuzz::fail("press events disagree with the held state");
    }
    // Whole records from here on, a report ending any loss, then every button up.
    const char zeros[sizeof(input_event)] = {};
    send(writer.get(), zeros,
         (sizeof(input_event) - size % sizeof(input_event)) % sizeof(input_event));
    sendRecord(writer.get(), EV_SYN, SYN_REPORT, 0);
    for (int button = 1; button <= map.count(); ++button)
        sendRecord(writer.get(), EV_KEY, map.keyCode(button), 0);
    settle(readEnd);
    for (int button = 1; button <= map.count(); ++button)
        if (port.buttonHeld(button) || held[button])
            fuzz::fail("a button stays held after the device let go of it");
    return 0;
}
