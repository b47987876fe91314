// libzipdll's extraction on arbitrary archive bytes: nothing is ever written outside the
// destination folder, and no link is extracted.
#include "fuzz_support.h"
#include "zipdll.h"

#include <cstring>
#include <filesystem>

namespace fs = std::filesystem;
using namespace velloran;

extern "C" int Unzip(intptr_t archive, intptr_t folder, intptr_t reserved1, intptr_t reserved2,
                     ZipNameCallback callback);

namespace {
// Names must be readable text; the callback reads every byte of each.
int readName(const char* name) {
    return static_cast<int>(std::strlen(name));
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The destination lies two levels down, so that an escape by ".." lands in "outer".
    const fs::path base = fuzz::scratchFolder();
    const fs::path outer = base / "outer";
    const fs::path folder = outer / "into";
    std::error_code ec;
    fs::remove_all(outer, ec);
    fs::create_directories(folder);
    const std::string archive = fuzz::writeScratchFile("in.zip", data, size);
    const std::string target = folder.string();
    Unzip(reinterpret_cast<intptr_t>(archive.c_str()), reinterpret_cast<intptr_t>(target.c_str()),
          0, 0, &readName);
    for (const auto& entry : fs::directory_iterator(outer))
        if (entry.path() != folder)
            fuzz::fail("written outside the destination");
    for (const auto& entry : fs::directory_iterator(base))
        if (entry.path() != outer && entry.path() != fs::path(archive))
            fuzz::fail("written outside the destination");
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_symlink())
            fuzz::fail("a link was extracted");
    fs::remove_all(outer, ec);
    return 0;
}
