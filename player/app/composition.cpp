#include "composition.h"

#include "core/pedal_controller.h"
#include "core/pedal_test.h"
#include "core/player.h"
#include "core/settings.h"
#include "core/settings_panel.h"
#include "core/settings_store.h"
#include "devices/linux_pedal_devices.h"
#include "engine/mpv_engine.h"
#include "gui/main_window.h"
#include "gui/port_test_dialog.h"
#include "gui/qt_user_prompts.h"
#include "gui/settings_panel_widget.h"
#include "gui/splash_window.h"

#include <QApplication>
#include <QFrame>
#include <QLayout>
#include <QMessageBox>

namespace velloran {

struct Application::Parts {
    QString appDir;
    QString fileArgument;
    IniSettingsStore store;
    MpvEngine engine;
    std::unique_ptr<LinuxPedalDeviceFactory> devices;
    std::unique_ptr<SerialPedalPort> serial;
    std::unique_ptr<GamePortPedal> gamePort;
    QtUserPrompts prompts;
    std::unique_ptr<Player> player;
    std::unique_ptr<PedalController> pedals;
    std::unique_ptr<SettingsPanel> panel;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<SplashWindow> splash;
};

Application::Application(const QString& appDir, const QString& fileArgument)
    : parts_(std::make_unique<Parts>()) {
    Parts& p = *parts_;
    p.appDir = appDir;
    p.fileArgument = fileArgument;
    p.devices = std::make_unique<LinuxPedalDeviceFactory>(p.store.read(keys::GamePortDevice));
    p.serial = p.devices->makeSerialPort();
    p.gamePort = p.devices->makeGamePort();
    p.player = std::make_unique<Player>(p.engine, p.store, p.prompts, *p.serial, *p.gamePort);
    p.pedals = std::make_unique<PedalController>(*p.player);
    p.panel = std::make_unique<SettingsPanel>(*p.player);
    QObject::connect(p.player.get(), &Player::fillSettingsPanelRequested, p.panel.get(),
                     &SettingsPanel::fill);
    p.window = std::make_unique<MainWindow>(*p.player, appDir);
    p.window->panelArea()->layout()->addWidget(new SettingsPanelWidget(*p.panel));
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

    QObject::connect(p.splash.get(), &SplashWindow::handOver, p.window.get(), [this] {
        Parts& q = *parts_;
        q.player->load(q.appDir);
        q.window->show();
        q.window->raise();
        if (!q.fileArgument.isEmpty())
            q.player->openPath(q.fileArgument);
    });
    QObject::connect(p.window.get(), &MainWindow::aboutRequested, p.window.get(), [this] {
        QMessageBox box(QMessageBox::Information, QStringLiteral("About Velloran"),
                        QStringLiteral("Velloran ver 3.4\nA dictation transcription station."),
                        QMessageBox::Ok, parts_->window.get());
        box.setWindowFlag(Qt::WindowStaysOnTopHint);
        box.exec();
    });
    // Closing the main window ends the program at once, splash included.
    p.window->afterUnload = [this] {
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
    PedalTest test(*serial, *gamePort, p.prompts, p.appDir);
    if (!test.checkPort(portText))
        return;
    PortTestDialog dialog(test, p.window.get());
    dialog.exec();
}

void Application::start() {
    parts_->splash->start();
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
