// quillmere: converts one DSS dictation into a 16-bit mono PCM wave file.
//   quillmere 'source.dss|destination.wav'
// Ends with exit code 0 whatever happens; the caller looks only at the wave file.

#include "command_text.h"
#include "core_library.h"
#include "dsscore.h"
#include "message_box.h"
#include "process.h"
#include "speech_decoder.h"

#include <exception>

extern "C" {
#include <libavutil/log.h>
}

namespace {

using namespace velloran::tools;

constexpr const char* kUsage = "Invalid Argument - Method to Call the Exe is as follows: \n"
                               "  <ExeName> <SourceFile>|<DestFile> ";

ImportedCore importedCore() {
    ImportedCore core;
    core.setTransWay = &DSSSetTransWAY;
    core.transInitDecoder = &DSSTransInitDecoder;
    core.activeFolder = &DSSActiveFolder;
    core.activeFile = &DSSActiveFile;
    core.transStartDecoding = &DSSTransStartDecoding;
    core.transGetPcm = &DSSTransGetPCM;
    return core;
}

void run(int argc, const char* const* argv) {
    const ConversionRequest request = splitRequest(joinArguments(argc, argv));
    if (request.source.empty() || request.destination.empty()) {
        showMessage("Error", kUsage);
        return;
    }
    if (request.source.size() > kMaxSourceLength) {
        showMessage("Error", "The source path is longer than 255 characters and cannot be "
                             "converted: " +
                                 request.source);
        return;
    }
    SpeechDecoder decoder(importedCore(), [] { return loadCoreByName(ownExecutableFolder()); });
    decoder.convertToWave(request.source, request.destination);
}

} // namespace

int main(int argc, char** argv) {
    // The library decodes through FFmpeg, whose notices (such as its duration estimate) mean
    // nothing to someone who asked for a wave file; real errors still show.
    av_log_set_level(AV_LOG_ERROR);
    try {
        run(argc, argv);
    } catch (const std::exception&) {
        // Nothing is reported through the exit code; the wave file tells the outcome.
    }
    return 0;
}
