#include "composition.h"

#include "convert/file_converter.h"
#include "convert/vox_converter.h"
#include "core/command_gate.h"
#include "core/compact_layout.h"
#include "core/hot_keys.h"
#include "core/library_wiring.h"
#include "core/media_remote.h"
#include "core/pedal_controller.h"
#include "core/pedal_models.h"
#include "core/pedal_test.h"
#include "core/player.h"
#include "core/settings.h"
#include "core/settings_panel.h"
#include "core/settings_store.h"
#include "core/timestamps.h"
#include "core/volume_control.h"
#include "devices/linux_pedal_devices.h"
#include "engine/mpv_engine.h"
#include "gui/about_dialog.h"
#include "gui/conversion_window.h"
#include "gui/desktop_text.h"
#include "gui/keys_dialog.h"
#include "gui/main_window.h"
#include "gui/popup_hot_keys.h"
#include "gui/port_test_dialog.h"
#include "gui/qt_user_prompts.h"
#include "gui/settings_panel_widget.h"
#include "gui/splash_window.h"
#include "gui/window_placement.h"
#include "library/sqlite_dictation_store.h"
#include "mixer/pulse_mixer.h"
#include "recent_menu.h"
#include "remote/mpris_service.h"
#include "session/desktop_session.h"
#include "session/hot_key_sources.h"
#include "session/remote_control.h"
#include "session/xtest_typer.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QFrame>
#include <QLayout>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

namespace velloran {

struct Application::Parts {
    QString appDir;
    QString fileArgument;
    IniSettingsStore store;
    MpvEngine engine;
    std::unique_ptr<PedalModelTable> pedalModels;
    std::unique_ptr<LinuxPedalDeviceFactory> devices;
    std::unique_ptr<SerialPedalPort> serial;
    std::unique_ptr<GamePortPedal> gamePort;
    std::unique_ptr<UsbPedal> usbPedal;
    QtUserPrompts prompts;
    ConversionWindow conversionWindow;
    std::unique_ptr<FileConverter> converter;
    std::unique_ptr<CommandGate> gate;
    std::unique_ptr<GatedConverter> gatedConverter;
    std::unique_ptr<Player> player;
    std::unique_ptr<PedalController> pedals;
    std::unique_ptr<SettingsPanel> panel;
    PulseMixer mixer;
    std::unique_ptr<VolumeControl> volume;
    std::unique_ptr<CompactLayout> compact;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<SplashWindow> splash;
    std::unique_ptr<MediaRemote> remote;
    std::unique_ptr<MprisService> mpris;
    std::unique_ptr<HotKeySource> keySource;
    std::unique_ptr<FocusKeeper> focusKeeper;
    std::unique_ptr<HotKeys> hotKeys;
    std::unique_ptr<PopupHotKeys> popupHotKeys;
    std::unique_ptr<TextTyper> typer;
    QtSelectionSource selection;
    std::unique_ptr<Timestamps> timestamps;
    std::unique_ptr<SqliteDictationStore> libraryStore;
    std::unique_ptr<LibraryWiring> library;
    QString libraryMessage;
};

namespace {
void bringForward(QWidget& window) {
    window.showNormal();
    window.raise();
    window.activateWindow();
}
/// A desktop notification: it tells without taking the keyboard from the
/// program the typist types in, as a message box would.
void notify(const QString& text) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    call << QStringLiteral("Velloran") << 0u << QStringLiteral("velloran")
         << QStringLiteral("Velloran") << text << QStringList() << QVariantMap() << -1;
    if (!QDBusConnection::sessionBus().send(call))
        qWarning("velloran: %s", qUtf8Printable(text));
}

/// Typing on the keyboard reaches X clients only; in a Wayland session the
/// typist's word processor is most likely not one, so the clipboard is used.
std::unique_ptr<TextTyper> makeTextTyper() {
    if (!DesktopSession::current().isWayland() &&
        QGuiApplication::platformName() == QLatin1String("xcb")) {
        auto typer = std::make_unique<XTestTyper>();
        if (typer->isConnected())
            return typer;
    }
    return std::make_unique<ClipboardTyper>(notify);
}
} // namespace

