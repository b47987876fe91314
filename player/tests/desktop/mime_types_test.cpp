// The file types installed for the file manager: they must name the files the
// player itself takes for DSS and DVI recordings, and the desktop entry must
// list only types the desktop knows under those names.
#include "convert/vox_converter.h"
#include "fakes/qt_printers.h"

#include <QDir>
#include <QFile>
#include <QMimeDatabase>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

using namespace velloran;

namespace {

const QString kSourceDir = QStringLiteral(VELLORAN_SOURCE_DIR);

class MimeTypes : public ::testing::Test {
protected:
    // Qt reads the MIME database once per process, so it is compiled once,
    // before the first lookup: the system's types and ours in one cache, as
    // an installation into the system's data folder leaves them.
    static void SetUpTestSuite() {
        data = std::make_unique<QTemporaryDir>();
        ASSERT_TRUE(data->isValid());
        const QString packages = data->filePath(QStringLiteral("mime/packages"));
        ASSERT_TRUE(QDir().mkpath(packages));
        const QDir system(QStringLiteral("/usr/share/mime/packages"));
        for (const QString& name : system.entryList({QStringLiteral("*.xml")}, QDir::Files))
            ASSERT_TRUE(QFile::copy(system.filePath(name), packages + QLatin1Char('/') + name));
        ASSERT_TRUE(QFile::copy(kSourceDir + QStringLiteral("/install/velloran-mime.xml"),
                                packages + QStringLiteral("/velloran.xml")));
        QProcess update;
        update.start(QStringLiteral("update-mime-database"),
                     {data->filePath(QStringLiteral("mime"))});
        ASSERT_TRUE(update.waitForFinished(30000));
        ASSERT_EQ(update.exitCode(), 0) << update.readAllStandardError().toStdString();
        qputenv("XDG_DATA_HOME", data->filePath(QStringLiteral("none")).toLocal8Bit());
        qputenv("XDG_DATA_DIRS", data->path().toLocal8Bit());
    }
    static void TearDownTestSuite() { data.reset(); }

    /// A file of @p name that starts with @p head, padded past a DVI header.
    QString write(const QString& name, const QByteArray& head) {
        const QString path = files.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(head);
        file.write(QByteArray(1200, '\x11'));
        return path;
    }

    static QString byContent(const QString& path) {
        return QMimeDatabase().mimeTypeForFile(path, QMimeDatabase::MatchContent).name();
    }

    static inline std::unique_ptr<QTemporaryDir> data;
    QTemporaryDir files;
};

TEST_F(MimeTypes, FirstBytesGiveTheTypeWhereThePlayerSeesDssOrDvi) {
    const QByteArray heads[] = {QByteArray("\x02"
                                           "dss",
                                           4),
                                "dss\x01",
                                "DsS ",
                                QByteArray("\x00"
                                           "DSS",
                                           4),
                                "dvi ",
                                "DVI\x01",
                                " dvI",
                                "xdvi",
                                "d ss",
                                "ds2\x03",
                                "RIFF",
                                "dv i",
                                "  dv"};
    int n = 0;
    for (const QByteArray& head : heads) {
        const QString path = write(QStringLiteral("sample%1").arg(n++), head);
        const QString type = byContent(path);
        switch (classifySignature(readFileSignature(path))) {
        case SignatureKind::Dss:
            EXPECT_EQ(type, QStringLiteral("audio/x-dss")) << head.toStdString();
            break;
        case SignatureKind::Dvi:
            EXPECT_EQ(type, QStringLiteral("audio/x-dvi-voice")) << head.toStdString();
            break;
        case SignatureKind::Plain:
            EXPECT_NE(type, QStringLiteral("audio/x-dss")) << head.toStdString();
            EXPECT_NE(type, QStringLiteral("audio/x-dvi-voice")) << head.toStdString();
            break;
        }
    }
}

TEST_F(MimeTypes, TheDviExtensionIsDecidedByTheFirstBytes) {
    QMimeDatabase db;
    EXPECT_EQ(db.mimeTypeForFile(write(QStringLiteral("letter.dvi"), "DVI ")).name(),
              QStringLiteral("audio/x-dvi-voice"));
    // TeX's output keeps its own type.
    EXPECT_EQ(db.mimeTypeForFile(write(QStringLiteral("paper.dvi"), "\xf7\x02\x01\x83")).name(),
              QStringLiteral("application/x-dvi"));
    EXPECT_EQ(db.mimeTypeForFile(write(QStringLiteral("memo.DSS"), QByteArray("\x02"
                                                                              "dss",
                                                                              4)))
                  .name(),
              QStringLiteral("audio/x-dss"));
}

TEST_F(MimeTypes, TheDesktopEntryListsEachTypeByItsOwnName) {
    QFile entry(kSourceDir + QStringLiteral("/install/velloran.desktop"));
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly | QIODevice::Text));
    QStringList types;
    for (const QString& line : QString::fromUtf8(entry.readAll()).split(QLatin1Char('\n')))
        if (line.startsWith(QLatin1String("MimeType=")))
            types = line.mid(9).split(QLatin1Char(';'), Qt::SkipEmptyParts);
    ASSERT_GE(types.size(), 8);
    QMimeDatabase db;
    for (const QString& type : types) {
        const QMimeType known = db.mimeTypeForName(type);
        EXPECT_TRUE(known.isValid()) << type.toStdString();
        // An alias works in some file managers and not in others: the type's
        // own name goes with it.
        EXPECT_TRUE(types.contains(known.name())) << type.toStdString();
    }
    for (const char* wanted :
         {"audio/x-wav", "audio/mpeg", "audio/midi", "audio/x-ms-wma", "audio/x-dss",
          "audio/x-dvi-voice", "audio/flac", "audio/ogg", "audio/x-opus+ogg", "audio/mp4",
          "audio/aac", "audio/x-m4a", "audio/amr", "audio/3gpp", "audio/webm"})
        EXPECT_TRUE(types.contains(QLatin1String(wanted), Qt::CaseInsensitive)) << wanted;
}

} // namespace
