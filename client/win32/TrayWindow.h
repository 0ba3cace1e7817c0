// The client's hidden window: owns the tray icon, receives the tray callback,
// the minute timer and the commands, and carries out the client's rules.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include "ClientRules.h"
#include "ClientSettings.h"
#include "StatusSender.h"
#include "WindowBase.h"

const UINT TrayCallbackMessage = WM_USER + 101;  // 1125
const UINT TrayIconId = 110;
const UINT_PTR MinuteTimer = 1;

class TrayWindow : public WindowBase<TrayWindow> {
    friend class WindowBase<TrayWindow>;

public:
    TrayWindow(SocketManager& manager, ClientState& state, StatusSender& sender, ClientSettingsShell& settings);

    static bool Register(HINSTANCE instance, const char* className);
    bool Create(HINSTANCE instance, const char* className, const char* title);

private:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnCreate();
    void OnDestroy();
    // Icon gone, "Client shutdown" written and sent: every ending of the client.
    void ExitSteps();
    void OnTrayEvent(LPARAM mouseMessage);
    void OnSessionChange(WPARAM change);
    bool OnCommand(int command);
    void ShowTrayMenu();
    void ChangeStatus();
    void Setup();
    void Carry(const Effects& effects);
    NOTIFYICONDATAA IconData() const;

    SocketManager& manager;
    ClientState& state;
    StatusSender& sender;
    ClientSettingsShell& settings;
    HINSTANCE instance = nullptr;
    UINT taskbarCreated = 0;
};
