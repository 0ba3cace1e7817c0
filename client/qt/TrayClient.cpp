#include "ClientEffects.h"
#include "TrayClient.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDBusConnection>
#include <QTime>
#include <QFrame>
#include <QPushButton>
#include <QVBoxLayout>

#include "ClientDialogs.h"
#include "ProgramIcon.h"

namespace {

// Stands in for the tray icon where the desktop has no notification area.
class FallbackWindow : public QWidget {
public:
    explicit FallbackWindow(TrayClient* client_) : client(client_) {}

protected:
    void closeEvent(QCloseEvent* event) override {
        event->accept();
        client->Exit();  // closing it is the only way out, as Exit is
    }

private:
    TrayClient* client;
};

}  // namespace

TrayClient::TrayClient(SocketManager& manager_, ClientState& state_, StatusSender& sender_,
                       ClientSettingsShell& settings_, QObject* parent)
    : QObject(parent), manager(manager_), state(state_), sender(sender_), settings(settings_) {
    createActions();
}

TrayClient::~TrayClient() {
    delete fallback;
    delete menu;
}

void TrayClient::createActions() {
    menu = new QMenu();
    aboutAction = menu->addAction("&About Pegora", this, &TrayClient::About);
    menu->addSeparator();
    changeAction = menu->addAction("&Change status", this, &TrayClient::ChangeStatus);
    setupAction = menu->addAction("&Setup", this, &TrayClient::Setup);
    awayAction = menu->addAction("&Away while locked", this, &TrayClient::ToggleAway);
    awayAction->setCheckable(true);
    auto guard = state.Lock();
    awayAction->setChecked(state.awayOnLock);
    menu->addSeparator();
    exitAction = menu->addAction("&Exit", this, &TrayClient::Exit);
}

void TrayClient::createTrayIcon() {
    trayIcon = new QSystemTrayIcon(ProgramIcon("peg"), this);
    trayIcon->setToolTip("change pegora status");
    trayIcon->setContextMenu(menu);
    // A StatusNotifierItem panel sends one activation for a click and never a
    // double click; an X11 tray sends both for a double click. Either opens the
    // status dialog, once per gesture.
    // The dialog opens from the event loop, so that the panel's call is
    // answered at once rather than when the dialog closes.
    connect(trayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason != QSystemTrayIcon::Trigger && reason != QSystemTrayIcon::DoubleClick) return;
        if (statusDialogOpen || statusDialogAsked) return;
        statusDialogAsked = true;
        QTimer::singleShot(0, this, [this] {
            ChangeStatus();
            statusDialogAsked = false;
        });
    });
    trayIcon->show();
}

void TrayClient::createFallbackWindow() {
    fallback = new FallbackWindow(this);
    fallback->setWindowTitle("marbly");
    fallback->setWindowIcon(ProgramIcon("peg"));
    QVBoxLayout* layout = new QVBoxLayout(fallback);
    for (QAction* action : menu->actions()) {
        if (action->isSeparator()) {
            QFrame* line = new QFrame(fallback);
            line->setFrameShape(QFrame::HLine);
            layout->addWidget(line);
            continue;
        }
        QPushButton* button = new QPushButton(action->text(), fallback);
        if (action->isCheckable()) {
            button->setCheckable(true);
            button->setChecked(action->isChecked());
            connect(action, &QAction::toggled, button, &QPushButton::setChecked);
        }
        connect(button, &QPushButton::clicked, action, &QAction::trigger);
        layout->addWidget(button);
    }
    fallback->show();
}

void TrayClient::Start() {
    Effects effects = OnStartup(state);
    manager.Startup();
    Carry(effects);
    if (QSystemTrayIcon::isSystemTrayAvailable())
        createTrayIcon();
    else
        createFallbackWindow();
    connect(&minuteTimer, &QTimer::timeout, this, [this] { Carry(OnTimerTick(state)); });
    minuteTimer.start(60000);
    connect(&areaTimer, &QTimer::timeout, this, &TrayClient::FollowNotificationArea);
    areaTimer.start(NotificationAreaCheckMs);
    WatchScreenLock();
}

void TrayClient::WatchScreenLock() {
    // Without a session bus there is no lock to hear of; the setting still toggles.
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    for (const char* service : {"org.freedesktop.ScreenSaver", "org.gnome.ScreenSaver"})
        bus.connect(QString(), QString(), service, "ActiveChanged", this, SLOT(OnScreenSaverActive(bool)));
}

void TrayClient::OnScreenSaverActive(bool active) {
    if (active) {
        QTime now = QTime::currentTime();
        Carry(OnScreenLocked(state, now.hour(), now.minute()));
    } else {
        Carry(OnScreenUnlocked(state));
    }
}

void TrayClient::ToggleAway() {
    Carry(ToggleAwayOnLock(state));
    auto guard = state.Lock();
    awayAction->setChecked(state.awayOnLock);
}

void TrayClient::FollowNotificationArea() {
    // Never while a dialog is open: the fallback window may be its owner.
    if (exited || openDialogs > 0) return;
    bool available = QSystemTrayIcon::isSystemTrayAvailable();
    if (fallback && available) {
        // A panel started after us: move into its notification area.
        fallback->hide();  // hiding is no close request, so the client stays
        fallback->deleteLater();
        fallback = nullptr;
        if (trayIcon)
            trayIcon->show();
        else
            createTrayIcon();
    } else if (!fallback && !available) {
        if (trayIcon) trayIcon->hide();
        createFallbackWindow();
    }
}

void TrayClient::ChangeStatus() {
    StatusFields fields = OpenStatusDialog(state);
    ++openDialogs;
    bool wasOpen = statusDialogOpen;
    statusDialogOpen = true;
    bool ok = RunStatusDialog(fallback, fields);
    statusDialogOpen = wasOpen;
    --openDialogs;
    Carry(CloseStatusDialog(state, fields, ok));
}

void TrayClient::Setup() {
    SetupFields fields = OpenSetupDialog(state);
    ++openDialogs;
    bool ok = RunSetupDialog(fallback, fields);
    --openDialogs;
    Carry(CloseSetupDialog(state, fields, ok));
}

void TrayClient::About() {
    ++openDialogs;
    RunAboutDialog(fallback);
    --openDialogs;
}

void TrayClient::Exit() {
    if (exited) return;
    exited = true;
    if (trayIcon) trayIcon->hide();
    if (fallback) fallback->hide();
    minuteTimer.stop();
    areaTimer.stop();
    Carry(OnExit(state));
    qApp->quit();
}

void TrayClient::Carry(const Effects& effects) { CarryEffects(effects, state, settings, sender); }