Application::Application(const QString& appDir, const QString& fileArgument)
    : parts_(std::make_unique<Parts>()) {
    Parts& p = *parts_;
    p.appDir = appDir;
    p.fileArgument = fileArgument;
    p.pedalModels = makePedalModelTable(appDir, p.store.filePath());
    p.devices = std::make_unique<LinuxPedalDeviceFactory>(p.store.read(keys::GamePortDevice),
                                                          *p.pedalModels);
    p.serial = p.devices->makeSerialPort();
    p.gamePort = p.devices->makeGamePort();
    p.usbPedal = p.devices->makeUsbPedal();
    p.store.setPrompts(&p.prompts);
    p.player = std::make_unique<Player>(p.engine, p.store, p.prompts, *p.serial, *p.gamePort);
    // Open, the command line and the file manager all reach openChosen(), which
    // converts through this.
    p.converter = std::make_unique<FileConverter>(appDir, p.store, conversionCacheFolder(),
                                                  ConvertedFiles(), &p.conversionWindow);
    // Nothing runs inside a conversion: what comes meanwhile waits at the gate.
    p.gate = std::make_unique<CommandGate>(p.prompts);
    p.gatedConverter = std::make_unique<GatedConverter>(*p.converter, *p.gate);
    p.player->setConverter(p.gatedConverter.get());
    p.player->setUsbPedal(p.usbPedal.get());
    p.pedals = std::make_unique<PedalController>(*p.player);
    p.pedals->setGate(p.gate.get());
    p.panel = std::make_unique<SettingsPanel>(*p.player);
    QObject::connect(p.player.get(), &Player::fillSettingsPanelRequested, p.panel.get(),
                     &SettingsPanel::fill);
    p.window = std::make_unique<MainWindow>(*p.player, appDir);
    p.conversionWindow.setParentWidget(p.window.get());
    auto* panelWidget = new SettingsPanelWidget(*p.panel);
    p.window->panelArea()->layout()->addWidget(panelWidget);
    QObject::connect(panelWidget, &SettingsPanelWidget::keysRequested, p.window.get(),
                     [this] { editKeys(); });
    p.volume = std::make_unique<VolumeControl>(*p.player, p.mixer);
    p.window->attachVolume(*p.volume);
    p.compact = std::make_unique<CompactLayout>(*p.panel);
    p.window->attachCompactLayout(*p.compact);
    QObject::connect(p.panel.get(), &SettingsPanel::testRequested, p.window.get(),
                     [this](const QString& portText) { runPedalTest(portText); });
    p.prompts.setParentWidget(p.window.get());
    // A held pedal keeps the event loop from running, and with it the
    // window's painting: the display is painted directly instead.
    p.pedals->holdRefresh = [this] {
        parts_->player->posChange();
        parts_->window->repaintPosition();
    };
    p.splash = std::make_unique<SplashWindow>(appDir + QStringLiteral("/bitmap/splash.png"));
    p.remote = std::make_unique<MediaRemote>(*p.player);
    p.remote->setGate(p.gate.get());
    p.mpris = std::make_unique<MprisService>(
        *p.remote,
        [this] {
            parts_->window->raise();
            parts_->window->activateWindow();
        },
        [this] { requestClose(); });
    p.keySource = makeHotKeySource(
        QGuiApplication::platformName(), DesktopSession::current(),
        [this](const QStringList& missing) {
            QString text = QStringLiteral(
                "System-wide hot keys are not available on this desktop. The manual explains "
                "how to bind keys to velloran --command.");
            if (!missing.isEmpty())
                text += QStringLiteral(" Not bound: %1.").arg(missing.join(QStringLiteral(", ")));
            QTimer::singleShot(0, parts_->window.get(),
                               [this, text] { parts_->prompts.showMessage(text); });
        });
    p.hotKeys = std::make_unique<HotKeys>(*p.player, *p.keySource);
    p.hotKeys->setBindings(KeyBindings::load(p.store));
    p.typer = makeTextTyper();
    p.timestamps = std::make_unique<Timestamps>(*p.player, p.store, *p.typer, p.selection);
    p.timestamps->nothingFound = [] {
        QApplication::beep();
    };
    p.hotKeys->setHandler(Action::Timestamp, [this] { parts_->timestamps->typeStamp(); });
    p.hotKeys->setHandler(Action::GotoTimestamp, [this] { parts_->timestamps->goToSelected(); });
    p.window->setToolbarTooltips(p.hotKeys->bindings().toolbarTooltips(Player::toolbarTooltips()));
    p.hotKeys->setGate(p.gate.get());
    p.hotKeys->activateMainWindow = [this] {
        bringForward(*parts_->window);
    };
    p.focusKeeper = makeFocusKeeper(QGuiApplication::platformName());
    p.hotKeys->setFocusKeeper(p.focusKeeper.get());
    p.popupHotKeys =
        std::make_unique<PopupHotKeys>(HotKeys::table(p.hotKeys->bindings()), [this](int id) {
            if (parts_->hotKeys->isRegistered())
                parts_->hotKeys->dispatch(id);
        });

    // Without its library the player remembers the last dictation only, as it always did.
    auto opening = SqliteDictationStore::open(SqliteDictationStore::defaultPath());
    p.libraryMessage = opening.message;
    p.libraryStore = std::move(opening.store);
    p.library = std::make_unique<LibraryWiring>(*p.player, p.libraryStore.get());
    p.player->setConverter(p.library->watchConversions(*p.gatedConverter));
    p.hotKeys->setHandler(Action::NextDictation, [this] { parts_->library->openNeighbour(1); });
    p.hotKeys->setHandler(Action::PreviousDictation,
                          [this] { parts_->library->openNeighbour(-1); });
    if (auto* open = p.window->findChild<QAction*>(QStringLiteral("tlbButton1"))) {
        const auto* bar = p.window->findChild<QToolBar*>(QStringLiteral("tlbVelloran"));
        if (auto* button = bar ? qobject_cast<QToolButton*>(bar->widgetForAction(open)) : nullptr) {
            attachRecentMenu(*button, p.library->library(), [this](const QString& path) {
                const auto openIt = [this, path] {
                    parts_->player->openPath(path);
                };
                if (!parts_->gate->holdOpen(openIt))
                    openIt();
            });
        }
    }

    QObject::connect(p.splash.get(), &SplashWindow::handOver, p.window.get(), [this] {
        Parts& q = *parts_;
        q.player->load(q.appDir);
        q.volume->prepare();
        restoreWindowPlace(*q.window, q.store);
        q.window->show();
        q.window->raise();
        // A folder that cannot be written is told now, not when the place is lost.
        q.store.checkWritable();
        tellIfNotOnTop();
        if (!q.libraryMessage.isEmpty()) {
            QTimer::singleShot(0, q.window.get(),
                               [this] { parts_->prompts.showMessage(parts_->libraryMessage); });
        }
        q.mpris->registerOn(QDBusConnection::sessionBus());
        q.hotKeys->registerHotKeys();
        if (!q.fileArgument.isEmpty())
            q.player->openPath(q.fileArgument);
    });
    QObject::connect(p.window.get(), &MainWindow::aboutRequested, p.window.get(), [this] {
        AboutDialog box(parts_->appDir, parts_->window.get());
        box.exec();
    });
    // Closing the main window ends the program at once, splash included.
    p.window->afterUnload = [this] {
        saveWindowPlace(*parts_->window, parts_->store);
        parts_->library->flush();
        parts_->hotKeys->unregisterHotKeys();
        parts_->splash->close();
        QCoreApplication::quit();
    };
}

