#include "SingleInstance.h"

#include <QLocalSocket>
#include <QPointer>
#include <unistd.h>

namespace {
const char* const DoubleClickRequest = "515\n";
const char* const HandledReply = "handled\n";
}  // namespace

QString InstanceName() {
    QString display = qEnvironmentVariable("DISPLAY", qEnvironmentVariable("WAYLAND_DISPLAY", "none"));
    display.replace('/', '_');
    return QString("pegling-%1-%2").arg(::getuid()).arg(display);
}

bool HandOverToRunningInstance(const QString& name) {
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(2000)) return false;
    socket.write(DoubleClickRequest);
    socket.waitForBytesWritten(2000);
    // Wait as long as the user keeps the status dialog open.
    while (socket.state() == QLocalSocket::ConnectedState && !socket.canReadLine()) socket.waitForReadyRead(-1);
    return true;
}

InstanceListener::InstanceListener(const QString& name, std::function<void()> doubleClick_, QObject* parent)
    : QObject(parent), doubleClick(std::move(doubleClick_)) {
    server.setSocketOptions(QLocalServer::UserAccessOption);
    if (!server.listen(name)) {
        QLocalServer::removeServer(name);  // left behind by an instance that did not end cleanly
        server.listen(name);
    }
    connect(&server, &QLocalServer::newConnection, this, &InstanceListener::OnConnection);
}

void InstanceListener::OnConnection() {
    while (QLocalSocket* socket = server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        QPointer<QLocalSocket> guarded(socket);
        connect(socket, &QLocalSocket::readyRead, this, [this, guarded] {
            if (!guarded || !guarded->canReadLine()) return;
            QByteArray request = guarded->readLine();
            if (request == DoubleClickRequest) doubleClick();  // runs the status dialog
            if (!guarded) return;  // the second start went away meanwhile
            QLocalSocket* socket = guarded.data();
            socket->write(HandledReply);
            socket->flush();
            socket->disconnectFromServer();
        });
    }
}
