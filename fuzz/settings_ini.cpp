// The settings file reader on arbitrary file contents, and the store's writes: reading
// never fails, every value read and written back reads the same in a fresh store on the
// same file, and the value text the input spells survives a write.
#include "core/player_state.h"
#include "core/settings.h"
#include "core/settings_store.h"
#include "fuzz_support.h"

#include <QDir>
#include <QFile>

#include <cstdlib>

using namespace velloran;

namespace {

const QString kKeys[] = {keys::PortId,          keys::LargeChange,  keys::SmallChange,
                         keys::RewVal,          keys::PlayPress,    keys::PlayToggle,
                         keys::FirstPedal,      keys::SecondPedal,  keys::ThirdPedal,
                         keys::WavePath,        keys::VolumeValue,  keys::CurrentFile,
                         keys::CurrentPosition, keys::FiletoDelete, keys::GamePortDevice};

// Every store write syncs the file to the disk: on a memory file system when there is
// one, or the run is slowed to the disk's pace.
struct Folder {
    QString path;
    Folder() {
        QByteArray pattern("/dev/shm/velloran-fuzz.XXXXXX");
        path = ::mkdtemp(pattern.data()) ? QString::fromLatin1(pattern)
                                         : QString::fromStdString(fuzz::scratchFolder());
    }
    ~Folder() {
        if (path.startsWith(QLatin1String("/dev/shm/")))
            QDir(path).removeRecursively();
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // QSettings keeps the files it has read, by path, until they change on disk: a new
    // name for every run and for the fresh read makes both come from the disk.
    static unsigned long run = 0;
    static const Folder scratch;
    const QString& folder = scratch.path;
    const QString path = folder + QStringLiteral("/Velloran-%1.conf").arg(++run);
    const QString copy = folder + QStringLiteral("/fresh-%1.conf").arg(run);
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size))
            fuzz::fail("writing the settings file");
    }

    QStringList values;
    {
        IniSettingsStore store(path);
        PlayerState state;
        loadPlayerState(store, state);
        for (int code : state.pedalAction)
            if (code < -32768 || code > 32767)
                fuzz::fail("a pedal code beyond 16 bits");
        for (const QString& key : kKeys)
            values << store.read(key);
        // One write stores the whole file again, every value read included; the input as
        // that value: whatever text a setting holds (a path, a number with blanks) comes
        // back as written.
        const QString text =
            QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
        store.write(keys::WavePath, text);
        values[9] = text;
        if (store.read(keys::WavePath) != text)
            fuzz::fail("a written value reads otherwise");
    }
    // Every value read comes back from the file as written.
    if (!QFile::copy(path, copy))
        fuzz::fail("copying the settings file");
    {
        IniSettingsStore fresh(copy);
        for (qsizetype i = 0; i < values.size(); ++i)
            if (fresh.read(kKeys[i]) != values[i])
                fuzz::fail("a fresh store reads a value otherwise");
    }
    for (const QString& name : {path, copy})
        for (const QString& file : {name, name + QStringLiteral(".lock")})
            QFile::remove(file);
    return 0;
}
