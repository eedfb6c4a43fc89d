#include "shell/ProxyDialog.h"
#include "WizardTestSupport.h"
#include "settings/SystemTestSettings.h"
#include "shell/ConnectionPage.h"
#include "shell/DesktopProxy.h"
#include "shell/DesktopProxyOffer.h"
#include "support/MessageBoxCatcher.h"
#include "ui_ConnectionPage.h"
#include "ui_ProxyDialog.h"

#include <QtTest>

#include <condition_variable>
#include <functional>
#include <mutex>

using namespace tavora;

namespace {
SystemTestSettings sample() {
    SystemTestSettings s;
    s.audioOutDeviceID = 1;
    s.audioInDeviceID = 2;
    s.useProxy = true;
    s.socksVersion = 2;
    s.proxyHost = "proxy.example ";
    s.proxyPort = 3128;
    s.proxyAuthentication = true;
    s.proxyUserName = "alice";
    s.proxyPassword = "s3cr3t!";
    return s;
}

// Runs `edit` on the proxy dialog once it is shown modally, then presses `button`.
void answerDialog(std::function<void(ProxyDialog&)> edit, bool ok) {
    QTimer::singleShot(0, [edit, ok] {
        auto* dialog = qobject_cast<ProxyDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        edit(*dialog);
        QTest::mouseClick(ok ? dialog->ui->okButton : dialog->ui->cancelButton, Qt::LeftButton);
    });
}

// The desktop's proxy configuration as a test sets it: a fixed answer, given
// once released; the questions are recorded.
class FakeDesktopProxy final : public DesktopProxyLookup {
public:
    explicit FakeDesktopProxy(std::optional<DesktopProxy> answer, bool held = false)
        : answer_(std::move(answer)), held_(held) {}

    std::optional<DesktopProxy> lookup(const std::string& host, int port) override {
        std::unique_lock lock(mutex_);
        asked_ << QString("%1:%2").arg(QString::fromStdString(host)).arg(port);
        changed_.notify_all();
        changed_.wait(lock, [this] { return !held_; });
        return answer_;
    }
    QStringList asked() {
        std::lock_guard lock(mutex_);
        return asked_;
    }
    void waitUntilAsked() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return !asked_.empty(); });
    }
    void release() {
        std::lock_guard lock(mutex_);
        held_ = false;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<DesktopProxy> answer_;
    bool held_;
    QStringList asked_;
};

// Waits until every lookup thread has let go of `lookup`, then delivers what they posted.
void lookupsFinished(const std::shared_ptr<FakeDesktopProxy>& lookup) {
    QTRY_VERIFY_WITH_TIMEOUT(lookup.use_count() == 1, 60000);
    QCoreApplication::sendPostedEvents();
}

void changeEverything(ProxyDialog& d) {
    d.ui->useProxyCheckBox->setChecked(false);
    d.ui->versionList->setCurrentIndex(3);
    d.ui->hostEdit->setText("other.host");
    d.ui->portEdit->setText("9050");
    d.ui->authenticationCheckBox->setChecked(false);
    d.ui->userNameEdit->setText("bob");
    d.ui->passwordEdit->setText("pw");
}
} // namespace

