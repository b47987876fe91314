#pragma once

#include <QString>
#include <QStringList>

#include <memory>

namespace velloran {

class MainWindow;
class Player;
class RemoteControl;

/// Builds the player from its real parts (settings file, libmpv engine, pedal
/// devices, dialogs, windows) and wires them together. The only place that
/// knows the concrete types.
class Application {
public:
    /// @p appDir holds bitmap/, Help/ and the tools; @p fileArgument is a file
    /// to open after start-up (empty for none).
    Application(const QString& appDir, const QString& fileArgument);
    ~Application();

    /// Lets later starts of the program hand files and commands to this one.
    void attachRemote(RemoteControl& remote);
    /// Shows the splash; the main window follows.
    void start();
    /// Closes the main window as the user would (signals, session end).
    void requestClose();

    Player& player();
    MainWindow& mainWindow();

private:
    void runPedalTest(const QString& portText);
    /// Once ever: on a Wayland desktop without its X server the strip cannot
    /// be kept above the word processor.
    void tellIfNotOnTop();
    /// The Keys dialog; what is chosen there acts at once.
    void editKeys();

    struct Parts;
    std::unique_ptr<Parts> parts_;
};

} // namespace velloran
