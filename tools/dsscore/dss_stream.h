#pragma once
// One DSS recording read front to back through FFmpeg and cut into fixed PCM buffers.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;

namespace velloran::dsscore {

/// Codec byte of a DSS header.
enum class DssCodec : std::uint8_t { Sp = 0, Lp = 2 };

/// Why a recording could not be opened.
enum class OpenError { None, NotFound, Format, Decoder };

/// Reads a recording strictly in order: FFmpeg's DSS demuxer cannot seek reliably, so a
/// stream is never rewound; starting over means opening a new one.
class DssStream {
public:
    /// Opens `path`, checks that it is a DSS recording of a known codec and sets up the
    /// decoder. Returns null and sets `error` when that fails.
    static std::unique_ptr<DssStream> open(const std::string& path, OpenError& error);

    ~DssStream();
    DssStream(const DssStream&) = delete;
    DssStream& operator=(const DssStream&) = delete;

    DssCodec codec() const { return codec_; }
    int sampleRate() const { return codec_ == DssCodec::Sp ? 11025 : 8000; }
    /// Samples in one buffer as the library hands them out: one frame of the codec.
    std::size_t bufferSamples() const { return codec_ == DssCodec::Sp ? 264 : 240; }
    /// Whether anything has been taken from the stream since it was opened.
    bool touched() const { return touched_; }

    /// Fills `out` with the next samples and pads the rest with silence. Returns the
    /// number of decoded samples placed (0 once the recording is exhausted).
    std::size_t read(std::span<std::int16_t> out);

    /// Whether at least one more decoded sample follows; decodes ahead to find out.
    bool hasMore();

private:
    DssStream() = default;
    // Decodes packets until new samples arrive or the recording ends; false at the end.
    bool decodeMore();
    // Hands the decoder the next packet, or the flush at the end of the recording.
    void feedDecoder();
    // Moves every frame the decoder has ready into pending_.
    void drainDecoder();

    struct FormatCloser {
        void operator()(AVFormatContext* context) const;
    };
    struct CodecCloser {
        void operator()(AVCodecContext* context) const;
    };
    struct PacketCloser {
        void operator()(AVPacket* packet) const;
    };
    struct FrameCloser {
        void operator()(AVFrame* frame) const;
    };

    std::unique_ptr<AVFormatContext, FormatCloser> format_;
    std::unique_ptr<AVCodecContext, CodecCloser> codec_context_;
    std::unique_ptr<AVPacket, PacketCloser> packet_;
    std::unique_ptr<AVFrame, FrameCloser> frame_;
    DssCodec codec_ = DssCodec::Sp;
    int stream_index_ = 0;
    bool demuxer_done_ = false;
    bool decoder_done_ = false;
    bool touched_ = false;
    // Decoded samples not yet handed out; pending_[head_] is the next one.
    std::vector<std::int16_t> pending_;
    std::size_t head_ = 0;
};

} // namespace velloran::dsscore
