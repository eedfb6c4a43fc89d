#include "shell/ProxyDialog.h"

#include "settings/SystemTestSettings.h"
#include "ui_TfrmProxy.h"

#include <QMessageBox>
#include <QRegularExpression>

#include <limits>

int32_t StrToInt(const QString& text) {
    static const QRegularExpression integer("^-?[0-9]+$");
    bool ok = false;
    const qlonglong value = integer.match(text).hasMatch() ? text.toLongLong(&ok) : 0;
    if (!ok || value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
        throw EConvertError(QString("'%1' is not a valid integer value").arg(text).toStdString());
    return static_cast<int32_t>(value);
}

TfrmProxy::TfrmProxy(QWidget* owner) : QDialog(owner), ui(std::make_unique<Ui::TfrmProxy>()) {
    ui->setupUi(this);
    setFixedSize(size());
    QPalette face = palette();
    face.setColor(QPalette::Window, face.color(QPalette::Button));
    setPalette(face);
    // One "*" per character, whatever the style's own mask character is.
    ui->eProxyPassword->setStyleSheet("lineedit-password-character: 42;");
}

TfrmProxy::~TfrmProxy() = default;

void TfrmProxy::accept() {
    // Refused here, while it can still be corrected: taken over, the password
    // would be used for this session and then fail to be stored at the close.
    if (const auto refusal = UnstorablePasswordText(ui->eProxyPassword->text().toStdString())) {
        QMessageBox::warning(this, windowTitle(), QString::fromStdString(*refusal));
        ui->eProxyPassword->setFocus(Qt::OtherFocusReason);
        ui->eProxyPassword->selectAll();
        return;
    }
    QDialog::accept();
}

void FillProxyDialog(TfrmProxy& dialog, const TSystemTestSettings& settings) {
    Ui::TfrmProxy& ui = *dialog.ui;
    ui.cbProxy->setChecked(settings.UseProxy);
    // A version outside the list selects no item.
    ui.eProxyVersion->setCurrentIndex(
        settings.SocksVersion < ui.eProxyVersion->count() ? settings.SocksVersion : -1);
    ui.eProxyHost->setText(QString::fromStdString(settings.ProxyHost));
    ui.eProxyPort->setText(QString::number(settings.ProxyPort));
    ui.cbProxyAuthentication->setChecked(settings.ProxyAuthentication);
    ui.eProxyUserName->setText(QString::fromStdString(settings.ProxyUserName));
    ui.eProxyPassword->setText(QString::fromStdString(settings.ProxyPassword));
}

void TakeBackProxyDialog(const TfrmProxy& dialog, TSystemTestSettings& settings) {
    const Ui::TfrmProxy& ui = *dialog.ui;
    settings.UseProxy = ui.cbProxy->isChecked();
    // No selection is index -1, which the one-byte field holds as 255.
    settings.SocksVersion = static_cast<uint8_t>(ui.eProxyVersion->currentIndex());
    settings.ProxyHost = ui.eProxyHost->text().toStdString();
    settings.ProxyPort = StrToInt(ui.eProxyPort->text());
    settings.ProxyAuthentication = ui.cbProxyAuthentication->isChecked();
    settings.ProxyUserName = ui.eProxyUserName->text().toStdString();
    settings.ProxyPassword = ui.eProxyPassword->text().toStdString();
}
