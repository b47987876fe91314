#pragma once

#include <QString>

#include <array>

namespace velloran {

/// Pedal action codes.
enum PedalCode { PedalForward = 2, PedalRewind = 3, PedalPlay = 4 };

/// The player's module-level state, one per process. The store's reading rules
/// that fill it live in settings.h.
struct PlayerState {
    double largeSkip = 0;                    ///< seconds, Rewind and Forward
    double smallSkip = 0;                    ///< seconds, Small Rewind and Small Forward
    double stepBack = 0;                     ///< seconds backed off when playback starts or resumes
    bool toggleMode = false;                 ///< pedal play mode "Start Stop"
    std::array<int, 3> pedalAction{0, 0, 0}; ///< codes of pedals 1..3; 0 = no action
    bool stoppedByUser = false;              ///< set by Stop; the exit then keeps Stop's position
    QString selectedFile;                    ///< the chosen or converted file
    int volumeLevel = 0;
    bool converted = false; ///< set by a DVI or DSS conversion
    QString fileSignature;  ///< the chosen file's first four bytes
    QString dssWaveName;    ///< file name the DSS conversion writes

    // Serial pedal: the pedal whose press is in hand (0 none), and whether it
    // has been released since.
    int heldPedal = 0;
    bool pedalReleased = false;
};

} // namespace velloran
