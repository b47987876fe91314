#pragma once

#include <QString>

namespace velloran {

/// Every action, one line each: its name, what it does, its default key.
QString actionList();

/// Answers --version and --help on standard output before any window or
/// display is touched (they work without a desktop, as in a package check).
/// Returns the exit status when the command line asked only for that, or -1
/// when the player is to start.
int answerInfoOption(int argc, const char* const* argv);

} // namespace velloran
