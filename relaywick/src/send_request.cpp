#include "send_request.h"

#include <cstring>

namespace relaywick {

namespace {
constexpr std::size_t kResultBytes = 255;
constexpr std::size_t kTransferBufferSize = 1024;
} // namespace

bool SendRequest(CHttp& http, const TransferRequest& request, std::string& text) {
    http.SetCapture(true);
    http.SetLocalFile(request.localFile);
    http.SetUrl(request.url); // a bad URL leaves its text, and the connection fails below
    http.SetProxyUser(request.proxyUser);
    http.SetProxyPassword(request.proxyPassword);
    http.SetSecure(request.secure);
    http.SetBufferSize(kTransferBufferSize); // Download and Upload refuse to run without it
    if (!http.OpenConnection()) {
        text = "Unable to open Internet connection";
        if (!request.upload)
            http.ClearFields();
        return false;
    }
    const bool ok = request.upload ? http.Upload() : http.Download();
    if (ok)
        text = http.ResponseText().empty() ? std::string("Success") : http.ResponseText();
    else
        text = http.ErrorText();
    http.CloseConnection();
    return ok;
}

void CopyResultText(const std::string& text, char* result) {
    if (result)
        std::strncpy(result, text.c_str(), kResultBytes);
}

} // namespace relaywick