Application::~Application() = default;

void Application::runPedalTest(const QString& portText) {
    Parts& p = *parts_;
    // The test has its own pair of devices; the player's stay off meanwhile.
    const auto serial = p.devices->makeSerialPort();
    const auto gamePort = p.devices->makeGamePort();
    const auto usb = p.devices->makeUsbPedal();
    PedalTest test(*serial, *gamePort, p.prompts, p.appDir);
    test.setUsbPedal(usb.get(), p.pedalModels.get());
    if (!test.checkPort(portText))
        return;
    PortTestDialog dialog(test, p.window.get());
    dialog.exec();
}

void Application::editKeys() {
    Parts& p = *parts_;
    // Our own grabs would take the keys the typist presses to record them.
    const bool wasRegistered = p.hotKeys->isRegistered();
    p.hotKeys->unregisterHotKeys();
    KeysDialog dialog(
        p.hotKeys->bindings(),
        [this](const KeyChord& key) { return parts_->keySource->isHeldElsewhere(key); },
        p.window.get());
    dialog.setTimestampFormat(
        p.store.readIn(TimestampFormat::kGroup, QStringLiteral("Format")).value_or(QString()));
    if (dialog.exec() == QDialog::Accepted) {
        dialog.bindings().save(p.store);
        const QString format = dialog.timestampFormat();
        p.store.writeIn(TimestampFormat::kGroup, QStringLiteral("Format"),
                        format == TimestampFormat::kDefaultPattern ? std::nullopt
                                                                   : std::optional(format));
        p.hotKeys->setBindings(dialog.bindings());
        p.popupHotKeys->setKeys(HotKeys::table(dialog.bindings()));
        p.window->setToolbarTooltips(dialog.bindings().toolbarTooltips(Player::toolbarTooltips()));
    }
    if (wasRegistered)
        p.hotKeys->registerHotKeys();
}

