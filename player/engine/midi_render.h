#pragma once

#include <QString>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace velloran::engine {

/// A Standard MIDI file rendered with a General MIDI soundfont into the image
/// of a 16-bit stereo WAV file at 44.1 kHz, written to a file by a thread of
/// its own while it is read. The image's size is known before any audio: it
/// ends at the file's last event, where the music ends.
///
/// The level is raised towards -1 dBFS (synthesisers render General MIDI far
/// below full scale) by a gain taken from the first second, which only ever
/// falls: a louder passage later is met by easing it down over the second
/// before it, so nothing clips and no pass over the whole file is needed.
class MidiRendering {
public:
    /// Starts rendering @p midiPath into @p dest. The thread calls @p ready
    /// once, on itself: true when the file was read and the synthesiser set up
    /// (size() holds from then on and audio follows), false when nothing can be
    /// rendered (error() says why).
    MidiRendering(const QString& midiPath, const QString& soundFont, const QString& dest,
                  std::function<void(bool ok)> ready = {});
    /// Stops the rendering (see stop()).
    ~MidiRendering();
    MidiRendering(const MidiRendering&) = delete;
    MidiRendering& operator=(const MidiRendering&) = delete;

    /// Stops rendering and waits for the thread; reads from then on fail.
    void stop();
    /// Waits for the whole rendering; false when it failed or was stopped.
    bool finish();

    /// Bytes in the whole image, header included; 0 until ready.
    qint64 size() const;
    QString error() const;

    /// Copies up to @p count bytes from @p offset of the image, waiting until
    /// they are rendered. Returns the number copied, 0 at the end of the image,
    /// -1 once the rendering failed or stopped or @p abandoned is set.
    qint64 read(qint64 offset, char* buffer, qint64 count,
                const std::atomic<bool>* abandoned = nullptr);
    /// Lets reads waiting in read() look at their abandoned flag again.
    void wake();

private:
    void run(const QString& midiPath, const QString& soundFont,
             const std::function<void(bool)>& ready);
    bool publish(const char* data, qint64 bytes);
    void fail(const QString& why);

    mutable std::mutex mutex_;
    std::condition_variable grown_;
    qint64 size_ = 0;
    qint64 available_ = 0; // bytes of the image in the file so far
    bool done_ = false;
    bool failed_ = false;
    QString error_;
    std::atomic<bool> cancel_{false};
    int fd_ = -1;
    std::thread thread_;
};

/// Renders a Standard MIDI file into a WAV file at @p dest, as MidiRendering
/// does, and waits for it. Returns false, with the reason in @p error, when
/// nothing could be rendered.
bool renderMidiToWav(const QString& midiPath, const QString& soundFont, const QString& dest,
                     QString* error = nullptr);

/// The soundfont to use when none is configured: $VELLORAN_SOUNDFONT, else the
/// system's General MIDI soundfont.
QString defaultSoundFont();

} // namespace velloran::engine
