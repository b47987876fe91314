#include "staged_file.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace velloran::tools {

using namespace conversion;

namespace {

constexpr int kNameAttempts = 100;

// The temporary file a signal handler must remove: written before `armed` is set, so the
// handler only ever reads a complete name.
char pendingPath[PATH_MAX + 1];
std::atomic<bool> armed{false};

void arm(const std::string& path) {
    if (path.size() > PATH_MAX)
        return;
    armed.store(false);
    std::memcpy(pendingPath, path.c_str(), path.size() + 1);
    armed.store(true);
}

void disarm() {
    armed.store(false);
}

extern "C" void removePendingAndDie(int signal) {
    if (armed.load())
        ::unlink(pendingPath);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string randomSuffix() {
    static constexpr char kLetters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    static std::mt19937 generator{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
    std::string suffix(6, 'x');
    for (auto& letter : suffix)
        letter = kLetters[pick(generator)];
    return suffix;
}

bool refuse(StageError& error, ExitCode code, const std::string& message) {
    error.code = code;
    error.message = message;
    return false;
}

bool writeFailure(StageError& error, const std::string& destination, int errorNumber) {
    return refuse(error, exitCodeForWriteError(errorNumber),
                  "Unable to write " + destination + ": " + std::strerror(errorNumber));
}

} // namespace

ExitCode exitCodeForWriteError(int error) {
    switch (error) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG: // a file-size limit: no room for this file either
        return kDiskFull;
    case EACCES:
    case EPERM:
    case EROFS:
    case ENOENT:
    case ENOTDIR:
    case EISDIR:
    case ELOOP:
    case ENAMETOOLONG:
        return kDestinationRefused;
    default:
        return kFailed;
    }
}

StagedFile::~StagedFile() {
    discard();
}

void StagedFile::discard() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
        disarm();
    }
    temporary_.clear();
}

bool StagedFile::create(const std::string& destination, const std::string& source,
                        StageError& error) {
    discard();
    struct stat target {};
    if (::lstat(destination.c_str(), &target) == 0) {
        // Only a regular file is replaced; opening a FIFO or a device could hang or
        // write into something that is not a file at all. A link is replaced by the
        // rename, and what it points to is left alone.
        if (!S_ISREG(target.st_mode) && !S_ISLNK(target.st_mode))
            return refuse(error, kDestinationRefused,
                          "Unable to write " + destination + ": it is not a regular file");
        if (S_ISREG(target.st_mode)) {
            keepMode_ = true;
            mode_ = target.st_mode & 07777;
        }
    }
    // Replacing the recording while it is being read would destroy it.
    struct stat a {};
    struct stat b {};
    if (::stat(source.c_str(), &a) == 0 && ::stat(destination.c_str(), &b) == 0 &&
        a.st_dev == b.st_dev && a.st_ino == b.st_ino)
        return refuse(error, kDestinationRefused,
                      "Unable to write " + destination + ": it is the recording itself");

    const std::string prefix = folderOf(destination) + "/." + nameOf(destination) + ".";
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::string candidate = prefix + randomSuffix();
        arm(candidate);
        const int fd =
            ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            fd_ = fd;
            temporary_ = candidate;
            destination_ = destination;
            return true;
        }
        const int why = errno;
        disarm();
        if (why != EEXIST)
            return writeFailure(error, destination, why);
    }
    return writeFailure(error, destination, EEXIST);
}

bool StagedFile::commit(StageError& error) {
    if (fd_ < 0)
        return refuse(error, kFailed, "Unable to write " + destination_);
    // The mode of the file it replaces, as writing into that file would have kept it.
    if (keepMode_)
        ::fchmod(fd_, mode_);
    // The data must be on the disk before the name points at it, or a crash could leave
    // a whole-looking file of zeros.
    if (::fsync(fd_) != 0) {
        const int why = errno;
        discard();
        return writeFailure(error, destination_, why);
    }
    const int closed = ::close(fd_);
    fd_ = -1;
    if (closed != 0) {
        const int why = errno;
        discard();
        return writeFailure(error, destination_, why);
    }
    if (::rename(temporary_.c_str(), destination_.c_str()) != 0) {
        const int why = errno;
        discard();
        return writeFailure(error, destination_, why);
    }
    disarm();
    temporary_.clear();
    const int folder = ::open(folderOf(destination_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder); // the rename itself; the file is whole either way
        ::close(folder);
    }
    return true;
}

void installStagedFileSignalHandlers() {
    struct sigaction action {};
    action.sa_handler = removePendingAndDie;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);
    std::signal(SIGXFSZ, SIG_IGN);
}

} // namespace velloran::tools
