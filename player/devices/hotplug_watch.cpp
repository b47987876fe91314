#include "hotplug_watch.h"

#include <QDir>
#include <QFileSystemWatcher>

namespace velloran::devices {

DeviceFolderWatch::DeviceFolderWatch(const QString& devRoot, QObject* parent)
    : HotplugSource(parent), devRoot_(devRoot), watcher_(new QFileSystemWatcher(this)) {
    watchFolders();
    connect(watcher_, &QFileSystemWatcher::directoryChanged, this, [this] {
        // input/ is made with the first input device and may go with the last.
        watchFolders();
        emit changed();
    });
}

void DeviceFolderWatch::watchFolders() {
    for (const QString& folder : {devRoot_, devRoot_ + QStringLiteral("/input")})
        if (QDir(folder).exists() && !watcher_->directories().contains(folder))
            watcher_->addPath(folder);
}

} // namespace velloran::devices
