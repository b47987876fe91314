#include "riff_writer.h"

#include <algorithm>
#include <cerrno>
#include <unistd.h>

namespace velloran::tools {

namespace {

constexpr std::size_t kWriteBuffer = 1 << 16;
constexpr std::uint64_t kChunkHeader = 8;

void storeLittleEndian(std::uint32_t value, std::uint8_t* out) {
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

} // namespace

int FileSink::writeAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const ssize_t written =
            ::pwrite(fd_, bytes.data(), bytes.size(), static_cast<off_t>(offset));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (written == 0)
            return EIO;
        bytes = bytes.subspan(static_cast<std::size_t>(written));
        offset += static_cast<std::uint64_t>(written);
    }
    return 0;
}

bool RiffWriter::fail(RiffFailure why, int error) {
    if (failure_ == RiffFailure::None) {
        failure_ = why;
        error_ = error;
    }
    return false;
}

bool RiffWriter::flush() {
    if (buffer_.empty())
        return true;
    if (const int error = sink_.writeAt(flushed_, buffer_); error != 0)
        return fail(RiffFailure::Io, error);
    flushed_ += buffer_.size();
    buffer_.clear();
    return true;
}

bool RiffWriter::put(const void* data, std::size_t size) {
    if (failure_ != RiffFailure::None)
        return false;
    // The size fields are 32 bits wide; a file that would outgrow them is refused, not
    // written with sizes that have wrapped around.
    if (size > limit_ - end_)
        return fail(RiffFailure::TooLong);
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    if (buffer_.size() + size > kWriteBuffer && !flush())
        return false;
    if (size >= kWriteBuffer) {
        if (const int error = sink_.writeAt(flushed_, {bytes, size}); error != 0)
            return fail(RiffFailure::Io, error);
        flushed_ += size;
    } else {
        buffer_.insert(buffer_.end(), bytes, bytes + size);
    }
    end_ += size;
    return true;
}

bool RiffWriter::openForm(FourCc form) {
    if (!open_chunks_.empty() || end_ != 0)
        return fail(RiffFailure::Misuse);
    return openChunk(fourCc("RIFF")) && put(form.data(), form.size());
}

bool RiffWriter::openChunk(FourCc id) {
    // Everything lies inside the one form: a chunk after it would not count in its size.
    if (open_chunks_.empty() && end_ != 0)
        return fail(RiffFailure::Misuse);
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
        return fail(RiffFailure::Misuse);
    return put(bytes.data(), bytes.size());
}

bool RiffWriter::writeChunk(FourCc id, std::span<const std::uint8_t> bytes) {
    return openChunk(id) && write(bytes) && closeChunk();
}

bool RiffWriter::closeChunk() {
    if (failure_ != RiffFailure::None)
        return false;
    if (open_chunks_.empty())
        return fail(RiffFailure::Misuse);
    const std::uint64_t at = open_chunks_.back();
    const std::uint64_t size = end_ - at - kChunkHeader;
    if (size % 2 != 0) {
        const std::uint8_t pad = 0;
        if (!put(&pad, 1))
            return false;
    }
    std::uint8_t field[4];
    storeLittleEndian(static_cast<std::uint32_t>(size), field);
    const std::uint64_t fieldAt = at + 4;
    if (fieldAt >= flushed_) {
        std::copy_n(field, 4, buffer_.begin() + static_cast<std::ptrdiff_t>(fieldAt - flushed_));
    } else if (const int error = sink_.writeAt(fieldAt, field); error != 0) {
        return fail(RiffFailure::Io, error);
    }
    open_chunks_.pop_back();
    return true;
}

bool RiffWriter::finish() {
    if (failure_ != RiffFailure::None)
        return false;
    if (!open_chunks_.empty())
        return fail(RiffFailure::Misuse);
    return flush();
}

} // namespace velloran::tools
