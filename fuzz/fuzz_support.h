// Helpers the fuzz targets share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velloran::fuzz {

/// Ends the run so that libFuzzer keeps the input, naming the property that failed.
[[noreturn]] void fail(const char* what);

/// A folder of this process under TMPDIR, made on first use; run.sh removes TMPDIR.
const std::string& scratchFolder();

/// Writes the input to `name` in the scratch folder and returns the path.
std::string writeScratchFile(const std::string& name, const std::uint8_t* data, std::size_t size);

/// The input cut at each zero byte.
std::vector<std::string> splitAtZeros(const std::uint8_t* data, std::size_t size);

} // namespace velloran::fuzz
