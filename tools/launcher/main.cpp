// tolvane: checks that the recording exists, then runs quillmere on the same request and
// waits for it, so that the wave file is complete when this program ends.
//   tolvane 'source.dss|destination.wav'
// Ends with exit code 0 whatever happens.

#include "command_text.h"
#include "message_box.h"
#include "process.h"

#include <exception>
#include <sys/stat.h>

namespace {

using namespace velloran::tools;

constexpr const char* kDecoderName = "quillmere";

void run(int argc, const char* const* argv) {
    const ConversionRequest request = splitRequest(joinArguments(argc, argv));
    // A folder passes too: the decoder decides what it can read. Anything else that is
    // not a file (a FIFO would hold the decoder for ever) counts as missing.
    struct stat info {};
    if (::stat(request.source.c_str(), &info) != 0 ||
        !(S_ISREG(info.st_mode) || S_ISDIR(info.st_mode))) {
        showMessage("Tolvane", "Unable to find file: " + request.source);
        return;
    }
    // The programs are installed together, so the copy beside this one comes first; the
    // current folder is never searched.
    const auto decoder = findProgram(kDecoderName, ownExecutableFolder());
    if (!decoder)
        return;
    runAndWait(*decoder, {requestText(request)});
}

} // namespace

int main(int argc, char** argv) {
    try {
        run(argc, argv);
    } catch (const std::exception&) {
        // The caller looks only at the wave file.
    }
    return 0;
}
