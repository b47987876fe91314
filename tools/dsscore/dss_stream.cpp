#include "dss_stream.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
}

namespace velloran::dsscore {

namespace {

constexpr std::size_t kCodecByteOffset = 0x2A4;
constexpr std::int64_t kBlockBytes = 512;
constexpr std::int64_t kBlockPayload = 506;
constexpr int kLpLargestFrame = 24;
constexpr int kSpStoredFrame = 41; // 42 and 40 bytes in turn
constexpr std::int64_t kBlockHeader = kBlockBytes - kBlockPayload;
constexpr std::array<int, 4> kLpFrameBytes{24, 20, 4, 1}; // by the low two bits
// Replaced frames are queued a few at a time: damage may run for gigabytes.
constexpr std::uint64_t kOwedFramesAtOnce = 64;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

// Opening a FIFO for reading waits for a writer, so the open does not block, and what was
// opened is checked: only a regular file is a recording. The descriptor is closed on return.
UniqueFile openRegular(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return {};
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return {};
    }
    UniqueFile file(::fdopen(fd, "rb"));
    if (!file)
        ::close(fd);
    return file;
}

// FFmpeg's DSS demuxer trusts whatever it is given once forced, so the magic and the codec
// byte are checked here first: 0x02 or 0x03, then "dss".
OpenError checkHeader(std::FILE* file, DssCodec& codec, std::uint64_t& headerBytes) {
    std::array<unsigned char, 4> magic{};
    if (std::fread(magic.data(), 1, magic.size(), file) != magic.size())
        return OpenError::Format;
    if ((magic[0] != 0x02 && magic[0] != 0x03) || std::memcmp(magic.data() + 1, "dss", 3) != 0)
        return OpenError::Format;
    headerBytes = std::uint64_t{magic[0]} * kBlockBytes;
    if (std::fseek(file, static_cast<long>(kCodecByteOffset), SEEK_SET) != 0)
        return OpenError::Format;
    const int byte = std::fgetc(file);
    if (byte == static_cast<int>(DssCodec::Sp) || byte == static_cast<int>(DssCodec::Lp)) {
        codec = static_cast<DssCodec>(byte);
        return OpenError::None;
    }
    return OpenError::Format;
}

} // namespace

void DssStream::FormatCloser::operator()(AVFormatContext* context) const {
    avformat_close_input(&context);
}
void DssStream::CodecCloser::operator()(AVCodecContext* context) const {
    avcodec_free_context(&context);
}
void DssStream::PacketCloser::operator()(AVPacket* packet) const {
    av_packet_free(&packet);
}
void DssStream::FrameCloser::operator()(AVFrame* frame) const {
    av_frame_free(&frame);
}

DssStream::Descriptor::~Descriptor() {
    if (fd >= 0)
        ::close(fd);
}

DssStream::~DssStream() = default;

std::unique_ptr<DssStream> DssStream::open(const std::string& path, OpenError& error) {
    DssCodec codec = DssCodec::Sp;
    std::uint64_t headerBytes = 0;
    const UniqueFile file = openRegular(path);
    if (!file) {
        error = OpenError::NotFound;
        return nullptr;
    }
    error = checkHeader(file.get(), codec, headerBytes);
    if (error != OpenError::None)
        return nullptr;

    std::unique_ptr<DssStream> stream(new DssStream);
    stream->codec_ = codec;
    stream->header_bytes_ = headerBytes;
    struct stat info {};
    stream->raw_.fd = ::fcntl(::fileno(file.get()), F_DUPFD_CLOEXEC, 0);
    if (stream->raw_.fd < 0 || ::fstat(stream->raw_.fd, &info) != 0) {
        error = OpenError::NotFound;
        return nullptr;
    }
    stream->raw_size_ = info.st_size;
    error = OpenError::Format;

    const AVInputFormat* demuxer = av_find_input_format("dss");
    if (demuxer == nullptr)
        return nullptr;
    // A path is a file name, never a URL: "file:" keeps a name such as "http:/x/a.dss" or
    // "pipe:0" from reaching another FFmpeg protocol.
    // FFmpeg opens the checked file itself through its descriptor, so the name cannot have
    // been pointed at something else in between.
    const std::string url = "file:/proc/self/fd/" + std::to_string(::fileno(file.get()));
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, url.c_str(), demuxer, nullptr) < 0)
        return nullptr; // avformat_open_input frees the context itself on failure
    stream->format_.reset(format);
    // The header gives the decoder all it needs. The stream is not probed: a probe reads
    // ahead and steps over a damaged frame without saying so, and this stream must
    // account for every frame.
    if (format->nb_streams < 1)
        return nullptr;
    stream->stream_index_ = 0;
    const AVCodecParameters* parameters = format->streams[0]->codecpar;

    error = OpenError::Decoder;
    const AVCodec* decoder = avcodec_find_decoder(parameters->codec_id);
    if (decoder == nullptr)
        return nullptr;
    stream->codec_context_.reset(avcodec_alloc_context3(decoder));
    if (!stream->codec_context_ ||
        avcodec_parameters_to_context(stream->codec_context_.get(), parameters) < 0 ||
        avcodec_open2(stream->codec_context_.get(), decoder, nullptr) < 0)
        return nullptr;
    stream->packet_.reset(av_packet_alloc());
    stream->frame_.reset(av_frame_alloc());
    if (!stream->packet_ || !stream->frame_)
        return nullptr;

    error = OpenError::None;
    return stream;
}

