// quillmere's wave output on a disk that fills up at any byte: a sequence of chunk
// operations chosen by the input goes through a RiffWriter into a staged file whose writes
// start failing where the input says. The destination must then be either absent, or a
// whole RIFF file whose sizes agree with its length; no temporary file may stay behind.
#include "riff_writer.h"
#include "fuzz_support.h"
#include "staged_file.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>
#include <vector>

using namespace velloran;
using tools::RiffFailure;

namespace {

// Writes fail with `error` once they would reach past `room` bytes.
class FillingSink : public tools::RiffSink {
public:
    FillingSink(int fd, std::uint64_t room, int error) : file_(fd), room_(room), error_(error) {}
    int writeAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) override {
        if (offset + bytes.size() > room_)
            return error_;
        return file_.writeAt(offset, bytes);
    }

private:
    tools::FileSink file_;
    std::uint64_t room_;
    int error_;
};

std::uint32_t le32(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
           static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

// Every chunk inside [begin, end) fits its parent exactly, pad bytes included.
bool chunksFit(const std::vector<std::uint8_t>& bytes, std::size_t begin, std::size_t end) {
    while (begin < end) {
        if (end - begin < 8)
            return false;
        const std::uint64_t size = le32(bytes, begin + 4);
        const std::uint64_t next = begin + 8 + size + size % 2;
        if (next > end)
            return false;
        begin = static_cast<std::size_t>(next);
    }
    return true;
}

// Each whole file is flushed to the disk before its rename; on tmpfs that costs nothing,
// elsewhere it would hold every run for a disk flush.
// The folder is removed at exit from a copy of its name that outlives every destructor.
char shmFolder[64];

const std::string& workFolder() {
    static const std::string folder = [] {
        std::string pattern = "/dev/shm/fuzz-riff.XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr)
            return fuzz::scratchFolder();
        pattern.copy(shmFolder, sizeof shmFolder - 1);
        std::atexit([] { std::filesystem::remove_all(shmFolder); });
        return pattern;
    }();
    return folder;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4)
        return 0;
    const std::uint64_t room = (data[0] | data[1] << 8) * 4u;
    const std::uint64_t limit = 12 + (data[2] << 6);
    const int error = data[3] % 2 == 0 ? ENOSPC : EIO;
    const std::string& folder = workFolder();
    const std::string destination = folder + "/out.wav";
    std::filesystem::remove(destination);

    bool ok = true;
    {
        tools::StagedFile staged;
        tools::StageError stageError;
        if (!staged.create(destination, folder + "/no-source", stageError))
            fuzz::fail("the temporary file cannot be created");
        FillingSink sink(staged.fd(), room, error);
        tools::RiffWriter wave(sink, limit);
        ok = wave.openForm(tools::fourCc("WAVE"));
        std::vector<std::uint8_t> filler;
        int depth = 0; // chunks open inside the form: loose bytes go only into those
        for (std::size_t i = 4; i < size; ++i) {
            const std::uint8_t op = data[i];
            switch (op % 4) {
            case 0:
                if (wave.openChunk(tools::fourCc("chnk")))
                    ++depth;
                else
                    ok = false;
                break;
            case 1:
                filler.assign(op / 4 * 37u, op);
                if (depth > 0)
                    ok = wave.write(filler) && ok;
                break;
            case 2:
                if (wave.closeChunk())
                    --depth;
                else
                    ok = false;
                break;
            default:
                filler.assign(op / 4, op);
                ok = wave.writeChunk(tools::fourCc("item"), filler) && ok;
                break;
            }
        }
        ok = wave.finish() && ok;
        if (!ok && wave.failure() == RiffFailure::None)
            fuzz::fail("a failed call left no reason");
        if (wave.failure() == RiffFailure::Io && wave.error() != error)
            fuzz::fail("the sink's error was not kept");
        if (wave.size() > limit)
            fuzz::fail("the file outgrew its limit");
        if (ok && !staged.commit(stageError))
            fuzz::fail("a whole file could not be committed");
        // A failed file is dropped with `staged`.
    }

    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder))
        ++entries;
    if (!ok) {
        if (entries != 0)
            fuzz::fail("a failed file left something behind");
        return 0;
    }
    if (entries != 1)
        fuzz::fail("a temporary file stayed beside the whole one");
    std::ifstream in(destination, std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                          std::istreambuf_iterator<char>()};
    if (bytes.size() < 12 || le32(bytes, 4) != bytes.size() - 8 ||
        !chunksFit(bytes, 12, bytes.size()))
        fuzz::fail("the sizes of a whole file do not match its content");
    std::filesystem::remove(destination);
    return 0;
}
