#pragma once

#include <QObject>

#include <chrono>
#include <functional>

namespace velloran {

class CommandGate;
class Player;

/// The foot pedal: turns presses of the serial or joystick pedal into the
/// pedal actions (Forward, Rewind, Play) on the player's engine.
///
/// Forward and Rewind jump by the large skip, wait a second (window events
/// keep running), then keep moving while the pedal is held. The hold loop lets
/// no window events run; it polls the device itself, and refreshes the
/// position display through holdRefresh now and then instead.
class PedalController : public QObject {
    Q_OBJECT
public:
    enum class Device { Serial, GamePort, Usb };

    /// Connects to the player's pedal devices (the USB pedal too, when the
    /// player has one).
    explicit PedalController(Player& player, QObject* parent = nullptr);

    /// The serial port's communication event: takes one press (CD, DSR, CTS in
    /// that order) while no pedal is in hand, and the release of the pedal in hand.
    void onSerialEvent();
    /// The pedal action for a serial pedal (1..3).
    void pedalPressed(int pedal);
    /// The joystick pedal's button events (codes 2, 4, 3 are pedals 1, 2, 3).
    void onGameButtonDown(int code);
    void onGameButtonUp(int code);
    /// The USB pedal's events, by pedal number (1 left, 2 middle, 3 right).
    void onUsbPedalDown(int pedal);
    void onUsbPedalUp(int pedal);

    /// Distance of one hold pass: the length, to whole seconds, / 3200.
    double holdStep() const;

    /// Shortest time one hold pass takes. Without it a hold on a fast engine
    /// would cross a whole dictation in well under a second; with 3 ms the
    /// 3200 passes take about ten seconds whatever the length.
    std::chrono::microseconds minimumPass{3000};
    /// The one-second wait of a pedal action (tests replace it).
    std::function<void(double seconds)> delay;
    /// Shows the position during a hold: run about every holdRefreshPeriod
    /// and once when the hold ends. It must not run window events. The
    /// default refreshes the player's display state; a window that only
    /// paints from its event loop adds a direct repaint.
    std::function<void()> holdRefresh;
    std::chrono::milliseconds holdRefreshPeriod{50};

    /// Passes made by the last hold (for measurements).
    long lastHoldPasses() const { return lastHoldPasses_; }

    /// Pedal presses that come while a conversion runs are dropped.
    void setGate(CommandGate* gate) { gate_ = gate; }

private:
    void pedalAction(int pedal, Device device, double step);
    bool held(int pedal, Device device) const;
    void endOfPass(int pedal, int action, Device device);

    Player& player_;
    CommandGate* gate_ = nullptr;
    long lastHoldPasses_ = 0;
};

} // namespace velloran
