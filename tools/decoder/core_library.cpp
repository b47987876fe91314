#include "core_library.h"

#include <dlfcn.h>
#include <system_error>
#include <utility>

namespace velloran::tools {

SharedLibrary SharedLibrary::open(const std::string& path) {
    return SharedLibrary(::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL));
}

SharedLibrary::~SharedLibrary() {
    if (handle_ != nullptr)
        ::dlclose(handle_);
}

SharedLibrary::SharedLibrary(SharedLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)) {}

SharedLibrary& SharedLibrary::operator=(SharedLibrary&& other) noexcept {
    if (this != &other) {
        if (handle_ != nullptr)
            ::dlclose(handle_);
        handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
}

void* SharedLibrary::symbol(const char* name) const {
    return handle_ != nullptr ? ::dlsym(handle_, name) : nullptr;
}

namespace {

template <typename Fn>
Fn lookUp(const SharedLibrary& library, const char* name) {
    return reinterpret_cast<Fn>(library.symbol(name));
}

} // namespace

std::optional<LoadedCore> loadCoreByName(const std::filesystem::path& folder) {
    LoadedCore core;
    std::error_code error;
    if (!folder.empty()) {
        const auto beside = folder / kCoreLibraryName;
        if (std::filesystem::is_regular_file(beside, error))
            core.library = SharedLibrary::open(beside.string());
    }
    if (!core.library)
        core.library = SharedLibrary::open(kCoreLibraryName);
    if (!core.library)
        return std::nullopt;
    core.initDecoder = lookUp<DssInitDecoderFn>(core.library, "DSSInitDecoder");
    core.activeFolder = lookUp<DssActiveFolderFn>(core.library, "DSSActiveFolder");
    core.activeFile = lookUp<DssActiveFileFn>(core.library, "DSSActiveFile");
    core.startDecoding = lookUp<DssStartDecodingFn>(core.library, "DSSStartDecoding");
    core.decodeToPcm = lookUp<DssDecodeToPcmFn>(core.library, "DSSDecodeToPCM");
    core.damageReport = lookUp<DssGetDamageReportFn>(core.library, "DSSGetDamageReport");
    return core;
}

} // namespace velloran::tools
