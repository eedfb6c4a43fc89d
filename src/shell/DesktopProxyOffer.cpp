#include "shell/DesktopProxyOffer.h"

#include "settings/SystemTestSettings.h"
#include "shell/DesktopProxy.h"
#include "shell/ProxyDialog.h"
#include "ui_TfrmProxy.h"

#include <QLoggingCategory>

#include <mutex>
#include <optional>
#include <thread>

Q_DECLARE_LOGGING_CATEGORY(lcDesktopProxy)

namespace {
QString versionText(TSocksVersion version) {
    switch (version) {
    case svSocks4:
        return "SOCKS 4";
    case svSocks4A:
        return "SOCKS 4A";
    default:
        return "SOCKS 5";
    }
}

// A child of the dialog that receives the lookup's answer. The lookup thread
// posts to it only under the mutex, and the destructor clears the pointer
// under the same mutex, so nothing is posted to a destroyed object; an answer
// posted before that is discarded with the object's pending events.
class TDesktopProxyReceiver final : public QObject {
public:
    struct Handoff {
        std::mutex Mutex;
        TDesktopProxyReceiver* Receiver = nullptr;
    };

    explicit TDesktopProxyReceiver(TfrmProxy& dialog)
        : QObject(&dialog), m_dialog(dialog), m_handoff(std::make_shared<Handoff>()) {
        m_handoff->Receiver = this;
    }

    ~TDesktopProxyReceiver() override {
        std::lock_guard lock(m_handoff->Mutex);
        m_handoff->Receiver = nullptr;
    }

    void start(std::shared_ptr<TDesktopProxyLookup> lookup, const std::string& host, int port) {
        // Detached: a PAC download has no time limit of its own, and the
        // dialog must neither wait for it when it closes nor when the program ends.
        std::thread([handoff = m_handoff, lookup = std::move(lookup), host, port] {
            std::optional<TDesktopProxy> proxy;
            try {
                proxy = lookup->Lookup(host, port);
            } catch (const std::exception& e) {
                qCWarning(lcDesktopProxy) << "the desktop's proxy lookup failed:" << e.what();
            }
            if (!proxy)
                return;
            std::lock_guard lock(handoff->Mutex);
            if (TDesktopProxyReceiver* receiver = handoff->Receiver)
                QMetaObject::invokeMethod(
                    receiver, [receiver, found = *proxy] { ShowDesktopProxy(receiver->m_dialog, found); },
                    Qt::QueuedConnection);
        }).detach();
    }

private:
    TfrmProxy& m_dialog;
    std::shared_ptr<Handoff> m_handoff;
};
} // namespace

void OfferDesktopProxy(TfrmProxy& dialog, const TSystemTestSettings& settings,
                       std::shared_ptr<TDesktopProxyLookup> lookup, const std::string& host, int port) {
    if (!lookup || settings.UseProxy || !settings.ProxyHost.empty())
        return;
    auto* receiver = new TDesktopProxyReceiver(dialog);
    receiver->start(std::move(lookup), host, port);
}

void ShowDesktopProxy(TfrmProxy& dialog, const TDesktopProxy& proxy) {
    Ui::TfrmProxy& ui = *dialog.ui;
    const QString host = QString::fromStdString(proxy.Host);
    const QString address =
        QString("%1:%2").arg(host.contains(':') ? "[" + host + "]" : host).arg(proxy.Port);
    const QString text =
        QString("Your desktop uses the %1 proxy %2.").arg(versionText(proxy.Version), address);
    ui.lbDesktopProxy->setText(text);
    // A long host name may not fit the line; the tip shows it whole.
    ui.lbDesktopProxy->setToolTip(text);
    ui.lbDesktopProxy->show();
    ui.btnUseDesktopProxy->disconnect(&dialog);
    QObject::connect(ui.btnUseDesktopProxy, &QPushButton::clicked, &dialog,
                     [&dialog, proxy] { UseDesktopProxy(dialog, proxy); });
    ui.btnUseDesktopProxy->show();
}

void UseDesktopProxy(TfrmProxy& dialog, const TDesktopProxy& proxy) {
    Ui::TfrmProxy& ui = *dialog.ui;
    ui.cbProxy->setChecked(true);
    ui.eProxyVersion->setCurrentIndex(proxy.Version);
    ui.eProxyHost->setText(QString::fromStdString(proxy.Host));
    ui.eProxyPort->setText(QString::number(proxy.Port));
}
