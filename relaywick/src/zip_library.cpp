#include "zip_library.h"

#include <cstdlib>

#include <dlfcn.h>

namespace relaywick {

std::string ZipLibrary::OwnFolder() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<const void*>(&ZipLibrary::OwnFolder), &info) || !info.dli_fname)
        return {};
    std::string path = info.dli_fname;
    // A module found through a relative search entry carries a relative name; the folder
    // must not change with the current folder.
    if (path.empty() || path.front() != '/') {
        char* absolute = realpath(info.dli_fname, nullptr);
        if (!absolute)
            return {};
        path = absolute;
        std::free(absolute);
    }
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool ZipLibrary::Load(const std::string& folder) {
    if (handle_)
        return true;
    const std::string beside = folder.empty() ? OwnFolder() : folder;
    if (!beside.empty())
        handle_ = dlopen((beside + "/" ZIPDLL_FILE_NAME).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_ && folder.empty())
        handle_ = dlopen(ZIPDLL_FILE_NAME, RTLD_NOW | RTLD_LOCAL);
    if (!handle_)
        return false;
    basicZip_ = reinterpret_cast<BasicZipFunction>(dlsym(handle_, "BasicZip"));
    unzip_ = reinterpret_cast<UnzipFunction>(dlsym(handle_, "Unzip"));
    return true;
}

void ZipLibrary::Unload() {
    basicZip_ = nullptr;
    unzip_ = nullptr;
    if (handle_)
        dlclose(handle_);
    handle_ = nullptr;
}

} // namespace relaywick
