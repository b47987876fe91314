// startup_floor FILE: the least a Qt program playing through our engine holds:
// one empty window, and the engine with FILE open. Its title gets the length as
// the player's caption does, so startup_watch times both the same way.
#include "engine/mpv_engine.h"

#include <QApplication>
#include <QWidget>

#include <clocale>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C"); // libmpv wants C number formats
    if (argc != 2)
        return 2;
    QWidget window;
    window.setWindowTitle(QStringLiteral("floor"));
    window.resize(600, 60);
    velloran::MpvEngine engine;
    QObject::connect(&engine, &velloran::MediaEngine::openComplete, &window, [&] {
        window.setWindowTitle(QStringLiteral("floor - Length : %1 s").arg(engine.duration()));
    });
    window.show();
    engine.setFileName(QString::fromLocal8Bit(argv[1]));
    return QApplication::exec();
}
