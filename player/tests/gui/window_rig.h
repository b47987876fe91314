#pragma once

#include "core/compact_layout.h"
#include "core/settings_panel.h"
#include "core/volume_control.h"
#include "fakes/fake_mixer.h"
#include "fakes/player_rig.h"
#include "fakes/qt_printers.h"
#include "gui/main_window.h"

#include <QAction>

namespace velloran::testing {

/// The main window over a player of fakes; widgets are found by objectName.
struct WindowRig : PlayerRig {
    WindowRig()
        : volume(player, mixer), panel(player), compact(panel),
          window(player, qEnvironmentVariable("VELLORAN_APPDIR")) {
        window.setSlideDuration(0);
        window.attachVolume(volume);
        window.attachCompactLayout(compact);
    }

    template <typename T>
    T* child(const char* name) {
        return window.findChild<T*>(QString::fromLatin1(name));
    }

    /// Toolbar button 1..12.
    QAction* button(int index) {
        return window.findChild<QAction*>(QStringLiteral("tlbButton%1").arg(index));
    }

    /// Loads the player with a file of @p seconds and shows the window.
    void loadAndShow(double seconds) {
        loadWithFile(seconds);
        window.show();
        pump();
    }

    FakeMixer mixer;
    VolumeControl volume;
    SettingsPanel panel;
    CompactLayout compact;
    MainWindow window;
};

} // namespace velloran::testing