std::size_t DssStream::read(std::span<std::int16_t> out) {
    touched_ = true;
    std::size_t placed = 0;
    while (placed < out.size()) {
        if (head_ == pending_.size() && !decodeMore())
            break;
        const std::size_t count = std::min(out.size() - placed, pending_.size() - head_);
        std::copy_n(pending_.begin() + static_cast<std::ptrdiff_t>(head_), count,
                    out.begin() + static_cast<std::ptrdiff_t>(placed));
        head_ += count;
        placed += count;
    }
    std::fill(out.begin() + static_cast<std::ptrdiff_t>(placed), out.end(), std::int16_t{0});
    return placed;
}

bool DssStream::hasMore() {
    touched_ = true;
    return head_ < pending_.size() || decodeMore();
}

bool DssStream::decodeMore() {
    // Samples already handed out are dropped here, so the queue never outgrows a few frames.
    if (head_ == pending_.size()) {
        pending_.clear();
        head_ = 0;
    }
    const std::size_t before = pending_.size();
    while (true) {
        if (owed_samples_ > 0) {
            payOwed();
            return true;
        }
        if (decoder_done_)
            break;
        drainDecoder();
        if (pending_.size() > before)
            return true;
        if (decoder_done_)
            break;
        if (demuxer_done_) {
            // After the flush packet a decoder owes frames or the end, never a request
            // for more input; stop rather than spin.
            decoder_done_ = true;
            break;
        }
        feedDecoder();
    }
    return pending_.size() > before;
}

void DssStream::endOfInput() {
    demuxer_done_ = true;
    avcodec_send_packet(codec_context_.get(), nullptr);
}

void DssStream::feedDecoder() {
    const int status = av_read_frame(format_.get(), packet_.get());
    if (status == AVERROR(EAGAIN))
        return;
    if (status == AVERROR_EOF) {
        endOfInput();
        return;
    }
    if (status == AVERROR_INVALIDDATA) {
        // A frame that cannot be a frame: silence of its length stands in for it, and
        // reading goes on, so one damaged block does not cut the recording short.
        replaceDamaged(1 + (codec_ == DssCodec::Lp ? resynchronise() : 0));
        return;
    }
    if (status < 0) {
        // The recording could not be read: what follows is unknown, so it is not made up.
        // FFmpeg's own error tags are no errno value; they count as an input error.
        const int error = AVUNERROR(status);
        read_error_ = error > 0 && error < 4096 ? error : EIO;
        endOfInput();
        return;
    }
    if (packet_->stream_index == stream_index_) {
        demuxer_packet_bytes_ = packet_->size;
        if (codec_ == DssCodec::Lp && !chainHolds()) {
            av_packet_unref(packet_.get());
            return;
        }
        last_packet_bytes_ = packet_->size;
        ++sent_since_trusted_;
        const int sent = avcodec_send_packet(codec_context_.get(), packet_.get());
        if (sent < 0 && sent != AVERROR(EAGAIN))
            replaceDamaged(1);
    }
    av_packet_unref(packet_.get());
}

