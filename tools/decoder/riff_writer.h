#pragma once
// A RIFF file writer that works like the multimedia file calls it replaces: a chunk's
// header goes out with size 0 when the chunk is opened, and closing the chunk goes back
// and fills the size in. The bytes go to a sink, so the writer itself never decides
// where a file appears (see StagedFile).

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

namespace velloran::tools {

/// A four-character chunk identifier such as "RIFF" or "data".
using FourCc = std::array<char, 4>;

constexpr FourCc fourCc(const char (&text)[5]) {
    return {text[0], text[1], text[2], text[3]};
}

/// Where a RiffWriter's bytes land.
class RiffSink {
public:
    virtual ~RiffSink() = default;
    /// Writes all of `bytes` at `offset`; returns 0, or the errno value of the failure.
    virtual int writeAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) = 0;
};

/// A sink over an open file descriptor (not owned).
class FileSink : public RiffSink {
public:
    explicit FileSink(int fd) : fd_(fd) {}
    int writeAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) override;

private:
    int fd_;
};

/// Why a RiffWriter stopped.
enum class RiffFailure {
    None,
    TooLong, ///< the file would outgrow what the 32-bit size fields hold
    Io,      ///< the sink failed; error() holds its errno value
    Misuse,  ///< a call out of order (a write outside a chunk, a close with chunks open)
};

/// Largest RIFF file: its size field counts everything after the first 8 bytes.
inline constexpr std::uint64_t kRiffMaxFileBytes =
    std::uint64_t{std::numeric_limits<std::uint32_t>::max()} + 8 - 1; // sizes stay even

/// Writes one RIFF file into a sink. After the first failure every call fails, so a caller
/// may check only the last one; failure() and error() tell what went wrong.
class RiffWriter {
public:
    /// `limit` is the largest file it will write (smaller limits are for tests).
    explicit RiffWriter(RiffSink& sink, std::uint64_t limit = kRiffMaxFileBytes)
        : sink_(sink), limit_(limit) {}
    RiffWriter(const RiffWriter&) = delete;
    RiffWriter& operator=(const RiffWriter&) = delete;

    /// Opens the outer "RIFF" chunk of form type `form` (e.g. "WAVE").
    bool openForm(FourCc form);
    /// Opens a chunk inside the innermost open one.
    bool openChunk(FourCc id);
    /// Appends bytes to the innermost open chunk.
    bool write(std::span<const std::uint8_t> bytes);
    /// Writes a whole chunk: opens it, writes `bytes`, closes it.
    bool writeChunk(FourCc id, std::span<const std::uint8_t> bytes);
    /// Closes the innermost chunk, adding a pad byte after an odd size, and fills its size.
    bool closeChunk();
    /// Writes out what is buffered; true when every chunk was closed and nothing failed.
    bool finish();

    RiffFailure failure() const { return failure_; }
    /// The sink's errno value when failure() is Io, else 0.
    int error() const { return error_; }
    /// Bytes in the file so far.
    std::uint64_t size() const { return end_; }

private:
    bool put(const void* data, std::size_t size);
    bool flush();
    bool fail(RiffFailure why, int error = 0);

    RiffSink& sink_;
    std::uint64_t limit_;
    std::vector<std::uint8_t> buffer_;       // bytes from flushed_ on, not yet in the sink
    std::vector<std::uint64_t> open_chunks_; // offset of each open chunk's header
    std::uint64_t end_ = 0;                  // bytes in the file
    std::uint64_t flushed_ = 0;              // bytes already in the sink
    RiffFailure failure_ = RiffFailure::None;
    int error_ = 0;
};

} // namespace velloran::tools
