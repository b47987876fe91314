#pragma once
// How quillmere reaches libdsscore: the entry points bound when the program loads, and the
// same library loaded again by name at run time.

#include "dsscore.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace velloran::tools {

// Taken from the library's header, so the entry points looked up by name cannot drift from
// the ones bound at load time.
using DssSetTransWayFn = decltype(&DSSSetTransWAY);
using DssTransInitDecoderFn = decltype(&DSSTransInitDecoder);
using DssActiveFolderFn = decltype(&DSSActiveFolder);
using DssActiveFileFn = decltype(&DSSActiveFile);
using DssTransStartDecodingFn = decltype(&DSSTransStartDecoding);
using DssTransGetPcmFn = decltype(&DSSTransGetPCM);
using DssInitDecoderFn = decltype(&DSSInitDecoder);
using DssStartDecodingFn = decltype(&DSSStartDecoding);
using DssDecodeToPcmFn = decltype(&DSSDecodeToPCM);
using DssGetDamageReportFn = decltype(&DSSGetDamageReport);

/// The entry points bound when the program loads (the transcription interface).
struct ImportedCore {
    DssSetTransWayFn setTransWay = nullptr;
    DssTransInitDecoderFn transInitDecoder = nullptr;
    DssActiveFolderFn activeFolder = nullptr;
    DssActiveFileFn activeFile = nullptr;
    DssTransStartDecodingFn transStartDecoding = nullptr;
    DssTransGetPcmFn transGetPcm = nullptr;
    /// Optional: without it no damage or read error is known.
    DssGetDamageReportFn damageReport = nullptr;
};

/// Owns a dlopen handle; closes it when destroyed.
class SharedLibrary {
public:
    SharedLibrary() = default;
    /// Loads `path` (a file path, or a bare name for the loader's search). Empty on failure.
    static SharedLibrary open(const std::string& path);
    ~SharedLibrary();
    SharedLibrary(SharedLibrary&& other) noexcept;
    SharedLibrary& operator=(SharedLibrary&& other) noexcept;
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    explicit operator bool() const { return handle_ != nullptr; }
    /// The address of `name`, or null when the library lacks it.
    void* symbol(const char* name) const;

private:
    explicit SharedLibrary(void* handle) : handle_(handle) {}
    void* handle_ = nullptr;
};

/// The second interface, looked up by name; an entry point the library lacks stays null.
struct LoadedCore {
    SharedLibrary library;
    DssInitDecoderFn initDecoder = nullptr;
    DssActiveFolderFn activeFolder = nullptr;
    DssActiveFileFn activeFile = nullptr;
    DssStartDecodingFn startDecoding = nullptr;
    DssDecodeToPcmFn decodeToPcm = nullptr;
    DssGetDamageReportFn damageReport = nullptr; ///< optional, as in ImportedCore
};

/// Produces the second interface, or nullopt when the library cannot be loaded.
using CoreLoader = std::function<std::optional<LoadedCore>()>;

/// File name of the decoding library.
inline constexpr const char* kCoreLibraryName = "libdsscore.so";

/// Loads `kCoreLibraryName` from `folder` when it lies there, else through the loader's
/// own search, and looks up the five entry points by their exact names.
std::optional<LoadedCore> loadCoreByName(const std::filesystem::path& folder);

} // namespace velloran::tools
