#pragma once
// The conversion request that the player, tolvane and quillmere pass along:
// source path, "|", destination path.

#include <string>
#include <string_view>

namespace velloran::tools {

/// One conversion: the DSS recording to read and the wave file to write.
struct ConversionRequest {
    std::string source;
    std::string destination;
};

/// The request text a tool received: its arguments after the program name joined by
/// single blanks. The player passes the whole request as one argument; a request typed
/// in a shell with blanks inside the paths arrives split and is put back together here.
std::string joinArguments(int argc, const char* const* argv);

/// Splits at the first "|" and trims white space from both sides of each part. No quoting
/// is removed. Without a "|" the source is empty and the whole text is the destination.
ConversionRequest splitRequest(std::string_view text);

/// The text handed on to the decoder: source, "|", destination, with no blanks added.
std::string requestText(const ConversionRequest& request);

} // namespace velloran::tools
