// libdsscore on arbitrary file contents, through both of its interfaces: opening never
// crashes, and decoding what opened ends.
#include "dsscore.h"
#include "fuzz_support.h"

#include <array>

extern "C" {
#include <libavutil/log.h>
}

using namespace velloran;

namespace {
// Far more buffers than a recording of fuzzer size can fill.
constexpr int kMaxBuffers = 20000;
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    av_log_set_level(AV_LOG_QUIET);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = fuzz::writeScratchFile("in.dss", data, size);
    const std::int32_t options = 5;
    DSSTransInitDecoder(&options);
    std::int32_t info = 0;
    std::uint8_t kind = 0;
    if (DSSActiveFile(path.c_str(), &info, &kind) != DSS_OK)
        return 0;
    if (kind == DSS_KIND_SP && DSSTransStartDecoding() == DSS_OK) {
        std::array<std::uint8_t, DSS_SP_BUFFER_BYTES> buffer{};
        int buffers = 0;
        while (DSSTransGetPCM(buffer.data()) != 0)
            if (++buffers > kMaxBuffers)
                fuzz::fail("SP decoding does not end");
    }
    // The second interface starts again from the beginning.
    DSSInitDecoder(0, &options);
    if (DSSActiveFile(path.c_str(), &info, &kind) != DSS_OK || DSSStartDecoding(0) != DSS_OK)
        return 0;
    for (int buffers = 0;; ++buffers) {
        std::uint8_t* pcm = nullptr;
        std::int32_t flag = 0;
        DSSDecodeToPCM(&pcm, &flag);
        if (pcm == nullptr)
            break;
        if (buffers > kMaxBuffers)
            fuzz::fail("decoding does not end");
    }
    return 0;
}
