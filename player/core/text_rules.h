#pragma once

#include <QString>

namespace velloran {

/// Seconds as hh:mm:ss: the value is rounded to a whole second (halves to
/// even) and then split, so 59.6 gives "00:01:00" and 3599.6 "01:00:00".
/// Fields of one digit get a leading zero; hours may take three digits or more.
QString formatHms(double seconds);

/// The file name part of a path as it is shown: the text after its last "/",
/// empty when the path holds none (or ends with one); bytes that are not
/// UTF-8 show as U+FFFD.
QString extractFileName(const QString& path);

/// The whole number nearest to @p value, halves to even, when it fits 16 bits.
bool toWhole16(double value, int& out);

} // namespace velloran
