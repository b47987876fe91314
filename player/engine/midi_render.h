#pragma once

#include <QString>

#include <atomic>

namespace velloran::engine {

/// Renders a Standard MIDI file with a General MIDI soundfont into a 16-bit
/// stereo WAV file at @p dest. Rendering stops at the file's last event, so
/// the result is as long as the music; the level is raised to just below full
/// scale (synthesisers render General MIDI far below it). Returns false, with
/// the reason in @p error, when nothing could be rendered. Safe to run on any
/// thread; setting @p cancel stops it early (with false).
bool renderMidiToWav(const QString& midiPath, const QString& soundFont, const QString& dest,
                     QString* error = nullptr, const std::atomic<bool>* cancel = nullptr);

/// The soundfont to use when none is configured: $VELLORAN_SOUNDFONT, else the
/// system's General MIDI soundfont.
QString defaultSoundFont();

} // namespace velloran::engine
