// The Linux board window: what it draws, its scroll bar, menus and keys.
#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

#include "Records.h"
#include "BoardWindow.h"
#include "OptionsDialog.h"
#include "Loopback.h"

namespace {

// Closes the next modal dialog and tells its title and line edits.
struct ModalProbe {
    QString title;
    QMap<QString, QString> fields;
    void Arm() {
        QTimer::singleShot(100, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal) return;
            title = modal->windowTitle();
            for (QLineEdit* edit : modal->findChildren<QLineEdit*>()) fields[edit->objectName()] = edit->text();
            modal->close();
        });
    }
};

bool Inked(const QImage& image, const QRect& area) {
    QColor background = image.pixelColor(image.width() / 2, image.height() - 2);
    for (int y = std::max(0, area.top()); y <= std::min(image.height() - 1, area.bottom()); ++y)
        for (int x = std::max(0, area.left()); x <= std::min(image.width() - 1, area.right()); ++x)
            if (image.pixelColor(x, y) != background) return true;
    return false;
}

}  // namespace

class BoardWindowTest : public QObject {
    Q_OBJECT

private slots:
    void drawsTheItemsWhereTheLayoutPutsThem() {
        BoardServer server(TestManager());
        for (int i = 0; i < 40; ++i) server.table.Store(MakeRecord("W" + std::to_string(i), i % 3 + 1, "MMMMMMMM"));
        BoardWindow window(server);
        window.resize(700, 400);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QImage image(window.Canvas()->size(), QImage::Format_RGB32);
        window.Canvas()->render(&image);

        const int line = window.LineHeight();
        const int visible = window.Canvas()->height() / line;
        QCOMPARE(window.View().VisibleRows(), visible);
        for (int row = 0; row < visible; ++row) {
            const int y = row * line;
            QVERIFY2(Inked(image, QRect(5, y, 20, line)), "name column");
            QVERIFY2(Inked(image, QRect(130, y, 40, line)), "status column");
            QVERIFY2(Inked(image, QRect(190, y, 60, line)), "message column");
            QVERIFY2(!Inked(image, QRect(60, y + 1, 60, line - 2)), "nothing between name and status");
            QCOMPARE(Inked(image, QRect(0, y + 2, 4, line - 4)), row == 0);  // the marker
        }
        QVERIFY2(!Inked(image, QRect(0, visible * line, 400, image.height() - visible * line - 1)),
                 "no row beyond the visible ones");
        QVERIFY2(Inked(image, QRect(image.width() - 60, 5, 30, line)), "the counter at the top right");
    }

    void scrollBarFollowsEveryRule() {
        BoardServer server(TestManager());
        for (int i = 0; i < 30; ++i) server.table.Store(MakeRecord("u" + std::to_string(i), 1, ""));
        BoardWindow window(server);
        window.resize(600, 300);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const int v = window.View().VisibleRows();
        QVERIFY(v > 2 && v < 29);
        QScrollBar* bar = window.ScrollBar();
        QVERIFY(bar->isVisible());
        QCOMPARE(bar->minimum(), 0);
        QCOMPARE(bar->maximum(), 30 - v + 1);  // where the last page begins, as on Windows
        QCOMPARE(bar->pageStep(), v);

        bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        QCOMPARE(window.View().SelectedRow(), 1);
        QCOMPARE(bar->value(), 1);
        bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
        QCOMPARE(window.View().TopRow(), v);
        QCOMPARE(window.View().SelectedRow(), 1 + v);
        auto shown = [v](int position) { return std::min(position, 30 - v + 1); };  // Windows stops the thumb there
        QCOMPARE(bar->value(), shown(1 + v));
        bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
        QCOMPARE(window.View().SelectedRow(), v);
        QCOMPARE(bar->value(), shown(v));
        bar->triggerAction(QAbstractSlider::SliderPageStepSub);
        QCOMPARE(window.View().TopRow(), 0);
        QCOMPARE(bar->value(), 0);

        // Dragging the thumb changes nothing and puts it back.
        bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        bar->setSliderDown(true);
        bar->setSliderPosition(20);
        bar->setSliderDown(false);
        QCOMPARE(window.View().SelectedRow(), 1);
        QCOMPARE(bar->value(), 1);

        // Keys on the board take the same rules.
        window.Canvas()->setFocus();
        QTest::keyClick(window.Canvas(), Qt::Key_Down);
        QCOMPARE(window.View().SelectedRow(), 2);
        QCOMPARE(bar->value(), 2);

        // A stored record, queued from the reader, brings the view back to the top.
        server.table.Store(MakeRecord("new", 2, ""));
        QMetaObject::invokeMethod(&window, "ResetView", Qt::QueuedConnection);
        QTRY_COMPARE(window.View().SelectedRow(), 0);
        QCOMPARE(bar->value(), 0);
        QCOMPARE(bar->maximum(), 31 - v + 1);

        // Every row fits: no scroll bar, as Windows shows none.
        window.resize(600, 31 * window.LineHeight() + 200);
        QTRY_VERIFY(window.View().VisibleRows() > 31);
        QTRY_VERIFY(!bar->isVisible());
    }