std::uint64_t DssStream::resynchronise() {
    const std::int64_t position = avio_tell(format_->pb);
    const auto header = static_cast<std::int64_t>(header_bytes_);
    if (position < header)
        return 0;
    const std::int64_t block = (position - header + kBlockBytes - 1) / kBlockBytes;
    // Without a next block there is nothing to find; FFmpeg would fall back to searching
    // from the start of the recording.
    if (header + (block + 1) * kBlockBytes > raw_size_)
        return 0;
    const std::int64_t landed = seekToBlock(block);
    if (landed < 0) {
        // Reading on from the byte after the damage still finds the later frames.
        return 0;
    }
    // Frames of the bytes passed over, at the size of the last good one.
    const int frameBytes = codec_ == DssCodec::Sp   ? kSpStoredFrame
                           : last_packet_bytes_ > 0 ? last_packet_bytes_
                                                    : kLpLargestFrame;
    const std::int64_t skippedBlocks = block - (position - header) / kBlockBytes;
    const std::int64_t skipped = landed - position - skippedBlocks * kBlockHeader;
    return skipped > 0 ? static_cast<std::uint64_t>(skipped / frameBytes) : 0;
}

std::int64_t DssStream::seekToBlock(std::int64_t block) {
    AVIOContext* io = format_->pb;
    const std::int64_t position = avio_tell(io);
    if (!resync_)
        return -1;
    // The demuxer seeks by time, and finds the block from the time through the size of
    // the packet it read last; this time lands on the first frame of `block`.
    const int frameBytes = codec_ == DssCodec::Sp      ? kSpStoredFrame
                           : demuxer_packet_bytes_ > 0 ? demuxer_packet_bytes_
                                                       : kLpLargestFrame;
    const std::int64_t frames = (block * kBlockPayload + frameBytes - 1) / frameBytes;
    const std::int64_t samples = frames * static_cast<std::int64_t>(bufferSamples());
    if (av_seek_frame(format_.get(), stream_index_, samples, AVSEEK_FLAG_ANY) < 0)
        return -1;
    check_next_ = true;
    const std::int64_t landed = avio_tell(io);
    if (landed <= position) {
        // The demuxer went back instead: never again, so the recording still ends.
        resync_ = false;
        return -1;
    }
    return landed;
}

std::int64_t DssStream::blockOf(std::int64_t position) const {
    return (position - static_cast<std::int64_t>(header_bytes_)) / kBlockBytes;
}

std::int64_t DssStream::payloadAt(std::int64_t position) const {
    const std::int64_t inBlock = position - blockStart(blockOf(position));
    return blockOf(position) * kBlockPayload + std::max<std::int64_t>(0, inBlock - kBlockHeader);
}

std::int64_t DssStream::blockStart(std::int64_t block) const {
    return static_cast<std::int64_t>(header_bytes_) + block * kBlockBytes;
}

std::int64_t DssStream::headerStart(std::int64_t block) {
    std::array<unsigned char, 2> header{};
    const std::int64_t at = blockStart(block);
    if (at + kBlockHeader >= raw_size_ ||
        ::pread(raw_.fd, header.data(), header.size(), at) != static_cast<ssize_t>(header.size()))
        return -1;
    // Every block holds the start of an LP frame, past the block header.
    const std::int64_t offset = 2 * std::int64_t{header[1]};
    if (header[1] == 0xFF || offset < kBlockHeader)
        return -1;
    return at + offset;
}

bool DssStream::headerAgrees(std::int64_t start) {
    const std::int64_t expected = headerStart(blockOf(start));
    return expected >= 0 && (start == expected || start == expected + 1);
}

std::int64_t DssStream::chainTo(std::int64_t start, std::int64_t block) {
    const std::int64_t end = std::min(raw_size_, blockStart(block + 1));
    if (start >= end)
        return start;
    std::vector<unsigned char> bytes(static_cast<std::size_t>(end - start));
    if (::pread(raw_.fd, bytes.data(), bytes.size(), start) != static_cast<ssize_t>(bytes.size()))
        return -1;
    std::int64_t at = start;
    while (at < end && blockOf(at) < block) {
        const std::int64_t inBlock = at - blockStart(blockOf(at));
        const int size = kLpFrameBytes[bytes[static_cast<std::size_t>(at - start)] & 3];
        // A frame that reaches the end of its block is followed by the next block header.
        at += size + (inBlock + size >= kBlockBytes ? kBlockHeader : 0);
    }
    return at;
}

bool DssStream::blockAgrees(std::int64_t block) {
    const std::int64_t start = headerStart(block);
    if (start < 0)
        return false;
    const std::int64_t next = chainTo(start, block + 1);
    // A chain that runs to the end of the recording has no later header to meet.
    return next >= raw_size_ || (next >= 0 && headerAgrees(next));
}

