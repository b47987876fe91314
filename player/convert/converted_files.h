#pragma once

// The wave files that the player's own conversions wrote. A conversion may
// overwrite only one of these: a file of the same name that the typist made,
// copied or changed since is never replaced; the conversion takes a free name
// beside it ("rec01 (2).wav") instead.

#include <QString>

namespace velloran {

class ConvertedFiles {
public:
    /// Keeps its list in @p listPath (created when first needed). An empty
    /// path keeps nothing: then no existing file counts as the player's.
    explicit ConvertedFiles(QString listPath = defaultListPath());

    /// $XDG_DATA_HOME/Velloran/converted-files (~/.local/share/...).
    static QString defaultListPath();

    /// True when @p wave is a plain file that a conversion of @p source wrote
    /// and that has not changed since (same size and modification time).
    bool madeFrom(const QString& wave, const QString& source) const;

    /// Records @p wave, as it is on disk now, as converted from @p source.
    /// Returns false when the list cannot be written.
    bool remember(const QString& wave, const QString& source) const;

    /// @p preferred when nothing is there or the file there is the one this
    /// list knows as converted from @p source; otherwise the first
    /// "name (n).ext" that is. Empty when none of the first thousand is.
    QString claimableName(const QString& preferred, const QString& source) const;

private:
    QString listPath_;
};

/// The folder for wave files of recordings whose own folder cannot take them:
/// a subfolder of @p cacheRoot per recording folder, so that two read-only
/// shares' "rec.wav" never overwrite each other. Created when missing; empty
/// when @p cacheRoot is empty or the folder cannot be made.
QString cacheFolderFor(const QString& cacheRoot, const QString& source);

} // namespace velloran
