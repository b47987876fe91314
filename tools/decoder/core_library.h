#pragma once
// How quillmere reaches libdsscore: the entry points bound when the program loads, and the
// same library loaded again by name at run time.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace velloran::tools {

using DssSetTransWayFn = int (*)(std::int32_t mode);
using DssTransInitDecoderFn = int (*)(const std::int32_t* options);
using DssActiveFolderFn = int (*)(const char* folder, std::int32_t reserved);
using DssActiveFileFn = int (*)(const char* path, std::int32_t* info, std::uint8_t* kind);
using DssTransStartDecodingFn = int (*)();
using DssTransGetPcmFn = int (*)(std::uint8_t* buffer);
using DssInitDecoderFn = int (*)(std::int32_t reserved, const std::int32_t* options);
using DssStartDecodingFn = int (*)(std::int32_t reserved);
using DssDecodeToPcmFn = int (*)(std::uint8_t** buffer, std::int32_t* flag);

/// The entry points bound when the program loads (the transcription interface).
struct ImportedCore {
    DssSetTransWayFn setTransWay = nullptr;
    DssTransInitDecoderFn transInitDecoder = nullptr;
    DssActiveFolderFn activeFolder = nullptr;
    DssActiveFileFn activeFile = nullptr;
    DssTransStartDecodingFn transStartDecoding = nullptr;
    DssTransGetPcmFn transGetPcm = nullptr;
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
};

/// Produces the second interface, or nullopt when the library cannot be loaded.
using CoreLoader = std::function<std::optional<LoadedCore>()>;

/// File name of the decoding library.
inline constexpr const char* kCoreLibraryName = "libdsscore.so";

/// Loads `kCoreLibraryName` from `folder` when it lies there, else through the loader's
/// own search, and looks up the five entry points by their exact names.
std::optional<LoadedCore> loadCoreByName(const std::filesystem::path& folder);

} // namespace velloran::tools
