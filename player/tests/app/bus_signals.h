#pragma once

#include <QDBusMessage>
#include <QList>
#include <QObject>

/// Keeps the signals a bus connection delivers to it, for the tests to read.
class BusSignals : public QObject {
    Q_OBJECT
public:
    QList<QDBusMessage> received;
public slots:
    void take(const QDBusMessage& message) { received.append(message); }
};
