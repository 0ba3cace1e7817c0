#include "OptionsDialog.h"

#include <QCheckBox>
#include <QDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include "Windows1252.h"

bool RunOptionsDialog(QWidget* owner, BoardOptions& options, const std::string& address) {
    QDialog dialog(owner);
    dialog.setWindowTitle("Board options");
    QGridLayout* grid = new QGridLayout(&dialog);
    OptionsFields fields = OpenOptionsDialog(options);

    QCheckBox* share = new QCheckBox("Share the board in a web browser", &dialog);
    share->setObjectName("share");
    share->setChecked(fields.share);
    QLineEdit* port = new QLineEdit(QString::fromStdString(fields.portText), &dialog);
    port->setObjectName("webPort");
    port->setMaxLength(5);
    QLineEdit* link = new QLineEdit(&dialog);
    link->setObjectName("webAddress");
    link->setReadOnly(true);  // selectable, for copying into a browser
    QCheckBox* grey = new QCheckBox("Grey out rows with no word for", &dialog);
    grey->setObjectName("grey");
    grey->setChecked(fields.grey);
    QLineEdit* minutes = new QLineEdit(QString::fromStdString(fields.minutesText), &dialog);
    minutes->setObjectName("minutes");
    minutes->setMaxLength(4);
    QCheckBox* updates = new QCheckBox("Let people update the board from a browser", &dialog);
    updates->setObjectName("updates");
    updates->setChecked(fields.updates);
    QLineEdit* code = new QLineEdit(QString::fromStdString(Windows1252ToUtf8(fields.codeText)), &dialog);
    code->setObjectName("code");
    code->setMaxLength(static_cast<int>(MaxUpdateCode));
    QLabel* codeLabel = new QLabel("Code:", &dialog);
    QLabel* warning = new QLabel("Without a code, anyone who can open the page can change any row.", &dialog);
    QPushButton* ok = new QPushButton("OK", &dialog);
    QPushButton* cancel = new QPushButton("Cancel", &dialog);
    ok->setDefault(true);

    grid->addWidget(share, 0, 0, 1, 4);
    grid->addWidget(new QLabel("Port:", &dialog), 1, 0);
    grid->addWidget(port, 1, 1);
    grid->addWidget(link, 2, 0, 1, 4);
    grid->addWidget(grey, 3, 0, 1, 2);
    grid->addWidget(minutes, 3, 2);
    grid->addWidget(new QLabel("minutes", &dialog), 3, 3);
    grid->addWidget(updates, 4, 0, 1, 4);
    grid->addWidget(codeLabel, 5, 0);
    grid->addWidget(code, 5, 1, 1, 3);
    grid->addWidget(warning, 6, 0, 1, 4);
    grid->addWidget(ok, 7, 2);
    grid->addWidget(cancel, 7, 3);

    auto follow = [=] {
        OptionsFields fields;
        fields.share = share->isChecked();
        fields.portText = port->text().toStdString();
        fields.grey = grey->isChecked();
        fields.updates = updates->isChecked();
        const OptionsLook look = LookOfOptions(fields, address);
        port->setEnabled(look.port);
        minutes->setEnabled(look.minutes);
        updates->setEnabled(look.updates);
        code->setEnabled(look.code);
        link->setText(QString::fromStdString(look.address));
    };
    follow();
    QObject::connect(share, &QCheckBox::toggled, &dialog, follow);
    QObject::connect(grey, &QCheckBox::toggled, &dialog, follow);
    QObject::connect(updates, &QCheckBox::toggled, &dialog, follow);
    QObject::connect(port, &QLineEdit::textChanged, &dialog, follow);
    QObject::connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);
    QObject::connect(ok, &QPushButton::clicked, &dialog, [&] {
        std::string refusal;
        OptionsFields taken{share->isChecked(),   port->text().toStdString(),
                            grey->isChecked(),    minutes->text().toStdString(),
                            updates->isChecked(), Utf8ToWindows1252(code->text().toStdString())};
        if (!TakeOptionsFields(taken, options, refusal)) {
            QMessageBox box(QMessageBox::NoIcon, "Board options", QString::fromStdString(refusal), QMessageBox::Ok,
                            &dialog);
            box.exec();
            return;  // the dialog stays for a correction
        }
        std::string warning = options.webUpdates ? ShortCodeWarning(options.webUpdateCode) : "";
        if (!warning.empty()) {
            QMessageBox box(QMessageBox::Warning, "Board options", QString::fromStdString(warning), QMessageBox::Ok,
                            &dialog);
            box.exec();
        }
        dialog.accept();
    });
    return dialog.exec() == QDialog::Accepted;
}
