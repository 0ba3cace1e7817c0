// The client's user interface on Linux: the tray icon and its menu (or a small
// "marbly" window where there is no notification area), the minute timer, and
// the client's rules carried out.
#pragma once

#include <QAction>
#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>

#include "ClientRules.h"
#include "ClientSettings.h"
#include "StatusSender.h"

// How often the client looks for a notification area that came or went.
const int NotificationAreaCheckMs = 3000;

class TrayClient : public QObject {
    Q_OBJECT
public:
    TrayClient(SocketManager& manager, ClientState& state, StatusSender& sender, ClientSettingsShell& settings,
               QObject* parent = nullptr);
    ~TrayClient() override;

    // Start-up: record texts, socket library, first send, icon, timer.
    void Start();
    bool UsesFallbackWindow() const { return fallback != nullptr; }
    QMenu* Menu() const { return menu; }

public slots:
    void ChangeStatus();
    void Setup();
    void About();
    void ToggleAway();
    void Exit();
    // The desktop's screen saver: active is the screen locked.
    void OnScreenSaverActive(bool active);

private:
    void createActions();
    void createTrayIcon();
    void createFallbackWindow();
    void FollowNotificationArea();
    void WatchScreenLock();
    void Carry(const Effects& effects);

    SocketManager& manager;
    ClientState& state;
    StatusSender& sender;
    ClientSettingsShell& settings;
    QMenu* menu = nullptr;
    QAction* aboutAction = nullptr;
    QAction* changeAction = nullptr;
    QAction* setupAction = nullptr;
    QAction* awayAction = nullptr;
    QAction* exitAction = nullptr;
    QSystemTrayIcon* trayIcon = nullptr;
    QWidget* fallback = nullptr;
    QTimer minuteTimer;
    QTimer areaTimer;
    int openDialogs = 0;
    bool statusDialogOpen = false;
    bool statusDialogAsked = false;  // by the icon, not yet opened
    bool exited = false;
};
