#pragma once

#include "convert/file_converter.h"
#include "core/player.h"
#include "core/settings.h"
#include "fakes/fake_devices.h"
#include "fakes/fake_engine.h"
#include "fakes/fake_prompts.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

namespace velloran::testing {

/// A player over fakes, with a scratch folder for files it opens. Test
/// fixtures of the core and of the widgets derive from it.
struct PlayerRig {
    PlayerRig() : player(engine, store, prompts, serial, gamePort) {
        player.setConverter(&converter);
    }

    /// Lets queued engine events run.
    static void pump() {
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
    }

    /// Makes a file in the scratch folder and returns its path.
    QString makeFile(const QString& name, const QByteArray& content = QByteArray("RIFF....WAVE")) {
        const QString path = dir.filePath(name);
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(content);
        return path;
    }

    /// Loads the player with an open file "dict.wav" of @p length seconds.
    QString loadWithFile(double length = 200) {
        const QString path = makeFile(QStringLiteral("dict.wav"));
        engine.setDurationFor(path, length);
        store.values[keys::CurrentFile] = path;
        player.load(dir.path());
        pump();
        return path;
    }

    QTemporaryDir dir;
    FakeEngine engine;
    MemorySettingsStore store;
    RecordingPrompts prompts;
    FakeSerialPort serial;
    FakeGamePort gamePort;
    /// The real conversions, with no launcher: DVI recordings convert, DSS ones fail.
    FileConverter converter{dir.path(), store, {}, ConvertedFiles(QString())};
    Player player;
};

} // namespace velloran::testing
