// pegmast on Linux: the board server's entry with a Qt window.
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <csignal>

#include "BoardWindow.h"
#include "OptionsDialog.h"
#include "ProgramIcon.h"
#include "QuitSignals.h"
#include "ServerDialogs.h"
#include "ServerStartup.h"
#include "WebServer.h"

namespace {

class QtBoardShell : public BoardShell {
public:
    explicit QtBoardShell(BoardServer& server_) : server(server_) {}

    bool CreateBoardWindow() override {
        window = new BoardWindow(server);
        window->setWindowIcon(ProgramIcon("board"));
        window->show();
        return true;
    }
    void HideBoardWindow() override { window->hide(); }
    void ShowMessage(const std::string& text, const std::string& caption, bool owned) override {
        QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(caption), QString::fromStdString(text),
                        QMessageBox::Ok, owned ? window : nullptr);
        box.exec();
    }
    // Queued into the window's thread: the reader holds tableLock right now.
    void BoardChanged() override { QMetaObject::invokeMethod(window, "ResetView", Qt::QueuedConnection); }

    BoardWindow* window = nullptr;

private:
    BoardServer& server;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    static SocketManager manager;
    static BoardServer server(manager);
    QtBoardShell shell(server);
    int exitCode = StartBoardServer(server, shell);
    if (exitCode != ServerRunning) return exitCode;

    // The extensions, off unless the settings turn them on; a web port that
    // cannot be had is said once and the board runs on without it.
    WebServer web(server);
    TakeBoardOptions(server, web, ReadBoardOptions(), shell);
    shell.window->showOptions = [&] {
        ChangeBoardOptions(server, web, shell, [&](BoardOptions& options) {
            return RunOptionsDialog(shell.window, options, server.localAddressText);
        });
    };

    // The idle step: repaint when more than two whole seconds have passed.
    RepaintClock clock;
    QTimer idle;
    QObject::connect(&idle, &QTimer::timeout, [&] {
        if (BoardIdleTick(server, clock)) shell.window->Canvas()->update();
    });
    idle.start(250);
    app.setQuitOnLastWindowClosed(true);
    // kill and Ctrl+C end the board the way closing its window does.
    QuitSignals quitSignals({SIGTERM, SIGINT});
    QObject::connect(&quitSignals, &QuitSignals::quitRequested, &app, &QCoreApplication::quit);
    app.exec();
    web.Stop();
    return StopBoardServer(server);
}
