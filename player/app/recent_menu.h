#pragma once

#include <QString>

#include <functional>

class QToolButton;

namespace velloran {

class DictationLibrary;

/// Makes @p button's menu the recent dictations of @p library (shown when the
/// button is held down or right-clicked); a chosen entry goes to @p open.
void attachRecentMenu(QToolButton& button, DictationLibrary& library,
                      std::function<void(const QString&)> open);

/// velloran --stats: prints the work statistics; the exit status.
int printWorkStats();

} // namespace velloran
