// One client per user and display. A local socket stands in for finding the
// hidden window: the second start sends the double click and waits until the
// first has handled it.
#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>
#include <functional>

QString InstanceName();

// True when a running instance took the double click and has handled it.
bool HandOverToRunningInstance(const QString& name);

class InstanceListener : public QObject {
    Q_OBJECT
public:
    // `doubleClick` runs for every hand-over; the caller is answered after it returns.
    InstanceListener(const QString& name, std::function<void()> doubleClick, QObject* parent = nullptr);
    bool IsListening() const { return server.isListening(); }

private:
    void OnConnection();

    QLocalServer server;
    std::function<void()> doubleClick;
};
