#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QString>

#include <functional>

namespace velloran {

/// The running player's name on the session bus: the first player of a
/// desktop session owns it, later starts hand their file or command to it.
class RemoteControl : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.example.velloran.Velloran")
public:
    static QString serviceName();
    static QString objectPath();

    enum class Claim { Owned, Taken, NoBus };

    explicit RemoteControl(QDBusConnection bus = QDBusConnection::sessionBus(),
                           QObject* parent = nullptr);
    ~RemoteControl() override;

    /// Takes the name for this process; Taken when another player has it.
    Claim claim();

    /// A file handed over by a later start.
    std::function<void(const QString& path)> openRequested;
    /// A later start without a file: bring the window up.
    std::function<void()> raiseRequested;
    /// Runs a named action (a known name). Called after the
    /// caller has had its answer, so a dialog the action opens blocks no one.
    std::function<void(const QString& name)> commandRequested;
    /// Whether commandRequested can run now (the window has loaded).
    std::function<bool()> ready;

    // ---- the client side, in a later start ----
    /// Hands @p path (absolute, or empty for none) to the running player.
    static bool handOver(const QString& path, QDBusConnection bus = QDBusConnection::sessionBus());
    /// Asks the running player to run command @p name. On failure @p error
    /// says why (no player running, player still starting).
    static bool sendCommand(const QString& name, QString* error,
                            QDBusConnection bus = QDBusConnection::sessionBus());

public slots:
    Q_SCRIPTABLE void Open(const QString& path);
    Q_SCRIPTABLE void Raise();
    Q_SCRIPTABLE void Command(const QString& name);

private:
    QDBusConnection bus_;
    bool owned_ = false;
};

} // namespace velloran
