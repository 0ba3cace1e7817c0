// pegling on Linux: the status client's entry.
#include <QApplication>
#include <QMessageBox>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "ClientDialogs.h"
#include "QuitSignals.h"
#include "SingleInstance.h"
#include "TrayClient.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    static SocketManager manager;
    static ClientState state;
    static StatusSender sender(manager, state);

    ClientSettingsShell settings;
    settings.showAccessError = [](const std::string& text) {
        QMessageBox box(QMessageBox::NoIcon, "Access error", QString::fromStdString(text), QMessageBox::Ok);
        box.exec();
    };
    settings.runFirstSetup = [](SetupFields& fields) { return RunSetupDialog(nullptr, fields); };
    ReadClientSettings(state, settings);
    ReadAwayOnLock(state);

    InstanceLock lock;
    const QString name = InstanceName();
    if (!lock.TryAcquire(InstanceLockPath(name))) {
        HandOver handOver = HandOverToRunningInstance(name);
        if (handOver == HandOver::Handled) return 0;
        if (handOver == HandOver::Gone)
            std::fprintf(stderr, "pegling: the running pegling ended before its status dialog was closed\n");
        else
            std::fprintf(stderr, "pegling: a pegling of this user is running but did not answer within 10 seconds\n");
        return 1;
    }

    TrayClient client(manager, state, sender, settings);
    InstanceListener listener(name, [&client] { client.ChangeStatus(); });
    QuitSignals* quitSignals = new QuitSignals({SIGTERM, SIGINT, SIGHUP});
    QObject::connect(quitSignals, &QuitSignals::quitRequested, &client, &TrayClient::Exit);
    // The desktop session's end takes the same way out as Exit.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &client, &TrayClient::Exit);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &client, &TrayClient::Exit);
    client.Start();
    app.exec();

    // No longer the running instance: a start from now on runs a client of its own.
    listener.Close();
    lock.Release();
    delete quitSignals;
    // Give the last record up to five seconds to reach the board.
    if (!sender.WaitForSends(std::chrono::seconds(5))) std::_Exit(0);
    manager.Cleanup();
    return 0;
}
