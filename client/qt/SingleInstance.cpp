#include "SingleInstance.h"

#include <QDeadlineTimer>
#include <QLocalSocket>
#include <QPointer>
#include <QThread>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "SettingsKey.h"

namespace {

const char* const DoubleClickRequest = "515\n";
const char* const TakenReply = "taken\n";
const char* const HandledReply = "handled\n";

// Ours alone: a directory owned by this user that nobody else may enter.
bool IsPrivateDirectory(const QByteArray& path) {
    struct stat info;
    return ::lstat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::getuid() &&
           (info.st_mode & 077) == 0;
}

QString DisplayPart() {
    QString display = qEnvironmentVariable("DISPLAY", qEnvironmentVariable("WAYLAND_DISPLAY", "none"));
    display.replace('/', '_');
    return display;
}

}  // namespace

QString InstanceDirectory() {
    QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (runtime.startsWith('/') && IsPrivateDirectory(runtime)) return QString::fromLocal8Bit(runtime);
    QByteArray own = QByteArray::fromStdString(SettingsFilePath("pegora"));
    if (!own.startsWith('/')) return QString();
    QByteArray parent = own.left(own.lastIndexOf('/'));
    ::mkdir(parent.constData(), 0700);
    if (::mkdir(own.constData(), 0700) != 0 && errno != EEXIST) return QString();
    struct stat info;
    if (::lstat(own.constData(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::getuid())
        ::chmod(own.constData(), 0700);
    return IsPrivateDirectory(own) ? QString::fromLocal8Bit(own) : QString();
}

QString InstanceName() {
    QString directory = InstanceDirectory();
    QString file = QString("pegling-%1").arg(DisplayPart());
    return directory.isEmpty() ? file : directory + "/" + file;
}

bool InstanceLock::TryAcquire(const QString& path) {
    Release();
    QByteArray local = path.toLocal8Bit();
    int opened = ::open(local.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (opened < 0) return true;
    if (::flock(opened, LOCK_EX | LOCK_NB) != 0) {
        bool heldElsewhere = errno == EWOULDBLOCK;
        ::close(opened);
        return !heldElsewhere;
    }
    fd = opened;
    return true;
}

void InstanceLock::Release() {
    if (fd < 0) return;
    ::close(fd);  // closing the only descriptor gives the lock up
    fd = -1;
}

HandOver HandOverToRunningInstance(const QString& name, int answerLimitMs) {
    QDeadlineTimer deadline(answerLimitMs);
    QLocalSocket socket;
    // The first start may hold the lock and not listen yet.
    for (;;) {
        socket.connectToServer(name);
        if (socket.waitForConnected(static_cast<int>(qMin<qint64>(deadline.remainingTime(), 1000)))) break;
        socket.abort();
        if (deadline.hasExpired()) return HandOver::NoAnswer;
        QThread::msleep(100);
    }
    socket.write(DoubleClickRequest);
    socket.waitForBytesWritten(static_cast<int>(qMax<qint64>(deadline.remainingTime(), 1)));
    // Taken at once by a client that runs; then the answer comes when the user
    // closes the status dialog, however long that takes.
    bool taken = false;
    for (;;) {
        while (socket.canReadLine()) {
            QByteArray line = socket.readLine();
            if (line == HandledReply) return HandOver::Handled;
            if (line == TakenReply) taken = true;
        }
        if (socket.state() != QLocalSocket::ConnectedState) return taken ? HandOver::Gone : HandOver::NoAnswer;
        if (!taken && deadline.hasExpired()) return HandOver::NoAnswer;
        socket.waitForReadyRead(taken ? 1000 : static_cast<int>(qMax<qint64>(deadline.remainingTime(), 1)));
    }
}

InstanceListener::InstanceListener(const QString& name, std::function<void()> doubleClick_, QObject* parent)
    : QObject(parent), doubleClick(std::move(doubleClick_)) {
    server.setSocketOptions(QLocalServer::UserAccessOption);
    // Whoever holds the lock owns the name: a socket still there is left from a client that did not end cleanly.
    QLocalServer::removeServer(name);
    server.listen(name);
    connect(&server, &QLocalServer::newConnection, this, &InstanceListener::OnConnection);
}

void InstanceListener::OnConnection() {
    while (QLocalSocket* socket = server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        QPointer<QLocalSocket> guarded(socket);
        connect(socket, &QLocalSocket::readyRead, this, [this, guarded] {
            if (!guarded || !guarded->canReadLine()) return;
            QByteArray request = guarded->readLine();
            if (request == DoubleClickRequest) {
                guarded->write(TakenReply);  // before the dialog: the second start then waits for the user
                guarded->flush();
                doubleClick();  // runs the status dialog
            }
            if (!guarded) return;  // the second start went away meanwhile
            QLocalSocket* socket = guarded.data();
            socket->write(HandledReply);
            socket->flush();
            socket->disconnectFromServer();
        });
    }
}