    void aLongNameEndsUnderTheStatusWord() {
        BoardServer server(TestManager());
        server.table.Store(MakeRecord(std::string(19, 'W'), StatusIn, "here"));
        BoardWindow window(server);
        window.resize(700, 300);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QImage image(window.Canvas()->size(), QImage::Format_RGB32);
        window.Canvas()->render(&image);
        const int line = window.LineHeight();
        const int space = window.Canvas()->fontMetrics().horizontalAdvance(' ');
        QVERIFY2(window.Canvas()->fontMetrics().horizontalAdvance(QString(19, 'W')) > 130 + space,
                 "the name runs past the status column");
        // The status word's leading space is painted opaque over the name's end.
        QVERIFY2(!Inked(image, QRect(130, 1, space - 1, line - 2)), "the name shows through the status word");
        QVERIFY2(Inked(image, QRect(100, 1, 28, line - 2)), "the name up to the status column");
    }

    void menusAndAccelerators() {
        BoardServer server(TestManager());
        server.serverPort = 5001;
        server.localAddressText = "198.51.100.7";
        BoardWindow window(server);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QStringList menus;
        for (QAction* a : window.menuBar()->actions()) menus << a->text();
        QCOMPARE(menus, QStringList({"&File", "&Help"}));
        QList<QAction*> file = window.menuBar()->actions()[0]->menu()->actions();
        QCOMPARE(file.size(), 4);
        QCOMPARE(file[0]->text(), QString("&Setup"));
        QCOMPARE(file[1]->text(), QString("&Options..."));
        QVERIFY(file[2]->isSeparator());
        QCOMPARE(file[3]->text(), QString("E&xit"));
        QAction* about = window.menuBar()->actions()[1]->menu()->actions()[0];
        QCOMPARE(about->text(), QString("&About ..."));

        ModalProbe probe;
        probe.Arm();
        file[0]->trigger();
        QCOMPARE(probe.title, QString("Setup"));
        QCOMPARE(probe.fields["port"], QString("5001"));
        QCOMPARE(probe.fields["serverIp"], QString("198.51.100.7"));

        probe = ModalProbe();
        probe.Arm();
        about->trigger();
        QCOMPARE(probe.title, QString("About"));

        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        for (Qt::Key key : {Qt::Key_Question, Qt::Key_Slash}) {
            probe = ModalProbe();
            probe.Arm();
            QTest::keyClick(window.Canvas(), key, Qt::AltModifier);
            QCOMPARE(probe.title, QString("About"));
        }

        bool optionsAsked = false;
        window.showOptions = [&] { optionsAsked = true; };
        file[1]->trigger();
        QVERIFY(optionsAsked);

        file[3]->trigger();
        QVERIFY(!window.isVisible());
    }

