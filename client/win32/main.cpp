// pegling: the status client's entry and message loop.
#include <windows.h>

#include <cstdlib>

#include "ClientDialogs.h"
#include "TrayWindow.h"
#include "resource.h"

namespace {

SocketManager manager;
ClientState state;
StatusSender sender(manager, state);

// Exit waits this long in all for sends still running, so the last record reaches the board.
const std::chrono::seconds SendDrainLimit(5);

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    char title[100];
    char className[100];
    LoadStringA(instance, IDS_APP_TITLE, title, sizeof title);
    LoadStringA(instance, IDC_PEGLING, className, sizeof className);
    TrayWindow::Register(instance, className);

    ClientSettingsShell settings;
    settings.showAccessError = [](const std::string& text) {
        MessageBoxA(nullptr, text.c_str(), "Access error", MB_OK);
    };
    settings.runFirstSetup = [instance](SetupFields& fields) { return RunSetupDialog(instance, nullptr, fields); };
    sender.showFailure = [](const std::string& text) { MessageBoxA(nullptr, text.c_str(), "Socket Error!", MB_OK); };
    ReadClientSettings(state, settings);
    ReadAwayOnLock(state);

    // Already running on this desktop: hand over the double click and wait until it is handled.
    if (HWND running = FindWindowA(className, title)) {
        SendMessageA(running, TrayCallbackMessage, 0, WM_LBUTTONDBLCLK);
        return 0;
    }

    TrayWindow tray(manager, state, sender, settings);
    if (!tray.Create(instance, className, title)) return 0;
    ShowWindow(tray.Handle(), SW_HIDE);
    UpdateWindow(tray.Handle());

    HACCEL accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDC_PEGLING));
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (!TranslateAcceleratorA(msg.hwnd, accelerators, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }

    if (!sender.WaitForSends(SendDrainLimit)) {
        // A send is still stuck: leave without tearing the socket library down under it.
        std::_Exit(0);
    }
    manager.Cleanup();
    return static_cast<int>(msg.wParam);
}
