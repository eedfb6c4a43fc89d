#pragma once

#include <QDialog>

#include <cstdint>
#include <memory>
#include <stdexcept>

namespace Ui {
class ProxyDialog;
}

namespace tavora {

struct SystemTestSettings;

// Text that should be a whole integer but is not.
class ConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Whole text as a signed 32-bit integer: decimal digits with an optional
// leading minus sign. Throws ConvertError "'%s' is not a valid integer value".
int32_t strToInt(const QString& text);

// The proxy settings dialog. The connection page fills it from the settings
// record and takes the values back on OK. Its one behaviour of its own: OK
// refuses a password that the settings file cannot store, saying why, and
// keeps the dialog open on the password.
class ProxyDialog : public QDialog {
    Q_OBJECT
public:
    explicit ProxyDialog(QWidget* owner);
    ~ProxyDialog() override;

    void accept() override;

    std::unique_ptr<Ui::ProxyDialog> ui;
};

// Fills the controls in the order check box, version, host, port,
// authentication, user name, password.
void fillProxyDialog(ProxyDialog& dialog, const SystemTestSettings& settings);

// Copies the controls back in the order UseProxy, SocksVersion, ProxyHost,
// ProxyPort, ProxyAuthentication, ProxyUserName, ProxyPassword. A port that is
// not an integer throws ConvertError, after the first three were copied.
void takeBackProxyDialog(const ProxyDialog& dialog, SystemTestSettings& settings);

} // namespace tavora
