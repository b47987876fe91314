// A file written under a hidden name beside its final place and renamed over that place
// only once it is whole: whoever opens the final name finds the old file or the new one,
// never a piece, and a link in the final place is replaced, never written through.
#pragma once

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <ctime>
#include <string>

#include <fcntl.h>
#include <stdio.h>
#include <sys/random.h>
#include <unistd.h>

#include "unique_fd.h"

namespace relaywick {

class TempFile {
public:
    TempFile() = default;
    ~TempFile() { Discard(); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    // Creates ".<name>.<random>" in the folder of `finalPath` (relative to `dir`, which may
    // be AT_FDCWD). False with errno set.
    bool Create(int dir, const std::string& finalPath) {
        Discard();
        const auto slash = finalPath.rfind('/');
        const std::string folder = slash == std::string::npos ? "" : finalPath.substr(0, slash + 1);
        std::string base = finalPath.substr(folder.size());
        // Room for the dot and the suffix within the 255 bytes of a name.
        base.resize(std::min<std::size_t>(base.size(), kMaxBase));
        for (int attempt = 0; attempt < kAttempts; ++attempt) {
            std::string name = folder + "." + base + "." + RandomSuffix();
            UniqueFd fd(::openat(dir, name.c_str(),
                                 O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
            if (fd) {
                dir_ = dir;
                final_ = finalPath;
                temp_ = std::move(name);
                fd_ = std::move(fd);
                return true;
            }
            if (errno != EEXIST)
                return false;
        }
        return false;
    }

    // True from Create until Commit or Discard.
    bool Active() const { return !temp_.empty(); }
    int fd() const { return fd_.get(); }

    // Flushes the content to the disk. False with errno set.
    bool Sync() { return ::fsync(fd_.get()) == 0; }

    // Closes the file and renames it over the final path; on failure the temporary file is
    // removed. False with errno set.
    bool Commit() {
        if (fd_.close() != 0 || ::renameat(dir_, temp_.c_str(), dir_, final_.c_str()) != 0) {
            const int error = errno;
            Discard();
            errno = error;
            return false;
        }
        temp_.clear();
        return true;
    }

    // Closes and removes the temporary file, if any.
    void Discard() {
        fd_.reset();
        if (!temp_.empty())
            ::unlinkat(dir_, temp_.c_str(), 0);
        temp_.clear();
    }

private:
    static constexpr std::size_t kMaxBase = 240;
    static constexpr int kAttempts = 100;

    static std::string RandomSuffix() {
        static const char letters[] =
            "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
        unsigned char bytes[8];
        if (::getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
            // No entropy yet (early boot): a counter and the clock still differ per try.
            static std::atomic<unsigned> counter{0};
            timespec now{};
            ::clock_gettime(CLOCK_MONOTONIC, &now);
            unsigned long long mix = static_cast<unsigned long long>(now.tv_nsec) ^
                                     (static_cast<unsigned long long>(counter++) << 32) ^
                                     static_cast<unsigned long long>(::getpid());
            for (unsigned char& b : bytes) {
                b = static_cast<unsigned char>(mix >> 33);
                mix = mix * 6364136223846793005ULL + 1442695040888963407ULL;
            }
        }
        std::string suffix;
        for (unsigned char b : bytes)
            suffix += letters[b % (sizeof letters - 1)];
        return suffix;
    }

    int dir_ = AT_FDCWD;
    std::string final_;
    std::string temp_;
    UniqueFd fd_;
};

} // namespace relaywick
