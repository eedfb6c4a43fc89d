#include "shell/ProxyDialog.h"

#include "settings/SystemTestSettings.h"
#include "ui_ProxyDialog.h"

#include <QMessageBox>
#include <QRegularExpression>

#include <limits>

namespace tavora {

int32_t strToInt(const QString& text) {
    static const QRegularExpression integer("^-?[0-9]+$");
    bool ok = false;
    const qlonglong value = integer.match(text).hasMatch() ? text.toLongLong(&ok) : 0;
    if (!ok || value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
        throw ConvertError(ProxyDialog::tr("'%1' is not a valid integer value").arg(text).toStdString());
    return static_cast<int32_t>(value);
}

ProxyDialog::ProxyDialog(QWidget* owner) : QDialog(owner), ui(std::make_unique<Ui::ProxyDialog>()) {
    ui->setupUi(this);
    setFixedSize(size());
    QPalette face = palette();
    face.setColor(QPalette::Window, face.color(QPalette::Button));
    setPalette(face);
    // One "*" per character, whatever the style's own mask character is.
    ui->passwordEdit->setStyleSheet("lineedit-password-character: 42;");
}

ProxyDialog::~ProxyDialog() = default;

void ProxyDialog::accept() {
    // Refused here, while it can still be corrected: taken over, the password
    // would be used for this session and then fail to be stored at the close.
    if (const auto refusal = unstorablePasswordText(ui->passwordEdit->text().toStdString())) {
        QMessageBox::warning(this, windowTitle(), QString::fromStdString(*refusal));
        ui->passwordEdit->setFocus(Qt::OtherFocusReason);
        ui->passwordEdit->selectAll();
        return;
    }
    QDialog::accept();
}

void fillProxyDialog(ProxyDialog& dialog, const SystemTestSettings& settings) {
    Ui::ProxyDialog& ui = *dialog.ui;
    ui.useProxyCheckBox->setChecked(settings.useProxy);
    // A version outside the list selects no item.
    ui.versionList->setCurrentIndex(
        settings.socksVersion < ui.versionList->count() ? settings.socksVersion : -1);
    ui.hostEdit->setText(QString::fromStdString(settings.proxyHost));
    ui.portEdit->setText(QString::number(settings.proxyPort));
    ui.authenticationCheckBox->setChecked(settings.proxyAuthentication);
    ui.userNameEdit->setText(QString::fromStdString(settings.proxyUserName));
    ui.passwordEdit->setText(QString::fromStdString(settings.proxyPassword));
}

void takeBackProxyDialog(const ProxyDialog& dialog, SystemTestSettings& settings) {
    const Ui::ProxyDialog& ui = *dialog.ui;
    settings.useProxy = ui.useProxyCheckBox->isChecked();
    // No selection is index -1, which the one-byte field holds as 255.
    settings.socksVersion = static_cast<uint8_t>(ui.versionList->currentIndex());
    settings.proxyHost = ui.hostEdit->text().toStdString();
    settings.proxyPort = strToInt(ui.portEdit->text());
    settings.proxyAuthentication = ui.authenticationCheckBox->isChecked();
    settings.proxyUserName = ui.userNameEdit->text().toStdString();
    settings.proxyPassword = ui.passwordEdit->text().toStdString();
}

} // namespace tavora
