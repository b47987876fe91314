// velloran: the dictation player.
#include "composition.h"
#include "core/file_names.h"
#include "core/hot_keys.h"
#include "core/settings_store.h"
#include "engine/allocator.h"
#include "info_options.h"
#include "recent_menu.h"
#include "session/desktop_session.h"
#include "session/remote_control.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QTextStream>

#include <clocale>
#include <csignal>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onTerminationSignal(int) {
    const char byte = 1;
    // Only async-signal-safe work here; the event loop does the rest.
    [[maybe_unused]] const ssize_t ignored = ::write(signalPipe[1], &byte, 1);
}

/// SIGTERM and SIGINT close the main window as the user would, so the file
/// and position are saved rather than lost.
void closeOnSignals(velloran::Application& application) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [&application] {
        char byte = 0;
        [[maybe_unused]] const ssize_t ignored = ::read(signalPipe[0], &byte, 1);
        application.requestClose();
    });
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

/// velloran --command NAME: runs NAME in the player already running.
int sendCommand(const QString& name) {
    QTextStream err(stderr);
    const QStringList names = velloran::HotKeys::commandNames();
    if (!names.contains(name)) {
        err << "usage: velloran --command ACTION\n"
            << (name.isEmpty() ? QStringLiteral("no action given")
                               : QStringLiteral("unknown action: ") + name)
            << "; the actions are:\n"
            << velloran::actionList();
        err.flush();
        return 2;
    }
    QString error;
    if (velloran::RemoteControl::sendCommand(name, &error))
        return 0;
    err << "velloran: " << error << Qt::endl;
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    if (const int status = velloran::answerInfoOption(argc, argv); status >= 0)
        return status;
    if (argc == 2 && std::strcmp(argv[1], "--stats") == 0) {
        velloran::ensureHomeVariable();
        QCoreApplication app(argc, argv);
        return velloran::printWorkStats();
    }
    if (argc > 1 && std::strcmp(argv[1], "--command") == 0) {
        QCoreApplication app(argc, argv);
        return sendCommand(argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString());
    }
    velloran::engine::returnLargeBuffersToTheSystem();
    // Started without HOME (a service, a cron job), Qt would put the cache
    // and data folders under "/".
    velloran::ensureHomeVariable();
    // In a Wayland session the strip is an X window, so it can stay on top.
    velloran::selectQtPlatform();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velloran"));
    QApplication::setApplicationVersion(QStringLiteral("3.4"));
    QApplication::setDesktopFileName(QStringLiteral("velloran"));
    QApplication::setQuitOnLastWindowClosed(false);
    // libmpv refuses to start unless numbers are formatted the C way; Qt has
    // just set the user's locale.
    std::setlocale(LC_NUMERIC, "C");

    // The file name as the bytes it is (Qt has taken its own options out of
    // argv): arguments() would turn bytes that are not UTF-8 into U+FFFD.
    const QString fileArgument = argc > 1 ? velloran::fileNameFromBytes(argv[1]) : QString();

    // One player per desktop session: a later start hands its file over.
    velloran::RemoteControl remote;
    const velloran::RemoteControl::Claim claim = remote.claim();
    if (claim == velloran::RemoteControl::Claim::Taken &&
        velloran::RemoteControl::handOver(fileArgument))
        return 0;

    int status = 0;
    {
        velloran::Application application(QApplication::applicationDirPath(), fileArgument);
        if (claim == velloran::RemoteControl::Claim::Owned)
            application.attachRemote(remote);
        closeOnSignals(application);
        application.start();
        status = QApplication::exec();
    }
    return status;
}
