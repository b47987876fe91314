#include "riff_writer.h"

#include <algorithm>
#include <limits>

namespace velloran::tools {

namespace {

constexpr std::size_t kWriteBuffer = 1 << 16;
constexpr std::uint64_t kChunkHeader = 8;

void storeLittleEndian(std::uint32_t value, std::uint8_t* out) {
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

} // namespace

bool RiffWriter::create(const std::string& path) {
    file_.reset(std::fopen(path.c_str(), "wb"));
    if (!file_)
        return false;
    std::setvbuf(file_.get(), nullptr, _IOFBF, kWriteBuffer);
    open_chunks_.clear();
    end_ = 0;
    failed_ = false;
    return true;
}

bool RiffWriter::put(const void* data, std::size_t size) {
    if (!file_ || failed_)
        return false;
    // The size fields are 32 bits wide; a file that would outgrow them is refused, not
    // written with sizes that have wrapped around.
    if (end_ + size > std::numeric_limits<std::uint32_t>::max() ||
        std::fwrite(data, 1, size, file_.get()) != size) {
        failed_ = true;
        return false;
    }
    end_ += size;
    return true;
}

bool RiffWriter::putAt(std::uint64_t offset, std::uint32_t value) {
    std::uint8_t bytes[4];
    storeLittleEndian(value, bytes);
    if (std::fseek(file_.get(), static_cast<long>(offset), SEEK_SET) != 0 ||
        std::fwrite(bytes, 1, sizeof bytes, file_.get()) != sizeof bytes ||
        std::fseek(file_.get(), static_cast<long>(end_), SEEK_SET) != 0) {
        failed_ = true;
        return false;
    }
    return true;
}

bool RiffWriter::openForm(FourCc form) {
    if (!open_chunks_.empty() || end_ != 0)
        return false;
    if (!openChunk(fourCc("RIFF")))
        return false;
    return put(form.data(), form.size());
}

bool RiffWriter::openChunk(FourCc id) {
    const std::uint64_t at = end_;
    std::uint8_t header[kChunkHeader] = {};
    std::copy(id.begin(), id.end(), header);
    if (!put(header, sizeof header))
        return false;
    open_chunks_.push_back(at);
    return true;
}

bool RiffWriter::write(std::span<const std::uint8_t> bytes) {
    if (open_chunks_.empty())
        return false;
    return put(bytes.data(), bytes.size());
}

bool RiffWriter::writeChunk(FourCc id, std::span<const std::uint8_t> bytes) {
    return openChunk(id) && write(bytes) && closeChunk();
}

bool RiffWriter::closeChunk() {
    if (open_chunks_.empty() || failed_)
        return false;
    const std::uint64_t at = open_chunks_.back();
    const std::uint64_t size = end_ - at - kChunkHeader;
    if (size % 2 != 0) {
        const std::uint8_t pad = 0;
        if (!put(&pad, 1))
            return false;
    }
    if (!putAt(at + 4, static_cast<std::uint32_t>(size)))
        return false;
    open_chunks_.pop_back();
    return true;
}

bool RiffWriter::close() {
    if (!file_)
        return false;
    const bool complete = open_chunks_.empty() && !failed_;
    const bool closed = std::fclose(file_.release()) == 0;
    open_chunks_.clear();
    return complete && closed;
}

} // namespace velloran::tools