class ProxyDialogTest : public QObject {
    Q_OBJECT
private slots:
    void layout() {
        ProxyDialog dialog(nullptr);
        QCOMPARE(dialog.windowTitle(), QString("Proxy Settings"));
        QVERIFY(dialog.isModal());
        const QStringList items{"No Socks", "Socks 4", "Socks 4A", "Socks 5"};
        QCOMPARE(dialog.ui->versionList->count(), 4);
        for (int i = 0; i < 4; ++i)
            QCOMPARE(dialog.ui->versionList->itemText(i), items[i]);
        QVERIFY(!dialog.ui->versionList->isEditable());
        QCOMPARE(dialog.ui->passwordEdit->echoMode(), QLineEdit::Password);
        QCOMPARE(dialog.ui->portEdit->geometry(), QRect(355, 20, 61, 21));
        QCOMPARE(dialog.ui->okButton->text(), QString("OK"));
        QCOMPARE(dialog.ui->cancelButton->text(), QString("Cancel"));
        // Tab order: the focus chain from the check box, skipping what takes no tab focus.
        const QList<QWidget*> expected{dialog.ui->useProxyCheckBox,
                                       dialog.ui->versionList,
                                       dialog.ui->hostEdit,
                                       dialog.ui->portEdit,
                                       dialog.ui->userNameEdit,
                                       dialog.ui->passwordEdit,
                                       dialog.ui->authenticationCheckBox,
                                       dialog.ui->okButton,
                                       dialog.ui->cancelButton};
        QList<QWidget*> chain;
        QWidget* w = dialog.ui->useProxyCheckBox;
        do {
            if (expected.contains(w))
                chain << w;
            w = w->nextInFocusChain();
        } while (w != dialog.ui->useProxyCheckBox && chain.size() < expected.size());
        QCOMPARE(chain, expected);
    }

    void roundTripKeepsEveryValue() {
        SystemTestSettings settings = sample();
        ProxyDialog dialog(nullptr);
        fillProxyDialog(dialog, settings);
        QCOMPARE(dialog.ui->portEdit->text(), QString("3128"));
        QCOMPARE(dialog.ui->hostEdit->text(), QString("proxy.example ")); // not trimmed
        QCOMPARE(dialog.ui->passwordEdit->displayText(), QString(7, '*'));
        SystemTestSettings back = settings;
        back.proxyPort = 0;
        back.proxyPassword.clear();
        takeBackProxyDialog(dialog, back);
        QCOMPARE(back, settings);
    }

    void portConversion() {
        QCOMPARE(strToInt("70000"), 70000);
        QCOMPARE(strToInt("-5"), -5);
        QCOMPARE(strToInt("0"), 0);
        for (const char* bad : {"", " 80", "80 ", "8O", "0x50", "+80", "99999999999"}) {
            try {
                strToInt(bad);
                QFAIL(bad);
            } catch (const ConvertError& e) {
                QCOMPARE(QString(e.what()), QString("'%1' is not a valid integer value").arg(bad));
            }
        }
    }

    void emptyPortTakesBackOnlyTheFirstThree() {
        SystemTestSettings settings = sample();
        ProxyDialog dialog(nullptr);
        fillProxyDialog(dialog, settings);
        changeEverything(dialog);
        dialog.ui->portEdit->clear();
        QVERIFY_THROWS_EXCEPTION(ConvertError, takeBackProxyDialog(dialog, settings));
        QCOMPARE(settings.useProxy, false);
        QCOMPARE(settings.socksVersion, uint8_t(3));
        QCOMPARE(settings.proxyHost, std::string("other.host"));
        QCOMPARE(settings.proxyPort, 3128);
        QCOMPARE(settings.proxyAuthentication, true);
        QCOMPARE(settings.proxyUserName, std::string("alice"));
        QCOMPARE(settings.proxyPassword, std::string("s3cr3t!"));
    }

    void versionOutsideTheListStoresNoSelection() {
        SystemTestSettings settings = sample();
        settings.socksVersion = 7;
        ProxyDialog dialog(nullptr);
        fillProxyDialog(dialog, settings);
        QCOMPARE(dialog.ui->versionList->currentIndex(), -1);
        takeBackProxyDialog(dialog, settings);
        QCOMPARE(settings.socksVersion, uint8_t(255));
    }