void Application::attachRemote(RemoteControl& remote) {
    remote.ready = [this] {
        return parts_->player->isLoaded();
    };
    remote.commandRequested = [this](const QString& name) {
        parts_->hotKeys->runCommand(name);
    };
    remote.raiseRequested = [this] {
        if (parts_->player->isLoaded())
            bringForward(*parts_->window);
    };
    remote.openRequested = [this](const QString& path) {
        Parts& q = *parts_;
        if (!q.player->isLoaded()) {
            q.fileArgument = path; // opened once the window has loaded
            return;
        }
        const auto open = [this, path] {
            bringForward(*parts_->window);
            parts_->player->openPath(path);
        };
        // Handed over during a conversion: opened after it, the newest winning.
        if (!q.gate->holdOpen(open))
            open();
    };
}

void Application::start() {
    parts_->splash->start();
}

void Application::tellIfNotOnTop() {
    Parts& p = *parts_;
    // Whoever set QT_QPA_PLATFORM to Wayland chose this; on Xwayland there is nothing to tell.
    const DesktopSession session = DesktopSession::current();
    if (!session.isWayland() || session.platformChosen ||
        !QGuiApplication::platformName().startsWith(QLatin1String("wayland")) ||
        p.store.read(keys::NotOnTopTold) == QLatin1String("True"))
        return;
    p.store.write(keys::NotOnTopTold, QStringLiteral("True"));
    QTimer::singleShot(0, p.window.get(), [this] {
        parts_->prompts.showMessage(QStringLiteral(
            "This desktop lets no program stay above the others, so the player may be covered "
            "by the window you type in. Installing Xwayland lets it stay on top."));
    });
}

void Application::requestClose() {
    Parts& p = *parts_;
    if (p.player->isLoaded()) {
        p.window->close();
        return;
    }
    // Nothing to save yet, but the splash must not hand over afterwards; and quit()
    // does nothing unless the main event loop runs, so it is queued into it.
    QObject::disconnect(p.splash.get(), &SplashWindow::handOver, nullptr, nullptr);
    p.splash->close();
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

Player& Application::player() {
    return *parts_->player;
}
MainWindow& Application::mainWindow() {
    return *parts_->window;
}

} // namespace velloran
