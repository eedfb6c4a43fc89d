#include "shell/DesktopProxyOffer.h"

#include "settings/SystemTestSettings.h"
#include "shell/DesktopProxy.h"
#include "shell/ProxyDialog.h"
#include "ui_ProxyDialog.h"

#include <QLoggingCategory>

#include <mutex>
#include <optional>
#include <thread>

namespace tavora {

Q_DECLARE_LOGGING_CATEGORY(lcDesktopProxy)

namespace {
QString versionText(SocksVersion version) {
    switch (version) {
    case Socks4:
        return "SOCKS 4";
    case Socks4A:
        return "SOCKS 4A";
    default:
        return "SOCKS 5";
    }
}

// A child of the dialog that receives the lookup's answer. The lookup thread
// posts to it only under the mutex, and the destructor clears the pointer
// under the same mutex, so nothing is posted to a destroyed object; an answer
// posted before that is discarded with the object's pending events.
class DesktopProxyReceiver final : public QObject {
public:
    struct Handoff {
        std::mutex mutex;
        DesktopProxyReceiver* Receiver = nullptr;
    };

    explicit DesktopProxyReceiver(ProxyDialog& dialog)
        : QObject(&dialog), dialog_(dialog), handoff_(std::make_shared<Handoff>()) {
        handoff_->Receiver = this;
    }

    ~DesktopProxyReceiver() override {
        std::lock_guard lock(handoff_->mutex);
        handoff_->Receiver = nullptr;
    }

    void start(std::shared_ptr<DesktopProxyLookup> lookup, const std::string& host, int port) {
        // Detached: a PAC download has no time limit of its own, and the
        // dialog must neither wait for it when it closes nor when the program ends.
        std::thread([handoff = handoff_, lookup = std::move(lookup), host, port] {
            std::optional<DesktopProxy> proxy;
            try {
                proxy = lookup->lookup(host, port);
            } catch (const std::exception& e) {
                qCWarning(lcDesktopProxy) << "the desktop's proxy lookup failed:" << e.what();
            }
            if (!proxy)
                return;
            std::lock_guard lock(handoff->mutex);
            if (DesktopProxyReceiver* receiver = handoff->Receiver)
                QMetaObject::invokeMethod(
                    receiver, [receiver, found = *proxy] { showDesktopProxy(receiver->dialog_, found); },
                    Qt::QueuedConnection);
        }).detach();
    }

private:
    ProxyDialog& dialog_;
    std::shared_ptr<Handoff> handoff_;
};
} // namespace

void offerDesktopProxy(ProxyDialog& dialog, const SystemTestSettings& settings,
                       std::shared_ptr<DesktopProxyLookup> lookup, const std::string& host, int port) {
    if (!lookup || settings.useProxy || !settings.proxyHost.empty())
        return;
    auto* receiver = new DesktopProxyReceiver(dialog);
    receiver->start(std::move(lookup), host, port);
}

void showDesktopProxy(ProxyDialog& dialog, const DesktopProxy& proxy) {
    Ui::ProxyDialog& ui = *dialog.ui;
    const QString host = QString::fromStdString(proxy.host);
    const QString address =
        QString("%1:%2").arg(host.contains(':') ? "[" + host + "]" : host).arg(proxy.port);
    const QString text =
        ProxyDialog::tr("Your desktop uses the %1 proxy %2.").arg(versionText(proxy.version), address);
    ui.desktopProxyLabel->setText(text);
    // A long host name may not fit the line; the tip shows it whole.
    ui.desktopProxyLabel->setToolTip(text);
    ui.desktopProxyLabel->show();
    ui.useDesktopProxyButton->disconnect(&dialog);
    QObject::connect(ui.useDesktopProxyButton, &QPushButton::clicked, &dialog,
                     [&dialog, proxy] { useDesktopProxy(dialog, proxy); });
    ui.useDesktopProxyButton->show();
}

void useDesktopProxy(ProxyDialog& dialog, const DesktopProxy& proxy) {
    Ui::ProxyDialog& ui = *dialog.ui;
    ui.useProxyCheckBox->setChecked(true);
    ui.versionList->setCurrentIndex(proxy.version);
    ui.hostEdit->setText(QString::fromStdString(proxy.host));
    ui.portEdit->setText(QString::number(proxy.port));
}

} // namespace tavora
