#include "remote_control.h"

#include "core/file_names.h"
#include "core/hot_keys.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QTimer>

namespace velloran {

namespace {
QDBusMessage call(const QString& method, const QVariantList& args) {
    QDBusMessage message =
        QDBusMessage::createMethodCall(RemoteControl::serviceName(), RemoteControl::objectPath(),
                                       RemoteControl::serviceName(), method);
    message.setArguments(args);
    return message;
}
} // namespace

QString RemoteControl::serviceName() {
    return QStringLiteral("org.example.velloran.Velloran");
}

QString RemoteControl::objectPath() {
    return QStringLiteral("/org/example/velloran/Velloran");
}

RemoteControl::RemoteControl(QDBusConnection bus, QObject* parent)
    : QObject(parent), bus_(std::move(bus)) {}

RemoteControl::~RemoteControl() {
    if (owned_) {
        bus_.unregisterObject(objectPath());
        bus_.unregisterService(serviceName());
    }
}

RemoteControl::Claim RemoteControl::claim() {
    if (!bus_.isConnected() || !bus_.interface())
        return Claim::NoBus;
    // The object first: a later start that sees the name can call at once.
    if (!bus_.registerObject(objectPath(), this, QDBusConnection::ExportScriptableSlots))
        return Claim::NoBus;
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
        bus_.interface()->registerService(serviceName(), QDBusConnectionInterface::DontQueueService,
                                          QDBusConnectionInterface::DontAllowReplacement);
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered) {
        owned_ = true;
        return Claim::Owned;
    }
    bus_.unregisterObject(objectPath());
    return reply.isValid() ? Claim::Taken : Claim::NoBus;
}

void RemoteControl::Open(const QString& path) {
    if (path.isEmpty()) {
        Raise();
        return;
    }
    // A name that is not UTF-8 comes as a file: URL, which carries its bytes.
    const QString file = path.startsWith(QLatin1String("file:")) ? fileNameFromUrl(path) : path;
    QTimer::singleShot(0, this, [this, file] {
        if (openRequested)
            openRequested(file);
    });
}

void RemoteControl::Raise() {
    QTimer::singleShot(0, this, [this] {
        if (raiseRequested)
            raiseRequested();
    });
}

void RemoteControl::Command(const QString& name) {
    if (!HotKeys::commandNames().contains(name)) {
        sendErrorReply(QDBusError::InvalidArgs, QStringLiteral("unknown command ") + name);
        return;
    }
    if (ready && !ready()) {
        sendErrorReply(QStringLiteral("org.example.velloran.Velloran.Error.NotReady"),
                       QStringLiteral("the player is still starting"));
        return;
    }
    QTimer::singleShot(0, this, [this, name] {
        if (commandRequested)
            commandRequested(name);
    });
}

bool RemoteControl::handOver(const QString& path, QDBusConnection bus) {
    QString absolute = path.isEmpty() ? QString() : absoluteFileName(path);
    // D-Bus carries only UTF-8 text.
    if (displayFileName(absolute) != absolute)
        absolute = fileUrl(absolute);
    // Events run meanwhile: a player in this very process (tests) can answer.
    return bus.call(call(QStringLiteral("Open"), {absolute}), QDBus::BlockWithGui).type() ==
           QDBusMessage::ReplyMessage;
}

bool RemoteControl::sendCommand(const QString& name, QString* error, QDBusConnection bus) {
    if (!bus.isConnected()) {
        *error = QStringLiteral("no session bus, so no running player can be reached");
        return false;
    }
    const QDBusMessage reply =
        bus.call(call(QStringLiteral("Command"), {name}), QDBus::BlockWithGui);
    if (reply.type() == QDBusMessage::ReplyMessage)
        return true;
    if (reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown"))
        *error = QStringLiteral("no player is running");
    else
        *error = reply.errorMessage();
    return false;
}

} // namespace velloran
