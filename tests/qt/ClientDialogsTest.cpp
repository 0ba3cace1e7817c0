// The Linux client's dialogs, fields and limits, and its fallback window.
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <atomic>
#include <thread>

#include "ClientDialogs.h"
#include "ProgramIcon.h"
#include "Loopback.h"
#include "SingleInstance.h"
#include "TrayClient.h"

namespace {

// Acts on the next modal dialog once it is up.
void OnModal(std::function<void(QWidget*)> act) {
    QTimer::singleShot(100, [act] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal) act(modal);
    });
}

QLineEdit* Edit(QWidget* dialog, const char* name) { return dialog->findChild<QLineEdit*>(name); }

QPushButton* Button(QWidget* dialog, const QString& text) {
    for (QPushButton* b : dialog->findChildren<QPushButton*>())
        if (b->text() == text) return b;
    return nullptr;
}

}  // namespace

class ClientDialogsTest : public QObject {
    Q_OBJECT

private slots:
    void statusDialogFieldsLimitsAndTabOrder() {
        StatusFields fields;
        fields.name = "Jos\xe9";
        fields.status = StatusOut;
        fields.message = "\x80 5 for lunch";
        QString shownName, shownMessage, title;
        bool outChecked = false, nameReadOnly = false, topmost = false;
        int messageLimit = 0;
        QStringList tabOrder;
        OnModal([&](QWidget* d) {
            title = d->windowTitle();
            topmost = d->windowFlags() & Qt::WindowStaysOnTopHint;
            shownName = Edit(d, "name")->text();
            nameReadOnly = Edit(d, "name")->isReadOnly() && Edit(d, "name")->focusPolicy() == Qt::NoFocus;
            shownMessage = Edit(d, "message")->text();
            messageLimit = Edit(d, "message")->maxLength();
            outChecked = d->findChild<QRadioButton*>("out")->isChecked();
            QWidget* w = Button(d, "OK");
            for (int i = 0; i < 4; ++i, w = w->nextInFocusChain()) {
                while (w->focusPolicy() == Qt::NoFocus) w = w->nextInFocusChain();
                tabOrder << (w->objectName().isEmpty() ? static_cast<QAbstractButton*>(w)->text() : w->objectName());
            }
            d->findChild<QRadioButton*>("in")->setChecked(true);
            Edit(d, "message")->setText(QString(250, 'm') + "\u65e5");
            Button(d, "Cancel")->click();
        });
        bool ok = RunStatusDialog(nullptr, fields);
        QCOMPARE(title, QString("PEGORA Update"));
        QVERIFY(topmost);
        QCOMPARE(shownName, QString("Jos\u00e9"));
        QVERIFY(nameReadOnly);
        QCOMPARE(shownMessage, QString("\u20ac 5 for lunch"));
        QCOMPARE(messageLimit, 199);
        QVERIFY(outChecked);
        QCOMPARE(tabOrder, QStringList({"OK", "Cancel", "in", "message"}));
        QVERIFY(!ok);  // Cancel still gives the fields back
        QCOMPARE(fields.status, StatusIn);
        QCOMPARE(fields.message, std::string(199, 'm'));
        QCOMPARE(fields.name, std::string("Jos\xe9"));

        OnModal([&](QWidget* d) {
            Edit(d, "message")->setText("\u00e0 demain \u65e5");
            Button(d, "OK")->click();
        });
        QVERIFY(RunStatusDialog(nullptr, fields));
        QCOMPARE(fields.message, std::string("\xe0 demain ?"));
    }

    void setupDialogFieldsAndLimits() {
        SetupFields fields{"Anna", "5001", "192.0.0.1"};
        QList<int> limits;
        QString title, focused;
        OnModal([&](QWidget* d) {
            title = d->windowTitle();
            for (const char* name : {"user", "port", "serverAddress"}) limits << Edit(d, name)->maxLength();
            focused = QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString();
            Edit(d, "user")->setText("Bj\u00f6rn");
            Edit(d, "port")->setText("6000x");
            Edit(d, "serverAddress")->setText("127.0.0.1");
            Button(d, "Cancel")->click();
        });
        QVERIFY(!RunSetupDialog(nullptr, fields));
        QCOMPARE(title, QString("Setup Information"));
        QCOMPARE(limits, QList<int>({19, 49, 127}));
        QCOMPARE(focused, QString("user"));
        QCOMPARE(fields.user, std::string("Anna"));  // Cancel changes nothing

        OnModal([&](QWidget* d) {
            Edit(d, "user")->setText("Bj\u00f6rn");
            Edit(d, "port")->setText("6000x");
            Button(d, "OK")->click();
        });
        QVERIFY(RunSetupDialog(nullptr, fields));
        QCOMPARE(fields.user, std::string("Bj\xf6rn"));
        QCOMPARE(fields.portText, std::string("6000x"));
    }

