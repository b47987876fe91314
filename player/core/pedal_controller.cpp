#include "pedal_controller.h"

#include "command_gate.h"
#include "media_engine.h"
#include "pedal_devices.h"
#include "player.h"
#include "settings.h"

#include <thread>

namespace velloran {

namespace {
using Clock = std::chrono::steady_clock;
}

PedalController::PedalController(Player& player, QObject* parent)
    : QObject(parent), delay(&Player::delay), holdRefresh([&player] { player.posChange(); }),
      player_(player) {
    connect(&player_.serialPort(), &SerialPedalPort::commEvent, this,
            &PedalController::onSerialEvent);
    connect(&player_.gamePort(), &GamePortPedal::buttonDown, this,
            &PedalController::onGameButtonDown);
    connect(&player_.gamePort(), &GamePortPedal::buttonUp, this, &PedalController::onGameButtonUp);
    if (UsbPedal* usb = player_.usbPedal()) {
        connect(usb, &UsbPedal::pedalDown, this, &PedalController::onUsbPedalDown);
        connect(usb, &UsbPedal::pedalUp, this, &PedalController::onUsbPedalUp);
    }
}

double PedalController::holdStep() const {
    return roundHalfEven(player_.engine().selectionEnd()) * 0.01 / 32.0;
}

void PedalController::onSerialEvent() {
    PlayerState& s = player_.state();
    SerialPedalPort& port = player_.serialPort();
    if (s.heldPedal == 0) {
        int pedal = 0;
        if (port.cdHolding())
            pedal = 1;
        else if (port.dsrHolding())
            pedal = 2;
        else if (port.ctsHolding())
            pedal = 3;
        if (pedal != 0) {
            s.pedalReleased = false;
            s.heldPedal = pedal;
            pedalPressed(pedal);
        }
    }
    // A hold ends inside pedalPressed(), whose passes call this handler; by
    // now the release may already have been taken.
    if ((s.heldPedal == 1 && !port.cdHolding()) || (s.heldPedal == 2 && !port.dsrHolding()) ||
        (s.heldPedal == 3 && !port.ctsHolding())) {
        s.pedalReleased = true;
        s.heldPedal = 0;
    }
}

void PedalController::pedalPressed(int pedal) {
    pedalAction(pedal, Device::Serial, holdStep());
}

void PedalController::onGameButtonDown(int code) {
    const double step = holdStep();
    if (const int pedal = pedalOfButton(code))
        pedalAction(pedal, Device::GamePort, step);
}

void PedalController::onGameButtonUp(int /*code*/) {
    player_.state().pedalReleased = true;
}

void PedalController::onUsbPedalDown(int pedal) {
    pedalAction(pedal, Device::Usb, holdStep());
}

void PedalController::onUsbPedalUp(int /*pedal*/) {
    player_.state().pedalReleased = true;
}

bool PedalController::held(int pedal, Device device) const {
    if (device == Device::Serial) {
        // The release flag is shared by all pedals: a press taken while this
        // one was up again (nested in its first second) clears it, but must
        // not restart this pedal's hold.
        const PlayerState& s = player_.state();
        return !s.pedalReleased && s.heldPedal == pedal;
    }
    // An unplugged or switched-off device reads as released, so the hold ends.
    if (device == Device::Usb) {
        const UsbPedal* usb = player_.usbPedal();
        return usb && usb->isEnabled() && usb->pedalHeld(pedal);
    }
    const GamePortPedal& pad = player_.gamePort();
    return pad.isEnabled() && pad.buttonHeld(buttonOfPedal(pedal));
}

void PedalController::endOfPass(int pedal, int action, Device device) {
    if (device == Device::Serial) {
        onSerialEvent();
        // A port that went away (or was closed) cannot report the release,
        // and may never report a change again: back to idle, so that the
        // next press on a reopened port is taken.
        if (!player_.serialPort().portOpen()) {
            player_.state().pedalReleased = true;
            player_.state().heldPedal = 0;
        }
    } else if (device == Device::GamePort && pedal == 3 && action == PedalRewind) {
        delay(1.0);
    }
}

void PedalController::pedalAction(int pedal, Device device, double step) {
    if (pedal < 1 || pedal > 3 || (gate_ && gate_->dropPedal()))
        return;
    const int action = player_.state().pedalAction[pedal - 1];
    MediaEngine& engine = player_.engine();

    if (action != PedalPlay && player_.state().toggleMode)
        engine.pause();

    const auto refresh = [this] {
        if (holdRefresh)
            holdRefresh();
    };
    const auto hold = [&](const std::function<void()>& move) {
        lastHoldPasses_ = 0;
        auto nextRefresh = Clock::now() + holdRefreshPeriod;
        while (held(pedal, device)) {
            const auto passEnd = Clock::now() + minimumPass;
            move();
            ++lastHoldPasses_;
            endOfPass(pedal, action, device);
            // No event processing here (a queued event could start a nested
            // action); the display is refreshed directly, by the clock rather
            // than per pass, as a pass can take microseconds.
            if (const auto now = Clock::now(); now >= nextRefresh) {
                refresh();
                nextRefresh = now + holdRefreshPeriod;
            }
            std::this_thread::sleep_until(passEnd);
        }
        // The final position at once, not after the engine's queued events.
        refresh();
    };

    switch (action) {
    case PedalForward: {
        // At exactly the end the pedal still moves on (the toolbar's rule does not).
        const auto forward = [&](double by) {
            if (engine.selectionEnd() >= engine.currentPosition())
                engine.setCurrentPosition(engine.currentPosition() + by);
        };
        forward(player_.state().largeSkip);
        delay(1.0);
        hold([&] { forward(step); });
        break;
    }
    case PedalRewind:
        player_.rewindRule(player_.state().largeSkip);
        delay(1.0);
        hold([&] { player_.rewindRule(step); });
        break;
    case PedalPlay:
        if (engine.currentState() == MediaEngine::Running) {
            engine.pause();
        } else {
            engine.setCurrentPosition(engine.currentPosition() - player_.state().stepBack);
            engine.run();
        }
        break;
    default:
        break;
    }
}

} // namespace velloran
