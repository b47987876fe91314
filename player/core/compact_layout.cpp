#include "compact_layout.h"

#include "settings_panel.h"

namespace velloran {

CompactLayout::CompactLayout(SettingsPanel& panel, QObject* parent)
    : QObject(parent), panel_(panel) {}

void CompactLayout::zoomClicked(int windowLeftTwips) {
    if (compact_) {
        zoomOut();
        return;
    }
    // Cancel runs whether or not the panel is open: the window comes down to
    // its closed height and an open panel closes unsaved.
    panel_.cancel();
    zoomIn(windowLeftTwips);
}

void CompactLayout::zoomIn(int windowLeftTwips) {
    fullLeft_ = windowLeftTwips;
    compact_ = true;
    emit changed();
}

void CompactLayout::zoomOut() {
    compact_ = false;
    emit changed();
    // A compact window dragged elsewhere comes back where the full one stood.
    emit moveWindowRequested(fullLeft_);
}

} // namespace velloran