    // Through the page's button, as the participant uses it.
    void cancelChangesNothingOkTakesEverything() {
        WizardFixture f;
        ConnectionPage& page = *f.window().connectionPage();
        SystemTestSettings& settings = f.window().settings;
        settings = sample();
        answerDialog(changeEverything, false);
        page.onProxySettingsClicked();
        QCOMPARE(settings, sample());

        answerDialog([](ProxyDialog&) {}, true);
        page.onProxySettingsClicked();
        QCOMPARE(settings, sample());

        answerDialog(
            [](ProxyDialog& d) {
                changeEverything(d);
                d.ui->portEdit->setText("70000");
            },
            true);
        page.onProxySettingsClicked();
        QCOMPARE(settings.useProxy, false);
        QCOMPARE(settings.socksVersion, uint8_t(3));
        QCOMPARE(settings.proxyPort, 70000);
        QCOMPARE(settings.proxyUserName, std::string("bob"));
        QCOMPARE(settings.proxyPassword, std::string("pw"));
        QCOMPARE(settings.audioInDeviceID, 2); // not the dialog's
    }

    void emptyPortThroughTheButtonRaisesTheMessage() {
        WizardFixture f;
        ConnectionPage& page = *f.window().connectionPage();
        SystemTestSettings& settings = f.window().settings;
        settings = sample();
        answerDialog(
            [](ProxyDialog& d) {
                d.ui->useProxyCheckBox->setChecked(false);
                d.ui->portEdit->clear();
            },
            true);
        try {
            page.onProxySettingsClicked();
            QFAIL("no error for an empty port");
        } catch (const ConvertError& e) {
            QCOMPARE(QString(e.what()), QString("'' is not a valid integer value"));
        }
        QVERIFY(QApplication::activeModalWidget() == nullptr); // the dialog is closed
        QCOMPARE(settings.useProxy, false);
        QCOMPARE(settings.proxyPort, 3128);
    }

    // A password that the settings file cannot store is refused at OK, while
    // it can still be corrected: the dialog stays open on it, and nothing is
    // taken over.
    void unstorablePasswordIsRefusedAtOk() {
        WizardFixture f;
        ConnectionPage& page = *f.window().connectionPage();
        SystemTestSettings& settings = f.window().settings;
        settings = sample();
        const QString tooLong(26, 'x');
        const QString nonAsciiTooLong = QString::fromUtf8("\xc3\xa9").repeated(13); // 26 bytes
        const QString withTab("tab\there");
        QStringList refusals;
        answerDialog(
            [&](ProxyDialog& d) {
                changeEverything(d);
                tavora::test::MessageBoxCatcher catcher;
                for (const QString& password : {tooLong, nonAsciiTooLong, withTab}) {
                    d.ui->passwordEdit->setText(password);
                    QTest::mouseClick(d.ui->okButton, Qt::LeftButton);
                    refusals = catcher.texts();
                    QVERIFY(d.isVisible());
                    QCOMPARE(QApplication::activeModalWidget(), &d);
                    QCOMPARE(d.focusWidget(), d.ui->passwordEdit);
                    QCOMPARE(d.ui->passwordEdit->text(), password);
                }
            },
            false);
        page.onProxySettingsClicked();
        QCOMPARE(refusals.size(), 3);
        QVERIFY2(refusals[0].contains("at most 25 bytes"), qPrintable(refusals[0]));
        QVERIFY2(refusals[1].contains("26 bytes"), qPrintable(refusals[1]));
        QVERIFY2(refusals[2].contains("control character"), qPrintable(refusals[2]));
        QCOMPARE(settings, sample());

        const QString longest = QString::fromUtf8("\xc3\xa9").repeated(12) + "x"; // 25 bytes
        answerDialog([&](ProxyDialog& d) { d.ui->passwordEdit->setText(longest); }, true);
        page.onProxySettingsClicked();
        QCOMPARE(settings.proxyPassword, longest.toStdString());
    }