    void optionsDialogFieldsAndRefusals() {
        BoardOptions options;
        bool ok = true;
        QStringList seen;
        QTimer::singleShot(100, [&] {
            QWidget* d = QApplication::activeModalWidget();
            QVERIFY(d);
            seen << d->windowTitle();
            auto share = d->findChild<QCheckBox*>("share");
            auto grey = d->findChild<QCheckBox*>("grey");
            auto port = d->findChild<QLineEdit*>("webPort");
            auto minutes = d->findChild<QLineEdit*>("minutes");
            auto link = d->findChild<QLineEdit*>("webAddress");
            QVERIFY(share && grey && port && minutes && link);
            seen << share->text() << grey->text() << port->text() << minutes->text() << link->text();
            QVERIFY(!port->isEnabled() && !minutes->isEnabled() && link->isReadOnly());
            share->setChecked(true);
            seen << link->text();
            port->setText("70000");
            // OK with a port above 65535: refused in a box, and the dialog stays.
            QTimer::singleShot(100, [&seen] {
                QWidget* box = QApplication::activeModalWidget();
                seen << (box ? box->windowTitle() : "none");
                if (box) box->close();
            });
            QTest::mouseClick(d->findChildren<QPushButton*>()[0], Qt::LeftButton);
            seen << (d->isVisible() ? "stays" : "closed");
            port->setText("8081");
            grey->setChecked(true);
            minutes->setText("15");
            QTest::mouseClick(d->findChildren<QPushButton*>()[0], Qt::LeftButton);
        });
        ok = RunOptionsDialog(nullptr, options, "198.51.100.7");
        QCOMPARE(seen,
                 QStringList({"Board options", "Share the board in a web browser", "Grey out rows with no word for",
                              "8080", "3", "", "http://198.51.100.7:8080/", "Board options", "stays"}));
        QVERIFY(ok);
        QCOMPARE(options.webPort, 8081u);
        QCOMPARE(options.silentMinutes, 15u);

        // Cancel changes nothing.
        QTimer::singleShot(100, [] { QApplication::activeModalWidget()->close(); });
        BoardOptions kept{8081, 15};
        QVERIFY(!RunOptionsDialog(nullptr, kept, "198.51.100.7"));
        QCOMPARE(kept.webPort, 8081u);
    }

    void aShortCodeKeptIsWarnedOfAndANewOneRefused() {
        BoardOptions options{8081, 0};
        options.webUpdates = true;
        options.webUpdateCode = "abc";
        QStringList seen;
        QTimer::singleShot(100, [&] {
            QWidget* d = QApplication::activeModalWidget();
            auto code = d->findChild<QLineEdit*>("code");
            QVERIFY(code);
            auto say = [&seen] {
                QTimer::singleShot(100, [&seen] {
                    auto box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                    seen << (box ? box->text() : "no box");
                    if (box) box->close();
                });
            };
            code->setText("abcd");  // a new code of 4: refused
            say();
            QTest::mouseClick(d->findChildren<QPushButton*>()[0], Qt::LeftButton);
            code->setText("abc");  // the one stored: taken, with a warning
            say();
            QTest::mouseClick(d->findChildren<QPushButton*>()[0], Qt::LeftButton);
        });
        QVERIFY(RunOptionsDialog(nullptr, options, "198.51.100.7"));
        QCOMPARE(seen.size(), 2);
        QVERIFY2(seen[0].contains("at least 8 characters"), qPrintable(seen[0]));
        QVERIFY2(seen[1].contains("shorter than 8 characters"), qPrintable(seen[1]));
        QCOMPARE(options.webUpdateCode, std::string("abc"));
    }
};

QTEST_MAIN(BoardWindowTest)
#include "BoardWindowTest.moc"
