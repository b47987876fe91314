#include "command_text.h"

namespace velloran::tools {

namespace {

constexpr std::string_view kWhiteSpace = " \t\r\n\v\f";

std::string_view trim(std::string_view text) {
    const auto first = text.find_first_not_of(kWhiteSpace);
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(kWhiteSpace);
    return text.substr(first, last - first + 1);
}

} // namespace

std::string joinArguments(int argc, const char* const* argv) {
    std::string text;
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            text += ' ';
        text += argv[i];
    }
    return text;
}

ConversionRequest splitRequest(std::string_view text) {
    const auto bar = text.find('|');
    if (bar == std::string_view::npos)
        return {{}, std::string(trim(text))};
    return {std::string(trim(text.substr(0, bar))), std::string(trim(text.substr(bar + 1)))};
}

std::string requestText(const ConversionRequest& request) {
    return request.source + "|" + request.destination;
}

} // namespace velloran::tools
