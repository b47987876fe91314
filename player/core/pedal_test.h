#pragma once

#include <QObject>
#include <QString>

#include <array>
#include <memory>

namespace velloran {

class GamePortPedal;
class PedalLearning;
class PedalModelTable;
class SerialPedalPort;
class UsbPedal;
class UserPrompts;

/// The pedal test: opens the port chosen in the settings panel on its own
/// pair of devices and shows which pedal is down, so the typist can see that
/// the pedal answers on that port and which pedal is which.
class PedalTest : public QObject {
    Q_OBJECT
public:
    static QString message() { return QStringLiteral("Please press the foot pedal buttons"); }
    static QString badPortMessage() {
        return QStringLiteral("Inavalid Port or Port not responding");
    }

    /// @p appDir holds bitmap/ with the pedal pictures.
    PedalTest(SerialPedalPort& serial, GamePortPedal& gamePort, UserPrompts& prompts,
              const QString& appDir, QObject* parent = nullptr);
    ~PedalTest() override;

    /// The test's own USB pedal and the models learning adds to; set before
    /// checkPort(). Without them a USB port text fails like a missing port.
    void setUsbPedal(UsbPedal* usb, PedalModelTable* models);

    /// Opens @p portText ("Game Port", "COMn" or a device path) and shows the
    /// released pictures. On failure shows the port message and returns false:
    /// the dialog is then to close.
    bool checkPort(const QString& portText);
    /// Closes the devices (Exit, or the dialog going away).
    void close();

    /// Whether pedal 1..3 shows pressed.
    bool pressed(int pedal) const { return pressed_.at(pedal - 1); }
    /// The picture pedal 1..3 shows now.
    QString picturePath(int pedal) const;
    /// The serial pedal shown pressed (0 none).
    int pedalDown() const { return pedalDown_; }

    /// Learning a USB pedal: available once a USB pedal is open.
    bool canLearn() const;
    /// Null unless canLearn().
    PedalLearning* learning() { return learning_.get(); }
    /// Learning is done: the new model is put to use on the open pedal.
    void applyLearned();

signals:
    void changed();

private:
    void onSerialEvent();
    void onButton(int code, bool down);
    void show(int pedal, bool down);

    SerialPedalPort& serial_;
    GamePortPedal& gamePort_;
    UsbPedal* usb_ = nullptr;
    PedalModelTable* models_ = nullptr;
    std::unique_ptr<PedalLearning> learning_;
    UserPrompts& prompts_;
    QString appDir_;
    std::array<bool, 3> pressed_{};
    int pedalDown_ = 0;
    bool closed_ = false;
};

} // namespace velloran
