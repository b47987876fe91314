// The tools' request text: split, joined again and split once more gives the same request,
// and neither part keeps white space at its ends.
#include "command_text.h"
#include "fuzz_support.h"

#include <cctype>

using namespace velloran;

namespace {

bool trimmed(const std::string& text) {
    auto blank = [](char c) {
        return std::isspace(static_cast<unsigned char>(c)) != 0;
    };
    return text.empty() || (!blank(text.front()) && !blank(text.back()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The parts between zero bytes are the arguments, as a shell would pass them.
    const std::vector<std::string> parts = fuzz::splitAtZeros(data, size);
    std::vector<const char*> argv{"quillmere"};
    for (const std::string& part : parts)
        argv.push_back(part.c_str());
    const std::string text = tools::joinArguments(int(argv.size()), argv.data());
    const tools::ConversionRequest request = tools::splitRequest(text);
    if (!trimmed(request.source) || !trimmed(request.destination))
        fuzz::fail("untrimmed part");
    if (request.source.find('|') != std::string::npos)
        fuzz::fail("a '|' in the source");
    const tools::ConversionRequest again = tools::splitRequest(tools::requestText(request));
    if (again.source != request.source || again.destination != request.destination)
        fuzz::fail("request text does not give the request back");
    return 0;
}
