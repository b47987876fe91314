// quillmere: converts one DSS dictation into a 16-bit mono PCM wave file.
//   quillmere 'source.dss|destination.wav'
// Ends with one of the exit codes of conversion_status.h, and says why it failed: a
// failure must not look like success. A conversion that replaced damaged frames writes
// its report line on standard output.

#include "command_text.h"
#include "conversion_status.h"
#include "core_library.h"
#include "dsscore.h"
#include "message_box.h"
#include "process.h"
#include "speech_decoder.h"
#include "staged_file.h"

#include <cstdio>
#include <exception>

extern "C" {
#include <libavutil/log.h>
}

namespace {

using namespace velloran::tools;
using namespace velloran::conversion;

constexpr const char* kCaption = "Quillmere";

constexpr const char* kUsageText = "Invalid Argument - Method to Call the Exe is as follows: \n"
                                   "  <ExeName> <SourceFile>|<DestFile> ";

ImportedCore importedCore() {
    ImportedCore core;
    core.setTransWay = &DSSSetTransWAY;
    core.transInitDecoder = &DSSTransInitDecoder;
    core.activeFolder = &DSSActiveFolder;
    core.activeFile = &DSSActiveFile;
    core.transStartDecoding = &DSSTransStartDecoding;
    core.transGetPcm = &DSSTransGetPCM;
    core.damageReport = &DSSGetDamageReport;
    return core;
}

int run(int argc, const char* const* argv) {
    const ConversionRequest request = splitRequest(joinArguments(argc, argv));
    if (request.source.empty() || request.destination.empty()) {
        showMessage("Error", kUsageText);
        return kUsage;
    }
    if (request.source.size() > kMaxSourceLength) {
        showMessage("Error", "The source path is longer than 255 characters and cannot be "
                             "converted: " +
                                 request.source);
        return kSourceUnreadable;
    }
    installStagedFileSignalHandlers();
    SpeechDecoder decoder(importedCore(), [] { return loadCoreByName(ownExecutableFolder()); });
    const ConversionResult result = decoder.convertToWave(request.source, request.destination);
    if (!result) {
        showMessage(kCaption, result.message);
        return result.code;
    }
    if (const std::string line = damageReportLine(result); !line.empty()) {
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    }
    return kConverted;
}

} // namespace

int main(int argc, char** argv) {
    // The library decodes through FFmpeg, whose notices (such as its duration estimate) mean
    // nothing to someone who asked for a wave file; real errors still show.
    av_log_set_level(AV_LOG_ERROR);
    try {
        return run(argc, argv);
    } catch (const std::exception& error) {
        showMessage(kCaption, std::string("Unable to convert: ") + error.what());
    }
    return kFailed;
}
