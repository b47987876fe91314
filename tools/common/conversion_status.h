#pragma once
// What the DSS conversion tools tell the program that started them. The tools end with
// one of these exit codes (tolvane passes quillmere's on), and quillmere writes at most
// one report line on standard output, which tolvane leaves to pass through:
//   damaged <count> <seconds>[ <seconds>...]
// <count> frames of the recording could not be decoded and were replaced by silence of
// their length; the <seconds> (at most kMaxDamageStarts, "." as decimal point, in the
// wave file's time) say where the first damaged stretches begin. Human-readable
// messages go to standard error (and to a dialog where there is a desktop).

namespace velloran::conversion {

enum ExitCode : int {
    kConverted = 0,          ///< the wave file is whole at the destination
    kUsage = 1,              ///< the command line is not "source|destination"
    kSourceUnreadable = 2,   ///< the recording is missing, unreadable or not a DSS recording
    kDestinationRefused = 3, ///< the destination is not a regular file, is the source, or
                             ///< its folder cannot be written
    kDiskFull = 4,           ///< no room (or quota) left for the wave file
    kReadError = 5,          ///< the recording could not be read (an I/O error)
    kDecoderMissing = 6,     ///< the decoder or its library could not be found or started
    kTooLong = 7,            ///< the sound would not fit a wave file's 4 GiB
    kFailed = 8,             ///< any other failure; the message says what
};

/// Where a damage report stops listing starts.
inline constexpr int kMaxDamageStarts = 8;

} // namespace velloran::conversion
