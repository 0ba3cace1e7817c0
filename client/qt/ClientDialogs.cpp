#include "PegoraVersion.h"
#include "ProgramIcon.h"
#include "ClientDialogs.h"

#include <QButtonGroup>
#include <QDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "Windows1252.h"

namespace {

QString FromWire(const std::string& bytes) { return QString::fromStdString(Windows1252ToUtf8(bytes)); }
std::string ToWire(const QString& text) { return Utf8ToWindows1252(text.toStdString()); }

QLineEdit* Field(QDialog* dialog, const char* name, const std::string& bytes, int limit) {
    QLineEdit* edit = new QLineEdit(FromWire(bytes), dialog);
    edit->setObjectName(name);
    edit->setMaxLength(limit);
    return edit;
}

struct Buttons {
    QPushButton* ok;
    QPushButton* cancel;
};

Buttons OkCancel(QDialog* dialog) {
    Buttons b{new QPushButton("OK", dialog), new QPushButton("Cancel", dialog)};
    b.ok->setDefault(true);
    QObject::connect(b.ok, &QPushButton::clicked, dialog, &QDialog::accept);
    QObject::connect(b.cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    return b;
}

}  // namespace

bool RunStatusDialog(QWidget* owner, StatusFields& fields) {
    QDialog dialog(owner, Qt::Dialog | Qt::WindowStaysOnTopHint);
    dialog.setWindowTitle("PEGORA Update");
    QGridLayout* grid = new QGridLayout(&dialog);
    Buttons buttons = OkCancel(&dialog);
    QLineEdit* name = Field(&dialog, "name", fields.name, NameLimit);
    name->setReadOnly(true);
    name->setFocusPolicy(Qt::NoFocus);
    QRadioButton* in = new QRadioButton("In", &dialog);
    QRadioButton* out = new QRadioButton("Out", &dialog);
    QRadioButton* other = new QRadioButton("Other", &dialog);
    in->setObjectName("in");
    out->setObjectName("out");
    other->setObjectName("other");
    QButtonGroup group(&dialog);
    group.addButton(in);
    group.addButton(out);
    group.addButton(other);
    (fields.status == StatusIn ? in : fields.status == StatusOut ? out : other)->setChecked(true);
    QLineEdit* message = Field(&dialog, "message", fields.message, MessageLimit);

    grid->addWidget(new QLabel("Name:", &dialog), 0, 0);
    grid->addWidget(name, 0, 1, 1, 3);
    grid->addWidget(buttons.ok, 0, 4);
    grid->addWidget(new QLabel("Status:", &dialog), 1, 0);
    grid->addWidget(in, 1, 1);
    grid->addWidget(out, 1, 2);
    grid->addWidget(other, 1, 3);
    grid->addWidget(buttons.cancel, 1, 4);
    grid->addWidget(new QLabel("Message:", &dialog), 2, 0, 1, 5);
    grid->addWidget(message, 3, 0, 1, 5);
    QWidget::setTabOrder(buttons.ok, buttons.cancel);
    QWidget::setTabOrder(buttons.cancel, in);
    QWidget::setTabOrder(in, message);
    buttons.ok->setFocus();

    bool ok = dialog.exec() == QDialog::Accepted;
    // OK and Cancel (Esc, the close box) both give the fields back.
    fields.name = ToWire(name->text()).substr(0, NameLimit);
    fields.message = ToWire(message->text()).substr(0, MessageLimit);
    fields.status = in->isChecked() ? StatusIn : out->isChecked() ? StatusOut : other->isChecked() ? StatusOther : 0;
    return ok;
}

bool RunSetupDialog(QWidget* owner, SetupFields& fields) {
    QDialog dialog(owner);
    dialog.setWindowTitle("Setup Information");
    QGridLayout* grid = new QGridLayout(&dialog);
    QLineEdit* user = Field(&dialog, "user", fields.user, NameLimit);
    QLineEdit* port = Field(&dialog, "port", fields.portText, PortTextLimit);
    QLineEdit* address = Field(&dialog, "serverAddress", fields.serverAddress, ServerAddressLimit);
    Buttons buttons = OkCancel(&dialog);
    grid->addWidget(new QLabel("User:", &dialog), 0, 0);
    grid->addWidget(user, 0, 1, 1, 2);
    grid->addWidget(new QLabel("Port:", &dialog), 1, 0);
    grid->addWidget(port, 1, 1, 1, 2);
    grid->addWidget(new QLabel("Server IP:", &dialog), 2, 0);
    grid->addWidget(address, 2, 1, 1, 2);
    grid->addWidget(buttons.ok, 3, 1);
    grid->addWidget(buttons.cancel, 3, 2);
    QWidget::setTabOrder(user, port);
    QWidget::setTabOrder(port, address);
    QWidget::setTabOrder(address, buttons.ok);
    QWidget::setTabOrder(buttons.ok, buttons.cancel);
    user->setFocus();
    if (dialog.exec() != QDialog::Accepted) return false;
    fields.user = ToWire(user->text()).substr(0, NameLimit);
    fields.portText = ToWire(port->text()).substr(0, PortTextLimit);
    fields.serverAddress = ToWire(address->text()).substr(0, ServerAddressLimit);
    return true;
}

void RunAboutDialog(QWidget* owner) {
    QDialog dialog(owner);
    dialog.setWindowTitle("About");
    QGridLayout* grid = new QGridLayout(&dialog);
    QLabel* icon = new QLabel(&dialog);
    icon->setPixmap(ProgramIcon("peg").pixmap(32, 32));
    grid->addWidget(icon, 0, 0, 2, 1);
    grid->addWidget(new QLabel(PEGORA_ABOUT_CLIENT, &dialog), 0, 1);
    grid->addWidget(new QLabel("Double-click icon to update your status.", &dialog), 1, 1);
    Buttons buttons = OkCancel(&dialog);
    buttons.cancel->hide();
    grid->addWidget(buttons.ok, 2, 1, Qt::AlignRight);
    dialog.exec();
}
