#include "pedal_test.h"

#include "pedal_devices.h"
#include "pedal_learning.h"
#include "pedal_models.h"
#include "settings.h"
#include "user_prompts.h"

#include <QDebug>
#include <QFileInfo>

namespace velloran {

PedalTest::PedalTest(SerialPedalPort& serial, GamePortPedal& gamePort, UserPrompts& prompts,
                     const QString& appDir, QObject* parent)
    : QObject(parent), serial_(serial), gamePort_(gamePort), prompts_(prompts), appDir_(appDir) {
    while (appDir_.endsWith(QLatin1Char('/')))
        appDir_.chop(1);
    connect(&serial_, &SerialPedalPort::commEvent, this, &PedalTest::onSerialEvent);
    connect(&gamePort_, &GamePortPedal::buttonDown, this,
            [this](int code) { onButton(code, true); });
    connect(&gamePort_, &GamePortPedal::buttonUp, this,
            [this](int code) { onButton(code, false); });
}

PedalTest::~PedalTest() {
    close();
}

void PedalTest::setUsbPedal(UsbPedal* usb, PedalModelTable* models) {
    usb_ = usb;
    models_ = models;
    learning_.reset();
    if (!usb_)
        return;
    connect(usb_, &UsbPedal::pedalDown, this, [this](int pedal) { show(pedal, true); });
    connect(usb_, &UsbPedal::pedalUp, this, [this](int pedal) { show(pedal, false); });
    // Unplugged: nothing shows pressed any more.
    connect(usb_, &UsbPedal::deviceLost, this, [this] {
        pressed_ = {};
        emit changed();
    });
    if (models_)
        learning_ = std::make_unique<PedalLearning>(*usb_, *models_);
}

bool PedalTest::canLearn() const {
    return learning_ && usb_->isEnabled();
}

void PedalTest::applyLearned() {
    if (!usb_)
        return;
    // Re-opening reads the model anew (and grabs a keyboard pedal).
    usb_->setEnabled(false);
    usb_->setEnabled(true);
    pressed_ = {};
    emit changed();
}

QString PedalTest::picturePath(int pedal) const {
    return appDir_ +
           QStringLiteral("/bitmap/pedal%1%2.bmp")
               .arg(pedal)
               .arg(pressed_.at(pedal - 1) ? QStringLiteral("down") : QStringLiteral("up"));
}

bool PedalTest::checkPort(const QString& portText) {
    QString error;
    bool opened = true;
    const PortChoice usbChoice = parsePortText(portText);
    if (portText == QLatin1String("Game Port")) {
        gamePort_.setEnabled(true);
    } else if (usbChoice.kind == PortChoice::Usb) {
        // Unlike the game port, a USB pedal that cannot be opened (absent, or
        // no permission) is reported: the typist is testing that very thing.
        if (usb_) {
            usb_->setDeviceId(usbChoice.usbId);
            usb_->setEnabled(true);
            opened = usb_->isAttached();
            error = usb_->lastError();
        } else {
            opened = false;
            error = portText + QStringLiteral(": no USB pedal support");
        }
    } else {
        const PortChoice choice = parsePortText(portText);
        if (choice.kind == PortChoice::Serial && !choice.devicePath.isEmpty()) {
            serial_.setDevicePath(choice.devicePath);
        } else {
            // "COMn" keeps its last character; a longer number (COM10) reads as
            // no port, and so does anything that is not a number.
            const QString digit =
                portText.startsWith(QLatin1String("COM")) ? portText.right(1) : portText;
            // Refused here rather than left to the device, which may map a
            // port number below 1 to some path of its own.
            const auto number = parseWholeNumber(digit);
            if (number && *number >= 1) {
                serial_.setCommPort(*number);
            } else {
                opened = false;
                error = portText + QStringLiteral(": no such port");
            }
        }
        if (opened)
            opened = serial_.setPortOpen(true, &error);
    }
    pressed_ = {};
    pedalDown_ = 0;
    for (int pedal = 1; opened && pedal <= 3; ++pedal) {
        if (!QFileInfo::exists(picturePath(pedal))) {
            opened = false;
            error = picturePath(pedal) + QStringLiteral(": missing");
        }
    }
    if (!opened) {
        qWarning().noquote() << "pedal test:" << error;
        prompts_.showError(badPortMessage());
        close();
        return false;
    }
    emit changed();
    return true;
}

void PedalTest::close() {
    if (closed_)
        return;
    closed_ = true;
    if (learning_)
        learning_->cancel();
    serial_.setPortOpen(false);
    gamePort_.setEnabled(false);
    if (usb_)
        usb_->setEnabled(false);
}

void PedalTest::onSerialEvent() {
    if (pedalDown_ == 0) {
        if (serial_.cdHolding())
            pedalDown_ = 1;
        else if (serial_.dsrHolding())
            pedalDown_ = 2;
        else if (serial_.ctsHolding())
            pedalDown_ = 3;
        if (pedalDown_ != 0)
            show(pedalDown_, true);
    }
    if ((pedalDown_ == 1 && !serial_.cdHolding()) || (pedalDown_ == 2 && !serial_.dsrHolding()) ||
        (pedalDown_ == 3 && !serial_.ctsHolding())) {
        show(pedalDown_, false);
        pedalDown_ = 0;
    }
}

void PedalTest::onButton(int code, bool down) {
    if (const int pedal = pedalOfButton(code))
        show(pedal, down);
}

void PedalTest::show(int pedal, bool down) {
    // A fourth pedal has no action, so nothing to show either.
    if (pedal < 1 || pedal > static_cast<int>(pressed_.size()))
        return;
    pressed_[static_cast<std::size_t>(pedal - 1)] = down;
    emit changed();
}

} // namespace velloran
