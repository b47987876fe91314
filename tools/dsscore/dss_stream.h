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

    /// Frames decoded, and damaged frames replaced by silence of their length, so far.
    std::uint64_t decodedFrames() const { return decoded_frames_; }
    std::uint64_t replacedFrames() const { return replaced_frames_; }
    /// Sample positions where the first damaged stretches begin (at most `kMaxStarts`).
    static constexpr std::size_t kMaxStarts = 8;
    const std::vector<std::uint64_t>& damageStarts() const { return damage_starts_; }
    /// errno value of the read error that ended the recording early, or 0.
    int readError() const { return read_error_; }

private:
    DssStream() = default;
    // Decodes packets until new samples arrive or the recording ends; false at the end.
    bool decodeMore();
    // Hands the decoder the next packet, or the flush at the end of the recording.
    void feedDecoder();
    // Moves every frame the decoder has ready into pending_.
    void drainDecoder();
    // Hands out `frames` frames of silence in place of damaged ones.
    void replaceDamaged(std::uint64_t frames);
    // After a byte that cannot start an LP frame, the demuxer's idea of where the next
    // block header lies is off; this moves it to the first frame of the next block.
    // Returns the frames passed over.
    std::uint64_t resynchronise();
    // Moves the demuxer to the first frame of `block`; the position it landed on, or -1.
    std::int64_t seekToBlock(std::int64_t block);
    // Queues part of the silence owed for replaced frames.
    void payOwed();
    // The demuxer finds LP frames only by chaining their sizes and never reads a block
    // header, so damage there or in a frame's first byte sends it through the following
    // bytes on a false chain that decodes as noise of a made-up length. Each block's header
    // says where its first frame starts; where a packet runs into a block whose header and
    // chain disagree, this drops the block and returns false.
    bool chainHolds();
    // Position of the first frame of `block` as its header gives it, or -1 when the header
    // cannot be one.
    std::int64_t headerStart(std::int64_t block);
    // Whether `start` is where the header of its block puts the first frame (the header
    // keeps the offset halved, so one byte later counts too).
    bool headerAgrees(std::int64_t start);
    // Follows the frame sizes from `start` to the first frame that starts in `block`;
    // -1 when the recording ends first.
    std::int64_t chainTo(std::int64_t start, std::int64_t block);
    // Whether the chain from the header of `block` reaches the header of the next one.
    bool blockAgrees(std::int64_t block);
    std::int64_t blockOf(std::int64_t position) const;
    // Bytes of frames before `position`, block headers left out.
    std::int64_t payloadAt(std::int64_t position) const;
    std::int64_t blockStart(std::int64_t block) const;
    void endOfInput();

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

    struct Descriptor {
        int fd = -1;
        Descriptor() = default;
        Descriptor(const Descriptor&) = delete;
        Descriptor& operator=(const Descriptor&) = delete;
        ~Descriptor();
    };

    // The recording read past FFmpeg, for the block headers.
    Descriptor raw_;
    std::int64_t raw_size_ = 0;
    std::int64_t checked_block_ = -1; // last block whose header was held against the chain
    std::int64_t skip_until_ = 0;     // packets starting before this are part of a damage
    bool check_next_ = false;         // the next packet follows a jump of the demuxer
    // Mean frame size between the last two headers that agreed with the chain: what a
    // damaged stretch is measured in. A false chain's frames say nothing.
    std::int64_t trusted_entry_ = -1;
    std::int64_t sent_since_trusted_ = 0;
    double frame_bytes_ = 24.0;
    int demuxer_packet_bytes_ = 0;   // size of the packet the demuxer read last
    std::uint64_t owed_samples_ = 0; // silence of replaced frames not yet queued
    std::unique_ptr<AVFormatContext, FormatCloser> format_;
    std::unique_ptr<AVCodecContext, CodecCloser> codec_context_;
    std::unique_ptr<AVPacket, PacketCloser> packet_;
    std::unique_ptr<AVFrame, FrameCloser> frame_;
    DssCodec codec_ = DssCodec::Sp;
    int stream_index_ = 0;
    bool demuxer_done_ = false;
    bool decoder_done_ = false;
    bool touched_ = false;
    std::uint64_t header_bytes_ = 0;
    int last_packet_bytes_ = 0;
    bool resync_ = true;
    std::uint64_t produced_ = 0; // samples placed in pending_ since the start
    std::uint64_t decoded_frames_ = 0;
    std::uint64_t replaced_frames_ = 0;
    bool in_damage_ = false;
    std::vector<std::uint64_t> damage_starts_;
    int read_error_ = 0;
    // Decoded samples not yet handed out; pending_[head_] is the next one.
    std::vector<std::int16_t> pending_;
    std::size_t head_ = 0;
};

} // namespace velloran::dsscore
