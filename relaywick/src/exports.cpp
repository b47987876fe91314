// The seven functions that callers see. Each one catches everything: nothing may be
// thrown into a C caller.
#include <algorithm>
#include <cstring>
#include <string>

#include "http.h"
#include "relaywick.h"
#include "send_request.h"
#include "zip_library.h"

namespace {

// curl's global set-up must run before the transfer object exists and its tear-down after
// the object is gone; both live in this one file, so their order is the order below.
struct CurlGlobal {
    CurlGlobal() { curl_global_init(CURL_GLOBAL_DEFAULT); }
    ~CurlGlobal() { curl_global_cleanup(); }
    CurlGlobal(const CurlGlobal&) = delete;
    CurlGlobal& operator=(const CurlGlobal&) = delete;
};

CurlGlobal g_curl;
relaywick::CHttp g_http;
relaywick::ZipLibrary g_zip;
char g_lastName[RELAYWICK_NAME_SIZE];

int LastNameCallback(const char* name) {
    if (!name)
        return 0;
    const std::size_t length = std::strlen(name);
    const std::size_t kept = std::min(length, sizeof g_lastName - 1);
    std::memcpy(g_lastName, name, kept);
    g_lastName[kept] = '\0';
    return static_cast<int>(length + 1);
}

const char* OrEmpty(const char* text) {
    return text ? text : "";
}

} // namespace

extern "C" {

unsigned char Init(void) {
    g_http.ClearFields();
    return 1;
}

unsigned char AddUploadVariables(const char* name, const char* value) {
    try {
        return g_http.AddField(OrEmpty(name), OrEmpty(value)) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

unsigned char SendHttpRequest(const char* local_file, const char* url, unsigned char upload,
                              const char* proxy_user, const char* proxy_password,
                              unsigned char secure, char* result) {
    std::string text;
    bool ok = false;
    try {
        ok = relaywick::SendRequest(g_http,
                                    {OrEmpty(local_file), OrEmpty(url), upload != 0,
                                     OrEmpty(proxy_user), OrEmpty(proxy_password), secure != 0},
                                    text);
    } catch (...) {
        g_http.CloseConnection();
        ok = false;
        text = "Fatal Error: Could not allocate memory.";
    }
    relaywick::CopyResultText(text, result);
    return ok ? 1 : 0;
}

unsigned char LoadZipLib(void) {
    try {
        return g_zip.Load() ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

unsigned char UnLoadZipLib(void) {
    g_zip.Unload();
    return 1;
}

unsigned char Zip(intptr_t archive, intptr_t source) {
    const BasicZipFunction basicZip = g_zip.basicZip();
    if (!basicZip)
        return 0;
    return basicZip(archive, source) != 0 ? 1 : 0;
}

unsigned char UnZip(intptr_t archive, intptr_t folder, char* last_name) {
    const UnzipFunction unzip = g_zip.unzip();
    if (!unzip)
        return 0;
    const int done = unzip(archive, folder, 0, 0, &LastNameCallback);
    if (last_name)
        std::memcpy(last_name, g_lastName, sizeof g_lastName);
    return done != 0 ? 1 : 0;
}

} // extern "C"
