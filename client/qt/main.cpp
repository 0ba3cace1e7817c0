// pegling on Linux: the status client's entry.
#include <QApplication>
#include <QMessageBox>
#include <cstdlib>

#include "ClientDialogs.h"
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

    const QString name = InstanceName();
    if (HandOverToRunningInstance(name)) return 0;

    TrayClient client(manager, state, sender, settings);
    InstanceListener listener(name, [&client] { client.ChangeStatus(); });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &client, &TrayClient::Exit);
    client.Start();
    app.exec();

    // Give the last record up to five seconds to reach the board.
    if (!sender.WaitForSends(std::chrono::seconds(5))) std::_Exit(0);
    manager.Cleanup();
    return 0;
}
