#pragma once
// A RIFF file writer that works like the multimedia file calls it replaces: a chunk's
// header goes out with size 0 when the chunk is opened, and closing the chunk goes back
// and fills the size in.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace velloran::tools {

/// A four-character chunk identifier such as "RIFF" or "data".
using FourCc = std::array<char, 4>;

constexpr FourCc fourCc(const char (&text)[5]) {
    return {text[0], text[1], text[2], text[3]};
}

/// Writes one RIFF file. A writer destroyed with chunks still open leaves their sizes at
/// 0, which is how a conversion that stopped half-way shows in the file.
class RiffWriter {
public:
    RiffWriter() = default;
    RiffWriter(const RiffWriter&) = delete;
    RiffWriter& operator=(const RiffWriter&) = delete;

    /// Creates `path`, or truncates it when it exists.
    bool create(const std::string& path);
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
    /// Closes the file; false when any write failed or a chunk is still open.
    bool close();

private:
    struct FileCloser {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    bool put(const void* data, std::size_t size);
    bool putAt(std::uint64_t offset, std::uint32_t value);

    std::unique_ptr<std::FILE, FileCloser> file_;
    std::vector<std::uint64_t> open_chunks_; // offset of each open chunk's header
    std::uint64_t end_ = 0;                  // bytes in the file
    bool failed_ = false;
};

} // namespace velloran::tools
