// The zip library loaded at run time and its two entry points.
#pragma once

#include <string>

#include "zipdll.h"

namespace relaywick {

class ZipLibrary {
public:
    ZipLibrary() = default;
    ~ZipLibrary() { Unload(); }
    ZipLibrary(const ZipLibrary&) = delete;
    ZipLibrary& operator=(const ZipLibrary&) = delete;

    // Loads libzipdll.so from `folder` when given, else from the folder of the module
    // that holds this code and then from the loader's search path. True once loaded.
    bool Load(const std::string& folder = {});
    void Unload();
    bool Loaded() const { return handle_ != nullptr; }

    // Null when not loaded or when the library lacks the entry point.
    BasicZipFunction basicZip() const { return basicZip_; }
    UnzipFunction unzip() const { return unzip_; }

    // Folder of the module (library or program) that contains this code.
    static std::string OwnFolder();

private:
    void* handle_ = nullptr;
    BasicZipFunction basicZip_ = nullptr;
    UnzipFunction unzip_ = nullptr;
};

} // namespace relaywick