    void instanceFilesArePrivateAndTheLockExclusive() {
        QTemporaryDir runtime, config;
        QVERIFY(runtime.isValid() && config.isValid());
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
        QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
        QCOMPARE(InstanceDirectory(), runtime.path());

        // A runtime directory that others may enter is not used: a private one of our own is made.
        QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                  QFile::ReadOther | QFile::WriteOther | QFile::ExeOther);
        QCOMPARE(InstanceDirectory(), config.path() + "/pegora");
        QCOMPARE(QFileInfo(config.path() + "/pegora").permissions() & 0x0077, QFile::Permissions());
        qunsetenv("XDG_RUNTIME_DIR");
        QCOMPARE(InstanceDirectory(), config.path() + "/pegora");

        InstanceLock first, second;
        QVERIFY(first.TryAcquire(InstanceLockPath(InstanceName())));
        QVERIFY(!second.TryAcquire(InstanceLockPath(InstanceName())));
        // The holder does not listen: the hand-over gives up at its limit.
        QElapsedTimer waited;
        waited.start();
        QVERIFY(HandOverToRunningInstance(InstanceName(), 600) == HandOver::NoAnswer);
        QVERIFY(waited.elapsed() < 3000);
        first.Release();
        QVERIFY(second.TryAcquire(InstanceLockPath(InstanceName())));

        // The holder listens: the double click is taken at once, and answered
        // when its dialog closes, however long after the answer limit that is.
        int clicks = 0;
        InstanceListener listener(InstanceName(), [&clicks] {
            ++clicks;
            QTest::qWait(1500);  // the user in the dialog
        });
        QVERIFY(listener.IsListening());
        std::atomic<HandOver> result{HandOver::NoAnswer};
        waited.restart();
        std::thread starter([&result] { result = HandOverToRunningInstance(InstanceName(), 600); });
        QTRY_VERIFY_WITH_TIMEOUT(clicks == 1, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(result != HandOver::NoAnswer, 5000);
        starter.join();
        QVERIFY(result == HandOver::Handled);
        QVERIFY(waited.elapsed() >= 1500);
    }

    // Both programs' icons are the images drawn at build time, built in: a
    // lost resource would leave the tray with an empty icon and no error.
    void iconsAreTheDrawnImages() {
        for (const char* drawing : {"peg", "board"}) {
            for (int size : {16, 32, 48}) {
                const QImage drawn(QString(":/icons/%1-%2.png").arg(drawing).arg(size));
                QCOMPARE(drawn.size(), QSize(size, size));
                QCOMPARE(ProgramIcon(drawing).pixmap(size, size).toImage().convertToFormat(drawn.format()), drawn);
            }
        }
    }

    void fallbackWindowCarriesTheCommands() {
        QTemporaryDir config;
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
        RawListener listener;
        ClientState state;
        state.record.SetName("Anna");
        state.config.SetServerAddress("127.0.0.1");
        state.config.port = listener.Port();
        StatusSender sender(TestManager(), state);
        ClientSettingsShell settings;
        settings.showAccessError = [](const std::string&) {};
        TrayClient client(TestManager(), state, sender, settings);

        QStringList items;
        for (QAction* a : client.Menu()->actions()) items << (a->isSeparator() ? "-" : a->text());
        QCOMPARE(items,
                 QStringList({"&About Pegora", "-", "&Change status", "&Setup", "&Away while locked", "-", "&Exit"}));

        client.Start();
        std::string bytes;
        QVERIFY(listener.AcceptAll(bytes, 5000));
        QCOMPARE(bytes.size(), std::size_t(512));
        QCOMPARE(StatusRecord(bytes.data(), bytes.size()).Message(), std::string("started but not signed in."));

        // No notification area offscreen: the commands live in a small window.
        QVERIFY(client.UsesFallbackWindow());
        QWidget* fallback = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->windowTitle() == "marbly" && w->isVisible()) fallback = w;
        QVERIFY(fallback);
        QStringList buttons;
        for (QPushButton* b : fallback->findChildren<QPushButton*>()) buttons << b->text();
        QCOMPARE(buttons, QStringList({"&About Pegora", "&Change status", "&Setup", "&Away while locked", "&Exit"}));

        // The check button shows the setting and toggles it in the settings key.
        QPushButton* away = Button(fallback, "&Away while locked");
        QVERIFY(away->isCheckable() && !away->isChecked());
        away->click();
        QVERIFY(away->isChecked());
        ClientState reread;
        ReadAwayOnLock(reread);
        QVERIFY(reread.awayOnLock);
        away->click();
        QVERIFY(!away->isChecked());
        ReadAwayOnLock(reread);
        QVERIFY(!reread.awayOnLock);

        QString title;
        OnModal([&](QWidget* d) {
            title = d->windowTitle();
            d->close();
        });
        Button(fallback, "&About Pegora")->click();
        QCOMPARE(title, QString("About"));

        Button(fallback, "&Exit")->click();
        bytes.clear();
        QVERIFY(listener.AcceptAll(bytes, 5000));
        StatusRecord last(bytes.data(), bytes.size());
        QCOMPARE(last.Message(), std::string("Client shutdown"));
        QCOMPARE(last.Status(), StatusOther);
        QVERIFY(sender.WaitForSends(std::chrono::seconds(5)));
    }
};

QTEST_MAIN(ClientDialogsTest)
#include "ClientDialogsTest.moc"
