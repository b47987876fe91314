#include "gui/browser_launcher.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace velloran;

namespace {

// A stand-in for xdg-open that records its argument and exits with @p status.
QString fakeOpener(const QTemporaryDir& dir, int status) {
    const QString path = dir.filePath(QStringLiteral("opener%1").arg(status));
    QFile script(path);
    EXPECT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(QStringLiteral("#!/bin/sh\necho \"$1\" > '%1.arg'\nexit %2\n")
                     .arg(path)
                     .arg(status)
                     .toUtf8());
    script.close();
    script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return path;
}

// Runs the launcher and waits until its process has gone.
int failuresOf(const QString& program, const QString& page = QStringLiteral("/x/index.html")) {
    QObject context;
    int failures = 0;
    openInBrowser(
        page, &context, [&] { ++failures; }, program);
    const QDeadlineTimer deadline(5000);
    while (!context.children().isEmpty() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return failures;
}

} // namespace

TEST(BrowserLauncher, ReportsOnlyWhenNoBrowserCouldBeStarted) {
    QTemporaryDir dir;
    const QString works = fakeOpener(dir, 0);
    EXPECT_EQ(failuresOf(works, QStringLiteral("/opt/my manual/index.html")), 0);
    QFile arg(works + ".arg");
    ASSERT_TRUE(arg.open(QIODevice::ReadOnly));
    EXPECT_EQ(arg.readAll().trimmed(), QByteArray("/opt/my manual/index.html"));

    EXPECT_EQ(failuresOf(fakeOpener(dir, 3)), 1); // xdg-open: no tool to open it with
    EXPECT_EQ(failuresOf(dir.filePath(QStringLiteral("no-such-program"))), 1);
}
