// One SendHttpRequest on a transfer object, kept apart from the exports so that tests can
// run it on an object of their own.
#pragma once

#include <string>

#include "http.h"

namespace relaywick {

struct TransferRequest {
    std::string localFile;
    std::string url;
    bool upload = false;
    std::string proxyUser;
    std::string proxyPassword;
    bool secure = false;
};

// Runs the transfer; `text` receives the result text (the answer, "Success" or the error).
bool SendRequest(CHttp& http, const TransferRequest& request, std::string& text);

// Copies at most 255 bytes of `text` into `result` (when not null), filling the rest of
// those 255 bytes with zeros; a text of 255 bytes or more gets no terminator.
void CopyResultText(const std::string& text, char* result);

} // namespace relaywick
