// pegmast: the board server's entry, window shell and main loop.
#include <windows.h>

#include "BoardWindow.h"
#include "OptionsDialog.h"
#include "WebServer.h"
#include "ServerStartup.h"
#include "resource.h"

namespace {

SocketManager manager;
BoardServer server(manager);
WebServer web(server);

class Win32BoardShell : public BoardShell {
public:
    Win32BoardShell(HINSTANCE instance_, int showCommand_, const char* className_, const char* title_)
        : instance(instance_), showCommand(showCommand_), className(className_), title(title_), board(server) {}

    bool CreateBoardWindow() override { return board.Create(instance, className, title, showCommand); }
    void HideBoardWindow() override { ShowWindow(board.Handle(), SW_HIDE); }
    void ShowMessage(const std::string& text, const std::string& caption, bool owned) override {
        MessageBoxA(owned ? board.Handle() : nullptr, text.c_str(), caption.c_str(), MB_OK);
    }
    // Posted, never sent: the reader holds tableLock and the painter may wait for it.
    void BoardChanged() override { PostMessageA(board.Handle(), WM_SIZE, 0, 0); }

    HWND Window() const { return board.Handle(); }
    BoardWindow& Board() { return board; }

private:
    HINSTANCE instance;
    int showCommand;
    const char* className;
    const char* title;
    BoardWindow board;
};

// Runs until WM_QUIT. Waits for input instead of spinning, but wakes often
// enough that the idle step still repaints the board every three seconds.
void MainLoop(HWND window, HACCEL accelerators) {
    RepaintClock clock;
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) return;
            if (!TranslateAcceleratorA(msg.hwnd, accelerators, &msg)) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
        }
        if (BoardIdleTick(server, clock)) InvalidateRect(window, nullptr, TRUE);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 250, QS_ALLINPUT);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    char title[100];
    char className[100];
    LoadStringA(instance, IDS_APP_TITLE, title, sizeof title);
    LoadStringA(instance, IDC_PEGMAST, className, sizeof className);
    BoardWindow::Register(instance, className);

    Win32BoardShell shell(instance, showCommand, className, title);
    server.workerFailed = [](const std::string& text) {
        MessageBoxA(nullptr, text.c_str(), "pegmast", MB_OK | MB_ICONERROR);
    };
    int exitCode = StartBoardServer(server, shell);
    if (exitCode != ServerRunning) return exitCode;

    // The extensions, off unless the settings turn them on; a web port that
    // cannot be had is said once and the board runs on without it.
    TakeBoardOptions(server, web, ReadBoardOptions(), shell);
    shell.Board().showOptions = [&shell, instance] {
        ChangeBoardOptions(server, web, shell, [&shell, instance](BoardOptions& options) {
            return RunOptionsDialog(instance, shell.Window(), options, server.localAddressText);
        });
    };

    HACCEL accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDC_PEGMAST));
    MainLoop(shell.Window(), accelerators);
    web.Stop();
    return StopBoardServer(server);
}
