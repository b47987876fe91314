#include "process.h"

#include <cerrno>
#include <cstdlib>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace velloran::tools {

namespace {

bool isExecutableFile(const std::filesystem::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

} // namespace

std::filesystem::path ownExecutableFolder() {
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return {};
    return self.parent_path();
}

std::optional<std::filesystem::path> findProgram(std::string_view name,
                                                 const std::filesystem::path& firstFolder) {
    if (name.empty() || name.find('/') != std::string_view::npos)
        return std::nullopt;
    if (!firstFolder.empty()) {
        auto candidate = firstFolder / name;
        if (isExecutableFile(candidate))
            return candidate;
    }
    const char* pathVariable = std::getenv("PATH");
    if (pathVariable == nullptr)
        return std::nullopt;
    std::string_view folders(pathVariable);
    while (true) {
        const auto colon = folders.find(':');
        const std::filesystem::path folder(folders.substr(0, colon));
        if (folder.is_absolute()) {
            auto candidate = folder / name;
            if (isExecutableFile(candidate))
                return candidate;
        }
        if (colon == std::string_view::npos)
            break;
        folders.remove_prefix(colon + 1);
    }
    return std::nullopt;
}

std::optional<int> runAndWait(const std::filesystem::path& program,
                              const std::vector<std::string>& arguments) {
    std::vector<std::string> owned;
    owned.reserve(arguments.size() + 1);
    owned.push_back(program.string());
    owned.insert(owned.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    argv.reserve(owned.size() + 1);
    for (auto& argument : owned)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    pid_t child = 0;
    if (::posix_spawn(&child, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0)
        return std::nullopt;
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR)
            return std::nullopt;
    }
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return WEXITSTATUS(status);
}

} // namespace velloran::tools