bool DssStream::chainHolds() {
    const std::int64_t header = static_cast<std::int64_t>(header_bytes_);
    const std::int64_t position = packet_->pos;
    if (position < header)
        return true; // FFmpeg did not say where the packet came from
    // A frame that starts a block is reported at the block header.
    const bool atBlock = (position - header) % kBlockBytes == 0;
    const std::int64_t start = position + (atBlock ? kBlockHeader : 0);
    if (start < skip_until_)
        return false; // counted with the damage it belongs to
    std::int64_t entered = -1;
    std::int64_t entry = -1;
    if (atBlock || check_next_ || skip_until_ > 0) {
        entered = blockOf(start);
        entry = start;
    } else if (start - blockStart(blockOf(start)) + packet_->size > kBlockBytes) {
        entered = blockOf(start) + 1;
        entry = start + packet_->size + kBlockHeader;
    }
    const bool forced = check_next_ || skip_until_ > 0;
    check_next_ = false;
    skip_until_ = 0;
    if (entered < 0 || entry >= raw_size_ || (!forced && entered <= checked_block_))
        return true;
    checked_block_ = entered;
    // Frames of a block are trusted from where its header puts the first one: damage
    // that throws the chain off shows at the next header at the latest.
    if (headerAgrees(entry)) {
        // A packet that runs into the block belongs to the stretch before it.
        const std::int64_t before = sent_since_trusted_ + (entry > start ? 1 : 0);
        if (trusted_entry_ >= 0 && before > 0)
            frame_bytes_ = static_cast<double>(payloadAt(entry) - payloadAt(trusted_entry_)) /
                           static_cast<double>(before);
        trusted_entry_ = entry;
        sent_since_trusted_ = entry > start ? -1 : 0;
        return true;
    }

    // This block is damaged, its header or its frames: what it holds, from the packet at
    // hand, becomes silence up to the first block that agrees with itself again. The
    // length is measured from the last header that agreed, less the frames handed out
    // since: a false chain there made up frames of its own, and the time after the damage
    // must not shift by them.
    std::int64_t block = entered + 1;
    std::int64_t target = -1;
    for (; blockStart(block) + kBlockHeader < raw_size_; ++block) {
        if (blockAgrees(block)) {
            target = headerStart(block);
            break;
        }
    }
    const std::int64_t end = target >= 0 ? target : raw_size_;
    const bool anchored = trusted_entry_ >= 0;
    const auto bytes =
        static_cast<double>(payloadAt(end) - payloadAt(anchored ? trusted_entry_ : start));
    const double frames =
        std::round(bytes / frame_bytes_) - static_cast<double>(anchored ? sent_since_trusted_ : 0);
    replaceDamaged(static_cast<std::uint64_t>(std::max(1.0, frames)));
    if (target < 0) {
        endOfInput();
        return false;
    }
    checked_block_ = block - 1;
    // Should the demuxer not get there, the packets up to it are dropped as they come.
    if (seekToBlock(block) < 0 || avio_tell(format_->pb) < target)
        skip_until_ = target;
    return false;
}

void DssStream::payOwed() {
    const std::uint64_t count = std::min<std::uint64_t>(
        owed_samples_, kOwedFramesAtOnce * static_cast<std::uint64_t>(bufferSamples()));
    pending_.insert(pending_.end(), static_cast<std::size_t>(count), std::int16_t{0});
    produced_ += count;
    owed_samples_ -= count;
}

void DssStream::replaceDamaged(std::uint64_t frames) {
    if (!in_damage_ && damage_starts_.size() < kMaxStarts)
        damage_starts_.push_back(produced_ + owed_samples_);
    in_damage_ = true;
    trusted_entry_ = -1;
    replaced_frames_ += frames;
    owed_samples_ += frames * bufferSamples();
}

void DssStream::drainDecoder() {
    while (true) {
        const int status = avcodec_receive_frame(codec_context_.get(), frame_.get());
        if (status == AVERROR(EAGAIN))
            return;
        if (status == AVERROR_EOF) {
            decoder_done_ = true;
            return;
        }
        if (status < 0) {
            // A frame the decoder could not make sense of.
            replaceDamaged(1);
            return;
        }
        const auto format = static_cast<AVSampleFormat>(frame_->format);
        if ((format == AV_SAMPLE_FMT_S16 || format == AV_SAMPLE_FMT_S16P) &&
            frame_->ch_layout.nb_channels == 1 && frame_->nb_samples > 0) {
            const auto* samples = reinterpret_cast<const std::int16_t*>(frame_->data[0]);
            pending_.insert(pending_.end(), samples, samples + frame_->nb_samples);
            produced_ += static_cast<std::uint64_t>(frame_->nb_samples);
            ++decoded_frames_;
            in_damage_ = false;
        }
        av_frame_unref(frame_.get());
    }
}

} // namespace velloran::dsscore
