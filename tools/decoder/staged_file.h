#pragma once
// A file that appears at its destination whole or not at all: it is written under a hidden
// temporary name in the destination's folder and renamed over the destination only when
// complete, so a full disk, a crash or a refusal never leaves a truncated file, and a link
// planted at the destination is replaced rather than written through.

#include "conversion_status.h"

#include <string>

namespace velloran::tools {

/// Why staging or committing failed: the exit code and a plain message for the user.
struct StageError {
    conversion::ExitCode code = conversion::kConverted;
    std::string message;
};

/// The exit code that an errno value from writing or creating a file stands for.
conversion::ExitCode exitCodeForWriteError(int error);

class StagedFile {
public:
    StagedFile() = default;
    ~StagedFile(); // removes the temporary file unless committed
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    /// Checks `destination` and creates the temporary file beside it. A destination that
    /// exists and is neither a regular file nor a link, or that names `source` (also
    /// through a link), is refused without being opened.
    bool create(const std::string& destination, const std::string& source, StageError& error);

    /// The temporary file's descriptor, open for writing.
    int fd() const { return fd_; }
    const std::string& temporaryPath() const { return temporary_; }

    /// Flushes the file to the disk and renames it over the destination.
    bool commit(StageError& error);

    /// Removes the temporary file (also what the destructor does).
    void discard();

private:
    std::string destination_;
    std::string temporary_;
    int fd_ = -1;
    bool keepMode_ = false;
    unsigned mode_ = 0;
};

/// Removes the temporary file of a conversion cut short by SIGTERM, SIGINT or SIGHUP, then
/// ends as the signal would; also turns SIGXFSZ into an ordinary write error (EFBIG).
void installStagedFileSignalHandlers();

} // namespace velloran::tools