    // With nothing stored, the desktop's SOCKS proxy is offered; it fills the
    // fields only when taken, and reaches the settings only with OK.
    void desktopProxyOffered() {
        WizardFixture f;
        ConnectionPage& page = *f.window().connectionPage();
        SystemTestSettings& settings = f.window().settings;
        auto desktop = std::make_shared<FakeDesktopProxy>(DesktopProxy{Socks4A, "127.0.0.1", 1081});
        page.desktopProxy = desktop;
        settings = SystemTestSettings{};
        const SystemTestSettings nothingStored = settings;
        const auto takeIt = [](ProxyDialog& d) {
            QTRY_VERIFY_WITH_TIMEOUT(d.ui->useDesktopProxyButton->isVisible(), 60000);
            QCOMPARE(d.ui->desktopProxyLabel->text(),
                     QString("Your desktop uses the SOCKS 4A proxy 127.0.0.1:1081."));
            QVERIFY(!d.ui->useProxyCheckBox->isChecked()); // offered, not applied
            QCOMPARE(d.ui->hostEdit->text(), QString());
            QTest::mouseClick(d.ui->useDesktopProxyButton, Qt::LeftButton);
            QVERIFY(d.ui->useProxyCheckBox->isChecked());
            QCOMPARE(d.ui->versionList->currentText(), QString("Socks 4A"));
            QCOMPARE(d.ui->hostEdit->text(), QString("127.0.0.1"));
            QCOMPARE(d.ui->portEdit->text(), QString("1081"));
        };
        answerDialog(takeIt, false);
        page.onProxySettingsClicked();
        QCOMPARE(settings, nothingStored);
        QCOMPARE(desktop->asked(), QStringList{QString::fromStdString(page.connectionTestHost) + ":9910"});

        answerDialog(takeIt, true);
        page.onProxySettingsClicked();
        QCOMPARE(settings.useProxy, true);
        QCOMPARE(settings.socksVersion, uint8_t(Socks4A));
        QCOMPARE(settings.proxyHost, std::string("127.0.0.1"));
        QCOMPARE(settings.proxyPort, 1081);

        // Now a proxy is stored: the desktop is not asked again.
        answerDialog([](ProxyDialog& d) { QVERIFY(d.ui->useDesktopProxyButton->isHidden()); }, false);
        page.onProxySettingsClicked();
        page.desktopProxy.reset();
        lookupsFinished(desktop);
        QCOMPARE(desktop->asked().size(), 2);
    }

    void desktopProxyNotOffered() {
        const DesktopProxy socks5{Socks5, "127.0.0.1", 1080};
        // A stored host alone counts as a stored proxy: no lookup starts.
        SystemTestSettings hostOnly;
        hostOnly.proxyHost = "proxy.lan";
        auto desktop = std::make_shared<FakeDesktopProxy>(socks5);
        ProxyDialog dialog(nullptr);
        offerDesktopProxy(dialog, hostOnly, desktop, "test.invalid", 9910);
        QCOMPARE(desktop.use_count(), 1L);

        // The desktop names no SOCKS proxy: the line stays hidden.
        auto none = std::make_shared<FakeDesktopProxy>(std::nullopt);
        offerDesktopProxy(dialog, SystemTestSettings{}, none, "test.invalid", 9910);
        lookupsFinished(none);
        QCOMPARE(none->asked().size(), 1);
        QVERIFY(dialog.ui->desktopProxyLabel->isHidden());
        QVERIFY(dialog.ui->useDesktopProxyButton->isHidden());

        // An answer that comes after the dialog is gone goes nowhere: not to
        // the dialog opened next, whose own lookup finds no SOCKS proxy.
        auto late = std::make_shared<FakeDesktopProxy>(socks5, true);
        auto closed = std::make_unique<ProxyDialog>(nullptr);
        offerDesktopProxy(*closed, SystemTestSettings{}, late, "test.invalid", 9910);
        late->waitUntilAsked();
        closed.reset();
        ProxyDialog next(nullptr);
        auto nextNone = std::make_shared<FakeDesktopProxy>(std::nullopt);
        offerDesktopProxy(next, SystemTestSettings{}, nextNone, "test.invalid", 9910);
        late->release();
        lookupsFinished(late);
        lookupsFinished(nextNone);
        QCoreApplication::processEvents();
        QCOMPARE(late->asked().size(), 1); // it did answer, after the close
        QVERIFY(next.ui->desktopProxyLabel->isHidden());
        QVERIFY(next.ui->useDesktopProxyButton->isHidden());
    }

