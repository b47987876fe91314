#include "settings_panel.h"

#include "pedal_devices.h"
#include "player.h"
#include "settings.h"
#include "settings_store.h"

#include <QDebug>
#include <QDir>

namespace velloran {

QStringList SettingsPanel::pedalItems() {
    return {QStringLiteral("Forward"), QStringLiteral("Play"), QStringLiteral("Rewind")};
}

int SettingsPanel::pedalCodeOfItem(int index) {
    static constexpr int kCodes[3] = {PedalForward, PedalPlay, PedalRewind};
    return index >= 0 && index < 3 ? kCodes[index] : 0;
}

int SettingsPanel::pedalItemOfCode(int code) {
    switch (code) {
    case PedalForward:
        return 0;
    case PedalPlay:
        return 1;
    case PedalRewind:
        return 2;
    default:
        return -1;
    }
}

QStringList SettingsPanel::skipItems() {
    QStringList items;
    for (int i = 1; i <= 10; ++i)
        items << QString::number(i);
    return items;
}

QStringList SettingsPanel::portItems(const QString& deviceFolder) {
    QStringList items = {QStringLiteral("Game Port"), QStringLiteral("COM1"),
                         QStringLiteral("COM2"), QStringLiteral("COM3"), QStringLiteral("COM4")};
    const QDir dev(deviceFolder);
    const QStringList adapters =
        dev.entryList({QStringLiteral("ttyUSB*"), QStringLiteral("ttyACM*")},
                      QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : adapters)
        items << dev.filePath(name);
    return items;
}

QString SettingsPanel::duplicatePedalsMessage() {
    return QStringLiteral("Invalid footpedal settings. Please verify.");
}

QString SettingsPanel::badPortMessage() {
    return QStringLiteral("Inavalid Port or Port not responding.");
}

QString SettingsPanel::folderPrompt() {
    return QStringLiteral("Please choose the default wave folder");
}

SettingsPanel::SettingsPanel(Player& player, QObject* parent) : QObject(parent), player_(player) {
    ports = presentPorts();
}

QStringList SettingsPanel::presentPorts() const {
    QStringList items = portItems();
    if (const UsbPedal* usb = player_.usbPedal())
        items << usb->presentPorts();
    return items;
}

void SettingsPanel::fill() {
    SettingsStore& store = player_.store();
    wavePath = store.read(keys::WavePath);

    ports = presentPorts();
    QString port = store.read(keys::PortId);
    // A USB pedal is known by its id: its name in the list may have changed
    // since (a learned model), or the store may hold a hand-written id.
    if (const PortChoice stored = parsePortText(port); stored.kind == PortChoice::Usb) {
        for (const QString& item : std::as_const(ports))
            if (parsePortText(item).usbId == stored.usbId)
                port = item;
    }
    // A stored port the list does not offer (COM7, an adapter unplugged for
    // now) is still shown, so that OK does not silently replace it.
    if (!port.isEmpty() && !ports.contains(port))
        ports << port;
    if (ports.contains(port))
        portText = port;

    // The lists only take their own items. A stored value they cannot show
    // (a skip of 12, a step back of 2.5 put in the store by hand) leaves the
    // list with nothing chosen, and OK then keeps the stored value instead
    // of saving a stale choice or 0 over it.
    const QStringList skips = skipItems();
    const auto pick = [&](QString& box, const QString& text) {
        box = skips.contains(text) ? text : QString();
    };
    pick(largeText, numberText(roundHalfEven(leadingNumber(store.read(keys::LargeChange)))));
    pick(smallText, numberText(roundHalfEven(leadingNumber(store.read(keys::SmallChange)))));
    pick(stepBackText, store.read(keys::RewVal));

    // Exclusive options: choosing one clears the other, so the later one set
    // wins; a key that does not read as a Boolean changes neither. Otherwise a
    // stored "Start Stop" with an unreadable "Play Press" would show (and on
    // OK save) "Press to Play" while the pedals run in "Start Stop".
    if (const auto toggle = parseBool(store.read(keys::PlayToggle))) {
        startStop = *toggle;
        if (*toggle)
            pressToPlay = false;
    }
    if (const auto press = parseBool(store.read(keys::PlayPress))) {
        pressToPlay = *press;
        if (*press)
            startStop = false;
    }
    if (!pressToPlay && !startStop)
        pressToPlay = true;

    for (int i = 0; i < 3; ++i) {
        const int item = pedalItemOfCode(player_.state().pedalAction[i]);
        if (item >= 0)
            pedalIndex[i] = item;
    }
    isOpen = true;
    emit changed();
}

void SettingsPanel::apply() {
    SettingsStore& store = player_.store();
    store.write(keys::WavePath, wavePath);
    store.write(keys::PortId, portText);
    const auto writeSkip = [&](const QString& key, const QString& box) {
        if (!box.isEmpty())
            store.write(key, numberText(leadingNumber(box)));
    };
    writeSkip(keys::LargeChange, largeText);
    writeSkip(keys::SmallChange, smallText);
    writeSkip(keys::RewVal, stepBackText);
    store.write(keys::PlayPress, boolText(pressToPlay));
    store.write(keys::PlayToggle, boolText(startStop));
    for (int i = 0; i < 3; ++i) {
        // A list with nothing chosen has no code: that pedal keeps its stored action.
        if (pedalIndex[i] >= 0)
            store.write(kPedalKeys[i], QString::number(pedalCodeOfItem(pedalIndex[i])));
    }

    PlayerState& state = player_.state();
    loadPedalActions(store, state);
    const auto takeSkip = [](double& skip, const QString& box) {
        if (!box.isEmpty())
            skip = leadingNumber(box);
    };
    takeSkip(state.largeSkip, largeText);
    takeSkip(state.smallSkip, smallText);
    takeSkip(state.stepBack, stepBackText);
    state.toggleMode = startStop;
}

void SettingsPanel::portPicked(const QString& text) {
    portText = text;
    testEnabled = true;
    emit changed();
}

bool SettingsPanel::ok() {
    const QStringList items = pedalItems();
    const auto shown = [&](int i) {
        return pedalIndex[i] >= 0 ? items[pedalIndex[i]] : QString();
    };
    if (shown(0) == shown(1) || shown(0) == shown(2) || shown(1) == shown(2)) {
        player_.prompts().showError(duplicatePedalsMessage());
        return false;
    }

    SettingsStore& store = player_.store();
    const QString previousPort = store.read(keys::PortId);
    apply();

    QString error;
    if (!player_.selectPedalDevice(store.read(keys::PortId), &error)) {
        qWarning().noquote() << "pedal port:" << error;
        player_.prompts().showError(badPortMessage());
        portText = previousPort;
        store.write(keys::PortId, portText);
        emit changed();
        return false;
    }
    close();
    return true;
}

void SettingsPanel::cancel() {
    close();
    // Both devices come on, whichever port is stored: the panel closed the
    // serial port and the test may have switched the game port off.
    player_.serialPort().setPortOpen(true);
    player_.gamePort().setEnabled(true);
    // The USB pedal only when it is the stored port: a keyboard pedal is
    // grabbed while on, and would swallow its keys under another port.
    UsbPedal* usb = player_.usbPedal();
    const PortChoice stored = parsePortText(player_.store().read(keys::PortId));
    if (usb && stored.kind == PortChoice::Usb) {
        usb->setDeviceId(stored.usbId);
        usb->setEnabled(true);
    }
}

void SettingsPanel::close() {
    testEnabled = false;
    isOpen = false;
    player_.closeSettingsPanel(kClosedHeightTwips);
    emit changed();
}

void SettingsPanel::test() {
    // The test opens the pedal itself (and a keyboard pedal's grab is exclusive).
    if (UsbPedal* usb = player_.usbPedal())
        usb->setEnabled(false);
    player_.gamePort().setEnabled(false);
    player_.serialPort().setPortOpen(false);
    emit testRequested(portText);
}

void SettingsPanel::browse() {
    const QString folder = player_.prompts().chooseFolder(
        folderPrompt(), QDir::homePath() + QStringLiteral("/Desktop"));
    if (folder.isEmpty())
        return;
    wavePath = folder;
    emit changed();
}

} // namespace velloran
