#include "dss_converter.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <sys/stat.h>
#include <unistd.h>

namespace velloran {

namespace {

const QString kLauncherName = QStringLiteral("tolvane");

// What a file looked like when the conversion began. Comparing the file with
// its own earlier status (not with our clock) keeps a file server whose clock
// runs behind from making every fresh wave file look stale.
struct FileStamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    timespec changed{};
    timespec modified{};
};

FileStamp stampOf(const QString& path) {
    FileStamp stamp;
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return stamp;
    stamp.exists = true;
    stamp.device = info.st_dev;
    stamp.inode = info.st_ino;
    stamp.changed = info.st_ctim;
    stamp.modified = info.st_mtim;
    return stamp;
}

bool sameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// Written since @p before was taken: new, replaced, or changed (a write moves
// the status-change time, which no program can set back).
bool writtenSince(const FileStamp& before, const FileStamp& now) {
    if (!now.exists)
        return false;
    if (!before.exists)
        return true;
    return now.device != before.device || now.inode != before.inode ||
           !sameTime(now.changed, before.changed) || !sameTime(now.modified, before.modified);
}

bool startsWithRiff(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(4) == "RIFF";
}

bool writable(const QString& path) {
    return ::access(QFile::encodeName(path).constData(), W_OK) == 0;
}

} // namespace

QString dssWaveName(const QString& title) {
    // A leading dot starts a hidden name, not an extension.
    const qsizetype dot = title.lastIndexOf(QLatin1Char('.'));
    return (dot > 0 ? title.left(dot) : title) + QStringLiteral(".wav");
}

QString dssConversionRequest(const QString& source, const QString& destination) {
    return source + QLatin1Char('|') + destination;
}

DssConverter::DssConverter(const QString& appDir, const QString& cacheFolder,
                           ConversionFeedback* feedback)
    : launcher_(QDir(appDir).filePath(kLauncherName)), cacheFolder_(cacheFolder),
      feedback_(feedback) {}

QString DssConverter::busyText(const QString& title) {
    return QStringLiteral("Converting ") + title + QStringLiteral("...");
}

QString DssConverter::wavePathFor(const QString& source) const {
    const QFileInfo info(source);
    const QString name = dssWaveName(info.fileName());
    const QString beside = QDir(info.absolutePath()).filePath(name);
    // A wave file of that name must be one we may overwrite: not read-only,
    // and not a folder squatting on the name.
    const QFileInfo old(beside);
    const bool folderTakesIt =
        ::access(QFile::encodeName(info.absolutePath()).constData(), W_OK | X_OK) == 0 &&
        (!old.exists() || (old.isFile() && writable(beside)));
    if (folderTakesIt || cacheFolder_.isEmpty())
        return beside;
    QDir().mkpath(cacheFolder_);
    return QDir(cacheFolder_).filePath(name);
}

QString DssConverter::convertDssFile(const QString& folder, const QString& title) {
    const QString source = folder + title;
    // The request cannot carry a "|" in the source: the tools split at the first one.
    if (source.contains(QLatin1Char('|')))
        return {};
    const QString wave = wavePathFor(source);
    const FileStamp before = stampOf(wave);

    if (feedback_)
        feedback_->conversionStarted(busyText(title));
    QProcess launcher;
    launcher.setProgram(launcher_);
    launcher.setArguments({dssConversionRequest(source, wave)});
    launcher.setStandardInputFile(QProcess::nullDevice());
    // The tools' messages belong in the player's log, not in a pipe nobody reads.
    launcher.setProcessChannelMode(QProcess::ForwardedChannels);
    QEventLoop loop;
    QObject::connect(&launcher, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&launcher, &QProcess::errorOccurred, &loop, [&loop](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart)
            loop.quit();
    });
    launcher.start();
    bool ran = launcher.waitForStarted(-1);
    if (ran) {
        if (launcher.state() != QProcess::NotRunning)
            loop.exec(QEventLoop::ExcludeUserInputEvents);
        // The loop also ends when the application quits; the wave file is still wanted.
        if (launcher.state() != QProcess::NotRunning)
            launcher.waitForFinished(-1);
        ran = launcher.exitStatus() == QProcess::NormalExit;
    }
    if (feedback_)
        feedback_->conversionFinished();

    if (!ran || !writtenSince(before, stampOf(wave)) || !startsWithRiff(wave))
        return {};
    return wave;
}

} // namespace velloran