    void desktopProxyAnswers_data() {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("offered"); // version code, host and port; empty for none
        QTest::newRow("socks5") << "socks5://127.0.0.1:1080"
                                << "3 127.0.0.1 1080";
        QTest::newRow("socks is 5") << "socks://proxy.lan:1081"
                                    << "3 proxy.lan 1081";
        QTest::newRow("socks4") << "socks4://proxy.lan:1082"
                                << "1 proxy.lan 1082";
        QTest::newRow("socks4a") << "socks4a://proxy.lan:1083"
                                 << "2 proxy.lan 1083";
        QTest::newRow("credentials left out") << "SOCKS5://al:pw@proxy.lan:1084/"
                                              << "3 proxy.lan 1084";
        QTest::newRow("ipv6") << "socks5://[::1]:1085"
                              << "3 ::1 1085";
        QTest::newRow("default port") << "socks5://proxy.lan"
                                      << "3 proxy.lan 1080";
        QTest::newRow("direct") << "direct://"
                                << "";
        QTest::newRow("http proxy") << "http://proxy.lan:3128"
                                    << "";
        QTest::newRow("port 0") << "socks5://proxy.lan:0"
                                << "";
        QTest::newRow("port too big") << "socks5://proxy.lan:65536"
                                      << "";
        QTest::newRow("port not a number") << "socks5://proxy.lan:10a"
                                           << "";
        QTest::newRow("empty port") << "socks5://proxy.lan:"
                                    << "";
        QTest::newRow("no host") << "socks5://:1080"
                                 << "";
        QTest::newRow("open bracket") << "socks5://[::1:1080"
                                      << "";
        QTest::newRow("no scheme") << "proxy.lan:1080"
                                   << "";
    }

    void desktopProxyAnswers() {
        QFETCH(QString, answer);
        QFETCH(QString, offered);
        const std::optional<DesktopProxy> proxy = desktopProxyFromUrl(answer.toStdString());
        const QString got = proxy ? QString("%1 %2 %3")
                                        .arg(proxy->version)
                                        .arg(QString::fromStdString(proxy->host))
                                        .arg(proxy->port)
                                  : QString();
        QCOMPARE(got, offered);
    }

    // The dialog changes only the record in memory; closing the window stores it.
    void storedWhenTheWindowCloses() {
        WizardFixture f;
        MainWindow& w = f.window();
        answerDialog(
            [](ProxyDialog& d) {
                d.ui->useProxyCheckBox->setChecked(true);
                d.ui->versionList->setCurrentIndex(3);
                d.ui->hostEdit->setText("127.0.0.1");
                d.ui->portEdit->setText("1234");
            },
            true);
        w.connectionPage()->onProxySettingsClicked();
        // Taken into the settings record only: nothing is stored before the close.
        if (QFile before(f.settingsFile()); before.exists()) {
            QVERIFY(before.open(QIODevice::ReadOnly));
            QVERIFY(!before.readAll().contains("\"ProxyHost\"=\"127.0.0.1\""));
        }
        w.show();
        w.close();
        QFile file(f.settingsFile());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromLatin1(file.readAll());
        QVERIFY2(text.contains("\"ProxyHost\"=\"127.0.0.1\""), qPrintable(text));
        QVERIFY(text.contains("\"ProxyPort\"=dword:000004d2"));
        QVERIFY(text.contains("\"SocksVersion\"=dword:00000003"));
        QVERIFY(text.contains("\"UseProxy\"=dword:00000001"));
    }
};

QTEST_MAIN(ProxyDialogTest)
#include "ProxyDialogTest.moc"
