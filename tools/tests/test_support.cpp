#include "test_support.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace velloran::testing {

TempDir::TempDir(const char* base) {
    if (base == nullptr)
        base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/velloran-tools.XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::vector<std::uint8_t> readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

void writeText(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

std::string readText(const fs::path& path) {
    const auto bytes = readBytes(path);
    return {bytes.begin(), bytes.end()};
}

void writeScript(const fs::path& path, const std::string& body) {
    writeText(path, "#!/bin/sh\n" + body);
    fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
}

std::uint32_t le32(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return bytes.at(at) | bytes.at(at + 1) << 8 | bytes.at(at + 2) << 16 |
           static_cast<std::uint32_t>(bytes.at(at + 3)) << 24;
}

std::uint16_t le16(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes.at(at) | bytes.at(at + 1) << 8);
}

RunResult runProgram(const fs::path& program, const std::vector<std::string>& arguments,
                     const fs::path& folder,
                     const std::map<std::string, std::optional<std::string>>& environment) {
    std::map<std::string, std::string> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text(*entry);
        const auto equals = text.find('=');
        if (equals != std::string::npos)
            variables[text.substr(0, equals)] = text.substr(equals + 1);
    }
    for (const auto& [name, value] : environment) {
        if (value)
            variables[name] = *value;
        else
            variables.erase(name);
    }
    std::vector<std::string> envText;
    for (const auto& [name, value] : variables)
        envText.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (auto& text : envText)
        envp.push_back(text.data());
    envp.push_back(nullptr);

    std::vector<std::string> argText{program.string()};
    argText.insert(argText.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& text : argText)
        argv.push_back(text.data());
    argv.push_back(nullptr);

    const char* base = std::getenv("TMPDIR");
    std::string errorsPattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/velloran-stderr.XXXXXX";
    std::string outputPattern = errorsPattern;
    const int errorsFd = ::mkstemp(errorsPattern.data());
    const int outputFd = ::mkstemp(outputPattern.data());
    if (errorsFd < 0 || outputFd < 0)
        throw std::runtime_error("mkstemp failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, errorsFd, STDERR_FILENO);
    posix_spawn_file_actions_adddup2(&actions, outputFd, STDOUT_FILENO);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    pid_t child = 0;
    const int spawned =
        ::posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(errorsFd);
    ::close(outputFd);
    RunResult result;
    if (spawned == 0) {
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    result.errors = readText(errorsPattern);
    ::unlink(errorsPattern.c_str());
    result.output = readText(outputPattern);
    ::unlink(outputPattern.c_str());
    if (spawned != 0)
        throw std::runtime_error("cannot start " + program.string());
    return result;
}

fs::path appDir() {
    const char* dir = std::getenv("VELLORAN_APPDIR");
    if (dir == nullptr)
        throw std::runtime_error("VELLORAN_APPDIR is not set");
    return dir;
}

namespace {

void runFfmpeg(const TempDir& scratch, const std::vector<std::string>& arguments) {
    std::vector<std::string> all{"-hide_banner", "-nostdin", "-loglevel", "error", "-y"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    const RunResult result = runProgram("/usr/bin/ffmpeg", all, scratch.path());
    if (result.status != 0)
        throw std::runtime_error("ffmpeg failed: " + result.errors);
}

} // namespace

std::vector<Frame> encodeLpFrames(const TempDir& scratch, double seconds) {
    const fs::path raw = scratch / "tone.g723";
    // A tone with a slow sweep, so consecutive frames differ.
    runFfmpeg(scratch,
              {"-f", "lavfi", "-i",
               "aevalsrc=0.5*sin(2*PI*(220+40*t)*t):s=8000:d=" + std::to_string(seconds), "-ar",
               "8000", "-ac", "1", "-c:a", "g723_1", "-b:a", "6300", "-f", "g723_1", raw.string()});
    const auto bytes = readBytes(raw);
    fs::remove(raw);
    return splitLpFrames(bytes);
}

std::vector<std::uint8_t> ffmpegPcm(const TempDir& scratch, const fs::path& dss) {
    const fs::path out = scratch / "reference.pcm";
    runFfmpeg(scratch, {"-i", dss.string(), "-f", "s16le", out.string()});
    auto pcm = readBytes(out);
    fs::remove(out);
    return pcm;
}

void writeDss(const fs::path& path, const DssRecording& recording) {
    writeBytes(path, buildDss(recording));
}

std::vector<std::uint8_t> waveData(const fs::path& wave, std::uint32_t rate) {
    const auto bytes = readBytes(wave);
    EXPECT_GE(bytes.size(), 44u);
    if (bytes.size() < 44)
        return {};
    const std::uint32_t size = static_cast<std::uint32_t>(bytes.size() - 44);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RIFF");
    EXPECT_EQ(le32(bytes, 4), 36 + size);
    EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(le32(bytes, 16), 16u);
    EXPECT_EQ(le16(bytes, 20), 1);
    EXPECT_EQ(le16(bytes, 22), 1);
    EXPECT_EQ(le32(bytes, 24), rate);
    EXPECT_EQ(le32(bytes, 28), rate * 2);
    EXPECT_EQ(le16(bytes, 32), 2);
    EXPECT_EQ(le16(bytes, 34), 16);
    EXPECT_EQ(std::string(bytes.begin() + 36, bytes.begin() + 40), "data");
    EXPECT_EQ(le32(bytes, 40), size);
    return {bytes.begin() + 44, bytes.end()};
}

} // namespace velloran::testing
