// The multipart body builder: whatever the names and values, the parts read back as
// exactly the fields given, in order; no name can end its quoted parameter or start a
// header of its own.
#include "fuzz_support.h"
#include "http.h"

#include <string_view>

using namespace velloran;

namespace {

constexpr std::string_view kBoundary = "b0undary";

// Reads one quoted parameter value up to its closing quote; it must hold no quote or line
// break.
bool readQuoted(std::string_view& rest, std::string_view& value) {
    const auto end = rest.find('"');
    if (end == std::string_view::npos)
        return false;
    value = rest.substr(0, end);
    rest.remove_prefix(end + 1);
    return value.find_first_of("\r\n") == std::string_view::npos;
}

bool consume(std::string_view& rest, std::string_view prefix) {
    if (rest.substr(0, prefix.size()) != prefix)
        return false;
    rest.remove_prefix(prefix.size());
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The local file name, then name and value in turn.
    const std::vector<std::string> parts = fuzz::splitAtZeros(data, size);
    relaywick::CHttp http;
    http.SetLocalFile(parts[0]);
    std::vector<std::string> values;
    for (std::size_t i = 1; i + 1 < parts.size(); i += 2) {
        http.AddField(parts[i], parts[i + 1]);
        values.push_back(parts[i + 1]);
    }
    const std::string boundary(kBoundary);

    const std::string filePart = http.BuildFilePart(boundary);
    std::string_view rest = filePart;
    std::string_view name;
    if (parts[0].empty() ? !filePart.empty()
                         : !(consume(rest, "--" + boundary +
                                               "\r\nContent-Disposition: form-data; "
                                               "name=\"FILE\"; filename=\"") &&
                             readQuoted(rest, name) &&
                             consume(rest, "\r\nContent-Type: text/html\r\n\r\n") && rest.empty()))
        fuzz::fail("file part");

    const std::string fields = http.BuildFieldParts(boundary);
    rest = fields;
    for (const std::string& value : values) {
        if (!consume(rest, "\r\n--" + boundary + "\r\nContent-Disposition: form-data; name=\"") ||
            !readQuoted(rest, name) || !consume(rest, "\r\n\r\n") || !consume(rest, value))
            fuzz::fail("field part");
    }
    if (rest != "\r\n--" + boundary)
        fuzz::fail("closing boundary");
    return 0;
}
