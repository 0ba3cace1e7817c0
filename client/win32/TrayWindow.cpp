#include "ClientEffects.h"
#include "TrayWindow.h"

#include <cstring>
#include <shellapi.h>
#include <wtsapi32.h>

#include "ClientDialogs.h"
#include "resource.h"

namespace {
const char* const TrayTip = "change pegora status";
const UINT FirstIconDataSize = 88;  // the original NOTIFYICONDATAA layout
const std::chrono::seconds SessionEndSendLimit(5);
}  // namespace

TrayWindow::TrayWindow(SocketManager& manager_, ClientState& state_, StatusSender& sender_,
                       ClientSettingsShell& settings_)
    : manager(manager_), state(state_), sender(sender_), settings(settings_) {}

bool TrayWindow::Register(HINSTANCE instance, const char* className) {
    return RegisterWindowClass(instance, className, IDI_PEGLING, IDI_SMALL, IDC_PEGLING);
}

bool TrayWindow::Create(HINSTANCE instance_, const char* className, const char* title) {
    instance = instance_;
    taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    HWND created = CreateWindowExA(0, className, title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0, CW_USEDEFAULT, 0,
                                   nullptr, nullptr, instance, this);
    return created != nullptr;
}

LRESULT TrayWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: OnCreate(); return 0;
    case WM_TIMER: Carry(OnTimerTick(state)); return 0;
    case TrayCallbackMessage: OnTrayEvent(lParam); return 0;
    case WM_COMMAND:
        if (OnCommand(LOWORD(wParam))) return 0;
        break;
    case WM_DESTROY: OnDestroy(); return 0;
    case WM_QUERYENDSESSION: return TRUE;
    case WM_WTSSESSION_CHANGE: OnSessionChange(wParam); return 0;
    case WM_ENDSESSION:
        // The session ends without WM_DESTROY: the last record must leave now.
        if (wParam) {
            ExitSteps();
            sender.WaitForSends(SessionEndSendLimit);
        }
        return 0;
    case WM_PAINT:
        ValidateRect(window, nullptr);  // never shown; nothing to draw
        return 0;
    }
    if (taskbarCreated != 0 && message == taskbarCreated) {
        // Explorer restarted: the notification area is new and our icon is gone.
        NOTIFYICONDATAA data = IconData();
        Shell_NotifyIconA(NIM_ADD, &data);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

NOTIFYICONDATAA TrayWindow::IconData() const {
    NOTIFYICONDATAA data;
    std::memset(&data, 0, sizeof data);
    data.cbSize = FirstIconDataSize;
    data.hWnd = window;
    data.uID = TrayIconId;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = TrayCallbackMessage;
    data.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_TRAY));
    std::strcpy(data.szTip, TrayTip);
    return data;
}

void TrayWindow::OnCreate() {
    Effects effects = OnStartup(state);
    manager.Startup();
    Carry(effects);
    NOTIFYICONDATAA data = IconData();
    Shell_NotifyIconA(NIM_ADD, &data);
    SetTimer(window, MinuteTimer, 60000, nullptr);
    WTSRegisterSessionNotification(window, NOTIFY_FOR_THIS_SESSION);  // lock and unlock of this session
}

void TrayWindow::OnSessionChange(WPARAM change) {
    if (change == WTS_SESSION_LOCK) {
        SYSTEMTIME now;
        GetLocalTime(&now);
        Carry(OnScreenLocked(state, now.wHour, now.wMinute));
    } else if (change == WTS_SESSION_UNLOCK) {
        Carry(OnScreenUnlocked(state));
    }
}

void TrayWindow::OnDestroy() {
    WTSUnRegisterSessionNotification(window);
    ExitSteps();
    PostQuitMessage(0);
}

void TrayWindow::ExitSteps() {
    KillTimer(window, MinuteTimer);
    NOTIFYICONDATAA data = IconData();
    Shell_NotifyIconA(NIM_DELETE, &data);
    Carry(OnExit(state));  // a second call finds the record final and sends nothing
}

void TrayWindow::OnTrayEvent(LPARAM mouseMessage) {
    switch (mouseMessage) {
    case WM_LBUTTONDBLCLK: ChangeStatus(); break;
    case WM_RBUTTONUP:
    case WM_CONTEXTMENU: ShowTrayMenu(); break;
    }
}

bool TrayWindow::OnCommand(int command) {
    switch (command) {
    case IDM_ABOUT: RunAboutDialog(instance, window); return true;
    case IDM_EXIT: DestroyWindow(window); return true;
    case IDM_CHANGE_STATUS: ChangeStatus(); return true;
    case IDM_SETUP: Setup(); return true;
    case IDM_AWAY_ON_LOCK: Carry(ToggleAwayOnLock(state)); return true;
    }
    return false;
}

void TrayWindow::ShowTrayMenu() {
    HMENU menu = CreatePopupMenu();
    AppendMenuA(menu, MF_STRING, IDM_ABOUT, "&About Pegora");
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(menu, MF_STRING, IDM_CHANGE_STATUS, "&Change status");
    AppendMenuA(menu, MF_STRING, IDM_SETUP, "&Setup");
    bool awayOnLock;
    {
        auto guard = state.Lock();
        awayOnLock = state.awayOnLock;
    }
    AppendMenuA(menu, MF_STRING | (awayOnLock ? MF_CHECKED : MF_UNCHECKED), IDM_AWAY_ON_LOCK, "&Away while locked");
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(menu, MF_STRING, IDM_EXIT, "&Exit");

    RECT screen;
    GetWindowRect(GetDesktopWindow(), &screen);
    SetForegroundWindow(window);
    // The chosen item arrives as WM_COMMAND, like every other command.
    TrackPopupMenuEx(menu, TPM_BOTTOMALIGN | TPM_RIGHTALIGN, screen.right - 30, screen.bottom - 20, window, nullptr);
    PostMessageA(window, WM_NULL, 0, 0);  // lets the menu close when the user clicks elsewhere
    DestroyMenu(menu);
}

void TrayWindow::ChangeStatus() {
    StatusFields fields = OpenStatusDialog(state);
    bool ok = RunStatusDialog(instance, window, fields);
    Carry(CloseStatusDialog(state, fields, ok));
}

void TrayWindow::Setup() {
    SetupFields fields = OpenSetupDialog(state);
    bool ok = RunSetupDialog(instance, window, fields);
    Carry(CloseSetupDialog(state, fields, ok));
}

void TrayWindow::Carry(const Effects& effects) { CarryEffects(effects, state, settings, sender); }
