#pragma once

#include <QObject>
#include <QString>

class QFileSystemWatcher;

namespace velloran::devices {

/// Says that input devices may have come or gone. Tests drive one by hand.
class HotplugSource : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

signals:
    void changed();
};

/// Watches the device folders (@p devRoot and its input/ folder, which may
/// appear later) through inotify.
class DeviceFolderWatch final : public HotplugSource {
    Q_OBJECT
public:
    explicit DeviceFolderWatch(const QString& devRoot = QStringLiteral("/dev"),
                               QObject* parent = nullptr);

private:
    void watchFolders();

    QString devRoot_;
    QFileSystemWatcher* watcher_;
};

} // namespace velloran::devices
