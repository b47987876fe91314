#pragma once

// Telling recordings apart by their first bytes: a DSS dictation and a DVI
// voice recording must be converted before the engine can play them.

#include <QString>

namespace velloran {

/// The file's first four bytes, one character per byte (Latin-1). Shorter, or
/// empty, when the file is shorter or cannot be read.
QString readFileSignature(const QString& path);

enum class SignatureKind { Plain, Dss, Dvi };

/// Lower-cased and trimmed: containing "dss" is a DSS file; else starting with
/// "dvi" is a DVI recording; anything else is opened as it is.
SignatureKind classifySignature(const QString& signature);

} // namespace velloran
