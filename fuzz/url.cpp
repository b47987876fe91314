// Relaywick's URL handling: whatever is accepted names an http or https host that is a
// plain name or address, a port from 1 to 65535 and a request target without blanks or
// control bytes; whatever is refused leaves no target behind.
#include "fuzz_support.h"
#include "http.h"

#include <cctype>

using namespace velloran;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    relaywick::CHttp http;
    const bool ok = http.SetUrl(text);
    if (!ok) {
        if (!http.Server().empty() || !http.Object().empty() ||
            http.ErrorText() != "Incorrect URL.")
            fuzz::fail("a refused URL left a target");
        return 0;
    }
    const std::string& host = http.Server();
    if (host.empty())
        fuzz::fail("empty host");
    if (host.front() != '[')
        for (unsigned char c : host)
            if (!std::isalnum(c) && c != '.' && c != '-' && c != '_')
                fuzz::fail("host with a byte no name has");
    if (http.Object().empty() || http.Object().front() != '/')
        fuzz::fail("request target does not start with '/'");
    for (unsigned char c : http.Object())
        if (c <= 0x20 || c >= 0x7f)
            fuzz::fail("blank or control byte in the request target");
    for (bool secure : {false, true}) {
        http.SetSecure(secure);
        if (http.Port() < 1 || http.Port() > 65535)
            fuzz::fail("port out of range");
    }
    return 0;
}
