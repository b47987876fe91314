#include "dss_converter.h"

#include "core/text_rules.h"
#include "tools/common/conversion_status.h"

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

bool folderTakesFiles(const QString& folder) {
    return ::access(QFile::encodeName(folder).constData(), W_OK | X_OK) == 0;
}

bool sameFile(const QString& a, const QString& b) {
    struct stat x {};
    struct stat y {};
    return ::stat(QFile::encodeName(a).constData(), &x) == 0 &&
           ::stat(QFile::encodeName(b).constData(), &y) == 0 && x.st_dev == y.st_dev &&
           x.st_ino == y.st_ino;
}

// Why the tools gave up, worded to follow "Unable to convert X to a wave file: ".
QString failureReason(int exitCode, const QString& wave) {
    using namespace conversion;
    switch (exitCode) {
    case kSourceUnreadable:
        return QStringLiteral("the recording cannot be read, or it is not a DSS recording");
    case kDestinationRefused:
        return QStringLiteral("the wave file cannot be written as ") + wave;
    case kDiskFull:
        return QStringLiteral("there is no room left for the wave file in ") +
               QFileInfo(wave).absolutePath();
    case kReadError:
        return QStringLiteral("reading the recording failed (an input/output error: the disk "
                              "or the share may be failing)");
    case kDecoderMissing:
        return QStringLiteral("the decoder (quillmere) is missing or cannot start");
    case kTooLong:
        return QStringLiteral("the recording is too long for a wave file");
    default:
        return QStringLiteral("the converter failed (exit code %1)").arg(exitCode);
    }
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
                           ConversionFeedback* feedback, ConvertedFiles owned)
    : launcher_(QDir(appDir).filePath(kLauncherName)), cacheFolder_(cacheFolder),
      feedback_(feedback), owned_(std::move(owned)) {}

QString DssConverter::busyText(const QString& title) {
    return QStringLiteral("Converting ") + title + QStringLiteral("...");
}

QString DssConverter::wavePathFor(const QString& source) const {
    const QFileInfo info(source);
    const QString name = dssWaveName(info.fileName());
    const QString beside = QDir(info.absolutePath()).filePath(name);
    // A DSS recording named "*.wav" would be its own destination.
    const bool namesSource =
        beside == info.absoluteFilePath() || sameFile(beside, info.absoluteFilePath());
    if (!namesSource && (folderTakesFiles(info.absolutePath()) || cacheFolder_.isEmpty())) {
        // Not writable and no cache: tried all the same, so the tools say why.
        if (const QString claimed = owned_.claimableName(beside, source); !claimed.isEmpty())
            return claimed;
    }
    const QString cache = cacheFolderFor(cacheFolder_, source);
    return cache.isEmpty() ? QString()
                           : owned_.claimableName(QDir(cache).filePath(name), source);
}

ConversionOutcome DssConverter::convertDssFile(const QString& folder, const QString& title) {
    const QString source = folder + title;
    ConversionOutcome outcome;
    // The request cannot carry a "|" in the source: the tools split at the first one.
    if (source.contains(QLatin1Char('|'))) {
        outcome.error = QStringLiteral("its name contains a \"|\", which the converter cannot "
                                       "take");
        return outcome;
    }
    const QString wave = wavePathFor(source);
    if (wave.isEmpty()) {
        outcome.error = QStringLiteral("there is no free name for the wave file beside it");
        return outcome;
    }
    const FileStamp before = stampOf(wave);

    if (feedback_)
        feedback_->conversionStarted(busyText(title));
    QProcess launcher;
    launcher.setProgram(launcher_);
    launcher.setArguments({dssConversionRequest(source, wave)});
    launcher.setStandardInputFile(QProcess::nullDevice());
    // The player tells the typist why a conversion failed; a dialog of the
    // tools' own would only hold the conversion up until someone closed it.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VELLORAN_NO_DIALOG"), QStringLiteral("1"));
    launcher.setProcessEnvironment(environment);
    // The tools' messages belong in the player's log; their report comes on
    // standard output.
    launcher.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QEventLoop loop;
    QObject::connect(&launcher, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&launcher, &QProcess::errorOccurred, &loop, [&loop](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart)
            loop.quit();
    });
    launcher.start();
    const bool started = launcher.waitForStarted(-1);
    if (started) {
        if (launcher.state() != QProcess::NotRunning)
            loop.exec(QEventLoop::ExcludeUserInputEvents);
        // The loop also ends when the application quits; the wave file is still wanted.
        if (launcher.state() != QProcess::NotRunning)
            launcher.waitForFinished(-1);
    }
    if (feedback_)
        feedback_->conversionFinished();

    if (!started) {
        outcome.error = QStringLiteral("the converter ") + launcher_ +
                        QStringLiteral(" is missing or cannot start");
    } else if (launcher.exitStatus() != QProcess::NormalExit) {
        outcome.error = QStringLiteral("the converter stopped unexpectedly");
    } else if (launcher.exitCode() != conversion::kConverted) {
        outcome.error = failureReason(launcher.exitCode(), wave);
    } else if (!writtenSince(before, stampOf(wave)) || !startsWithRiff(wave)) {
        outcome.error = QStringLiteral("the converter did not write a wave file");
    } else {
        outcome.wavePath = wave;
        owned_.remember(wave, source);
        for (const QByteArray& line : launcher.readAllStandardOutput().split('\n')) {
            if (const QString notice = damageNotice(title, line); !notice.isEmpty())
                outcome.notice = notice;
        }
    }
    return outcome;
}

QString damageNotice(const QString& title, const QByteArray& line) {
    const QList<QByteArray> fields = line.trimmed().split(' ');
    if (fields.size() < 2 || fields[0] != "damaged")
        return {};
    bool ok = false;
    const qlonglong count = fields[1].toLongLong(&ok);
    if (!ok || count <= 0)
        return {};
    QStringList starts;
    for (qsizetype i = 2; i < fields.size() && starts.size() < conversion::kMaxDamageStarts; ++i) {
        const double seconds = fields[i].toDouble(&ok);
        if (ok && seconds >= 0)
            starts << formatHms(seconds);
    }
    QString text = QStringLiteral("The recording %1 is damaged: %2 of its frames could not be "
                                  "decoded and play as silence")
                       .arg(title)
                       .arg(count);
    if (!starts.isEmpty())
        text += QStringLiteral(", starting at ") + starts.join(QStringLiteral(", "));
    return text + QLatin1Char('.');
}

} // namespace velloran
