// One client per user and display. A local socket in the user's private
// runtime directory stands in for finding the hidden window; a lock file
// beside it decides which of several simultaneous starts is the first. The
// second start sends the double click; the first says at once that it has
// taken it, and answers again once its status dialog has been closed.
#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>
#include <functional>

// $XDG_RUNTIME_DIR when it is the user's own private directory, otherwise a
// directory of mode 0700 under the settings home; empty when neither works.
QString InstanceDirectory();
// The socket's path for this user and display, and the lock file beside it.
QString InstanceName();
inline QString InstanceLockPath(const QString& name) { return name + ".lock"; }

// The right to be the running instance: an exclusive lock held while open.
class InstanceLock {
public:
    InstanceLock() = default;
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;
    ~InstanceLock() { Release(); }
    // False only when another process holds the lock. Where no lock file can
    // be made at all, every start runs, as it would without the check.
    bool TryAcquire(const QString& path);
    void Release();

private:
    int fd = -1;
};

enum class HandOver { Handled, NoAnswer, Gone };

// Delivers the double click to the running instance. A running instance that
// has not taken it within `answerLimitMs` is NoAnswer; once taken, the wait
// lasts as long as the user keeps the dialog open (Gone: the running one ended
// before answering).
HandOver HandOverToRunningInstance(const QString& name, int answerLimitMs = 10000);

class InstanceListener : public QObject {
    Q_OBJECT
public:
    // `doubleClick` runs for every hand-over; the caller is answered after it returns.
    InstanceListener(const QString& name, std::function<void()> doubleClick, QObject* parent = nullptr);
    bool IsListening() const { return server.isListening(); }
    // Stops taking hand-overs; the socket file goes with it.
    void Close() { server.close(); }

private:
    void OnConnection();

    QLocalServer server;
    std::function<void()> doubleClick;
};
