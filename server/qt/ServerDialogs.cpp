#include "PegoraVersion.h"
#include "ProgramIcon.h"
#include "ServerDialogs.h"

#include <QDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

int Run(QDialog& dialog) { return dialog.exec() == QDialog::Accepted ? 1 : 2; }

}  // namespace

int RunServerSetupDialog(QWidget* owner, std::int32_t serverPort, const std::string& localAddress) {
    QDialog dialog(owner);
    dialog.setWindowTitle("Setup");
    QGridLayout* grid = new QGridLayout(&dialog);
    QPushButton* ok = new QPushButton("OK", &dialog);
    QPushButton* cancel = new QPushButton("Cancel", &dialog);
    QLineEdit* port = new QLineEdit(QString::number(serverPort), &dialog);
    port->setObjectName("port");
    QLineEdit* address = new QLineEdit(QString::fromStdString(localAddress), &dialog);
    address->setObjectName("serverIp");
    address->setReadOnly(true);
    grid->addWidget(new QLabel("Port:", &dialog), 0, 0);
    grid->addWidget(port, 0, 1, 1, 2);
    grid->addWidget(new QLabel("Server IP:", &dialog), 1, 0);
    grid->addWidget(address, 1, 1, 1, 2);
    grid->addWidget(ok, 2, 1);
    grid->addWidget(cancel, 2, 2);
    ok->setDefault(true);
    QWidget::setTabOrder(ok, cancel);
    QWidget::setTabOrder(cancel, port);
    QWidget::setTabOrder(port, address);
    // Nothing is read back: the port is set in the settings, not here.
    QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);
    ok->setFocus();
    return Run(dialog);
}

int RunServerAboutDialog(QWidget* owner) {
    QDialog dialog(owner);
    dialog.setWindowTitle("About");
    QGridLayout* grid = new QGridLayout(&dialog);
    QLabel* icon = new QLabel(&dialog);
    icon->setPixmap(ProgramIcon("board").pixmap(32, 32));
    grid->addWidget(icon, 0, 0);
    grid->addWidget(new QLabel(PEGORA_ABOUT_SERVER, &dialog), 0, 1);
    QPushButton* ok = new QPushButton("OK", &dialog);
    ok->setDefault(true);
    grid->addWidget(ok, 1, 1, Qt::AlignRight);
    QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
    return Run(dialog);
}
