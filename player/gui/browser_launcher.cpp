#include "browser_launcher.h"

#include <QProcess>

namespace velloran {

void openInBrowser(const QString& path, QObject* context, std::function<void()> onFailure,
                   const QString& program) {
    // Not detached: only a child we wait for can tell us that it failed.
    // Killing it at exit leaves the browser it started running.
    auto* process = new QProcess(context);
    process->setProgram(program);
    process->setArguments({path});
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [process, onFailure](QProcess::ProcessError error) {
                         if (error != QProcess::FailedToStart)
                             return;
                         if (onFailure)
                             onFailure();
                         process->deleteLater();
                     });
    QObject::connect(process, &QProcess::finished, process,
                     [process, onFailure](int code, QProcess::ExitStatus status) {
                         if (status == QProcess::NormalExit && code != 0 && onFailure)
                             onFailure();
                         process->deleteLater();
                     });
    process->start();
}

} // namespace velloran
