// tolvane: checks that the recording exists, then runs quillmere on the same request and
// waits for it, so that the wave file is complete when this program ends.
//   tolvane 'source.dss|destination.wav'
// Ends with quillmere's own exit code, or with one of conversion_status.h when quillmere
// never ran; quillmere's report line reaches the caller on the inherited standard output.

#include "command_text.h"
#include "conversion_status.h"
#include "message_box.h"
#include "process.h"

#include <exception>
#include <sys/stat.h>

namespace {

using namespace velloran::tools;
using namespace velloran::conversion;

constexpr const char* kDecoderName = "quillmere";
// What the program loader answers for a program whose libraries cannot be found.
constexpr int kLoaderFailed = 127;

int run(int argc, const char* const* argv) {
    const ConversionRequest request = splitRequest(joinArguments(argc, argv));
    // A folder passes too: the decoder decides what it can read. Anything else that is
    // not a file (a FIFO would hold the decoder for ever) counts as missing.
    struct stat info {};
    if (::stat(request.source.c_str(), &info) != 0 ||
        !(S_ISREG(info.st_mode) || S_ISDIR(info.st_mode))) {
        showMessage("Tolvane", "Unable to find file: " + request.source);
        return kSourceUnreadable;
    }
    // The programs are installed together, so the copy beside this one comes first; the
    // current folder is never searched.
    const auto decoder = findProgram(kDecoderName, ownExecutableFolder());
    if (!decoder)
        return kDecoderMissing;
    const std::optional<int> status = runAndWait(*decoder, {requestText(request)});
    if (!status || *status == kLoaderFailed)
        return kDecoderMissing;
    // A decoder ended by a signal, or answering something unknown, did not convert.
    return *status >= kConverted && *status <= kFailed ? *status : kFailed;
}

} // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::exception&) {
        return kFailed;
    }
}
