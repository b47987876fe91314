#include "window_placement.h"

#include "core/window_place.h"
#include "main_window.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace velloran {

namespace {
bool placesWindows() {
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}
} // namespace

void restoreWindowPlace(QWidget& window, const SettingsStore& store) {
    if (!placesWindows())
        return;
    QList<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens())
        screens.append(screen->availableGeometry());
    if (const auto place = placeToRestore(store, window.frameGeometry().size(), screens))
        window.move(*place);
}

void saveWindowPlace(const MainWindow& window, SettingsStore& store) {
    if (placesWindows() && window.isVisible())
        writeWindowPlace(store, window.fullPlace());
}

} // namespace velloran
