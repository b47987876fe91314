#pragma once
// Finding and running helper programs without a shell.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velloran::tools {

/// The folder holding the running program (from /proc/self/exe); empty if it cannot be read.
std::filesystem::path ownExecutableFolder();

/// Looks for an executable file called `name`: first in `firstFolder` (when not empty),
/// then in the absolute folders of PATH. Empty and relative PATH entries are skipped, so
/// the current folder is never searched.
std::optional<std::filesystem::path> findProgram(std::string_view name,
                                                 const std::filesystem::path& firstFolder = {});

/// Starts `program` with `arguments` (argv[0] is the program path) and waits for it to end.
/// Returns its exit status (128 + the signal's number when a signal ended it, as shells
/// report it), or nullopt when it could not be started.
std::optional<int> runAndWait(const std::filesystem::path& program,
                              const std::vector<std::string>& arguments);

} // namespace velloran::tools
