#include "shell/ProxyDialog.h"
#include "WizardTestSupport.h"
#include "settings/SystemTestSettings.h"
#include "shell/ConnectionPage.h"
#include "shell/DesktopProxy.h"
#include "shell/DesktopProxyOffer.h"
#include "ui_TConnectionPage.h"
#include "ui_TfrmProxy.h"

#include <QMessageBox>
#include <QtTest>

#include <condition_variable>
#include <functional>
#include <mutex>

namespace {
TSystemTestSettings sample() {
    TSystemTestSettings s;
    s.AudioOutDeviceID = 1;
    s.AudioInDeviceID = 2;
    s.UseProxy = true;
    s.SocksVersion = 2;
    s.ProxyHost = "proxy.example ";
    s.ProxyPort = 3128;
    s.ProxyAuthentication = true;
    s.ProxyUserName = "alice";
    s.ProxyPassword = "s3cr3t!";
    return s;
}

// Runs `edit` on the proxy dialog once it is shown modally, then presses `button`.
void answerDialog(std::function<void(TfrmProxy&)> edit, bool ok) {
    QTimer::singleShot(0, [edit, ok] {
        auto* dialog = qobject_cast<TfrmProxy*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        edit(*dialog);
        QTest::mouseClick(ok ? dialog->ui->BitBtn1 : dialog->ui->BitBtn2, Qt::LeftButton);
    });
}

// The desktop's proxy configuration as a test sets it: a fixed answer, given
// once released; the questions are recorded.
class FakeDesktopProxy final : public TDesktopProxyLookup {
public:
    explicit FakeDesktopProxy(std::optional<TDesktopProxy> answer, bool held = false)
        : m_answer(std::move(answer)), m_held(held) {}

    std::optional<TDesktopProxy> Lookup(const std::string& host, int port) override {
        std::unique_lock lock(m_mutex);
        m_asked << QString("%1:%2").arg(QString::fromStdString(host)).arg(port);
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return !m_held; });
        return m_answer;
    }
    QStringList asked() {
        std::lock_guard lock(m_mutex);
        return m_asked;
    }
    void waitUntilAsked() {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_asked.empty(); });
    }
    void release() {
        std::lock_guard lock(m_mutex);
        m_held = false;
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::optional<TDesktopProxy> m_answer;
    bool m_held;
    QStringList m_asked;
};

// Waits until every lookup thread has let go of `lookup`, then delivers what they posted.
void lookupsFinished(const std::shared_ptr<FakeDesktopProxy>& lookup) {
    QTRY_VERIFY_WITH_TIMEOUT(lookup.use_count() == 1, 60000);
    QCoreApplication::sendPostedEvents();
}

void changeEverything(TfrmProxy& d) {
    d.ui->cbProxy->setChecked(false);
    d.ui->eProxyVersion->setCurrentIndex(3);
    d.ui->eProxyHost->setText("other.host");
    d.ui->eProxyPort->setText("9050");
    d.ui->cbProxyAuthentication->setChecked(false);
    d.ui->eProxyUserName->setText("bob");
    d.ui->eProxyPassword->setText("pw");
}
} // namespace

class ProxyDialogTest : public QObject {
    Q_OBJECT
private slots:
    void layout() {
        TfrmProxy dialog(nullptr);
        QCOMPARE(dialog.windowTitle(), QString("Proxy Settings"));
        QVERIFY(dialog.isModal());
        const QStringList items{"No Socks", "Socks 4", "Socks 4A", "Socks 5"};
        QCOMPARE(dialog.ui->eProxyVersion->count(), 4);
        for (int i = 0; i < 4; ++i)
            QCOMPARE(dialog.ui->eProxyVersion->itemText(i), items[i]);
        QVERIFY(!dialog.ui->eProxyVersion->isEditable());
        QCOMPARE(dialog.ui->eProxyPassword->echoMode(), QLineEdit::Password);
        QCOMPARE(dialog.ui->eProxyPort->geometry(), QRect(355, 20, 61, 21));
        QCOMPARE(dialog.ui->BitBtn1->text(), QString("OK"));
        QCOMPARE(dialog.ui->BitBtn2->text(), QString("Cancel"));
        // Tab order: the focus chain from the check box, skipping what takes no tab focus.
        const QList<QWidget*> expected{dialog.ui->cbProxy,
                                       dialog.ui->eProxyVersion,
                                       dialog.ui->eProxyHost,
                                       dialog.ui->eProxyPort,
                                       dialog.ui->eProxyUserName,
                                       dialog.ui->eProxyPassword,
                                       dialog.ui->cbProxyAuthentication,
                                       dialog.ui->BitBtn1,
                                       dialog.ui->BitBtn2};
        QList<QWidget*> chain;
        QWidget* w = dialog.ui->cbProxy;
        do {
            if (expected.contains(w))
                chain << w;
            w = w->nextInFocusChain();
        } while (w != dialog.ui->cbProxy && chain.size() < expected.size());
        QCOMPARE(chain, expected);
    }

    void roundTripKeepsEveryValue() {
        TSystemTestSettings settings = sample();
        TfrmProxy dialog(nullptr);
        FillProxyDialog(dialog, settings);
        QCOMPARE(dialog.ui->eProxyPort->text(), QString("3128"));
        QCOMPARE(dialog.ui->eProxyHost->text(), QString("proxy.example ")); // not trimmed
        QCOMPARE(dialog.ui->eProxyPassword->displayText(), QString(7, '*'));
        TSystemTestSettings back = settings;
        back.ProxyPort = 0;
        back.ProxyPassword.clear();
        TakeBackProxyDialog(dialog, back);
        QCOMPARE(back, settings);
    }

    void portConversion() {
        QCOMPARE(StrToInt("70000"), 70000);
        QCOMPARE(StrToInt("-5"), -5);
        QCOMPARE(StrToInt("0"), 0);
        for (const char* bad : {"", " 80", "80 ", "8O", "0x50", "+80", "99999999999"}) {
            try {
                StrToInt(bad);
                QFAIL(bad);
            } catch (const EConvertError& e) {
                QCOMPARE(QString(e.what()), QString("'%1' is not a valid integer value").arg(bad));
            }
        }
    }

    void emptyPortTakesBackOnlyTheFirstThree() {
        TSystemTestSettings settings = sample();
        TfrmProxy dialog(nullptr);
        FillProxyDialog(dialog, settings);
        changeEverything(dialog);
        dialog.ui->eProxyPort->clear();
        QVERIFY_THROWS_EXCEPTION(EConvertError, TakeBackProxyDialog(dialog, settings));
        QCOMPARE(settings.UseProxy, false);
        QCOMPARE(settings.SocksVersion, uint8_t(3));
        QCOMPARE(settings.ProxyHost, std::string("other.host"));
        QCOMPARE(settings.ProxyPort, 3128);
        QCOMPARE(settings.ProxyAuthentication, true);
        QCOMPARE(settings.ProxyUserName, std::string("alice"));
        QCOMPARE(settings.ProxyPassword, std::string("s3cr3t!"));
    }

    void versionOutsideTheListStoresNoSelection() {
        TSystemTestSettings settings = sample();
        settings.SocksVersion = 7;
        TfrmProxy dialog(nullptr);
        FillProxyDialog(dialog, settings);
        QCOMPARE(dialog.ui->eProxyVersion->currentIndex(), -1);
        TakeBackProxyDialog(dialog, settings);
        QCOMPARE(settings.SocksVersion, uint8_t(255));
    }

    // Through the page's button, as the participant uses it.
    void cancelChangesNothingOkTakesEverything() {
        TWizardFixture f;
        TConnectionPage& page = *f.window().connectionPage;
        SystemTestSettings = sample();
        answerDialog(changeEverything, false);
        page.XPButton2Click();
        QCOMPARE(SystemTestSettings, sample());

        answerDialog([](TfrmProxy&) {}, true);
        page.XPButton2Click();
        QCOMPARE(SystemTestSettings, sample());

        answerDialog(
            [](TfrmProxy& d) {
                changeEverything(d);
                d.ui->eProxyPort->setText("70000");
            },
            true);
        page.XPButton2Click();
        QCOMPARE(SystemTestSettings.UseProxy, false);
        QCOMPARE(SystemTestSettings.SocksVersion, uint8_t(3));
        QCOMPARE(SystemTestSettings.ProxyPort, 70000);
        QCOMPARE(SystemTestSettings.ProxyUserName, std::string("bob"));
        QCOMPARE(SystemTestSettings.ProxyPassword, std::string("pw"));
        QCOMPARE(SystemTestSettings.AudioInDeviceID, 2); // not the dialog's
    }

    void emptyPortThroughTheButtonRaisesTheMessage() {
        TWizardFixture f;
        TConnectionPage& page = *f.window().connectionPage;
        SystemTestSettings = sample();
        answerDialog(
            [](TfrmProxy& d) {
                d.ui->cbProxy->setChecked(false);
                d.ui->eProxyPort->clear();
            },
            true);
        try {
            page.XPButton2Click();
            QFAIL("no error for an empty port");
        } catch (const EConvertError& e) {
            QCOMPARE(QString(e.what()), QString("'' is not a valid integer value"));
        }
        QVERIFY(QApplication::activeModalWidget() == nullptr); // the dialog is closed
        QCOMPARE(SystemTestSettings.UseProxy, false);
        QCOMPARE(SystemTestSettings.ProxyPort, 3128);
    }

    // A password that the settings file cannot store is refused at OK, while
    // it can still be corrected: the dialog stays open on it, and nothing is
    // taken over.
    void unstorablePasswordIsRefusedAtOk() {
        TWizardFixture f;
        TConnectionPage& page = *f.window().connectionPage;
        SystemTestSettings = sample();
        const QString tooLong(26, 'x');
        const QString nonAsciiTooLong = QString::fromUtf8("\xc3\xa9").repeated(13); // 26 bytes
        const QString withTab("tab\there");
        QStringList refusals;
        answerDialog(
            [&](TfrmProxy& d) {
                changeEverything(d);
                for (const QString& password : {tooLong, nonAsciiTooLong, withTab}) {
                    d.ui->eProxyPassword->setText(password);
                    QTimer::singleShot(0, [&] {
                        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                        QVERIFY(box);
                        refusals << box->text();
                        box->accept();
                    });
                    QTest::mouseClick(d.ui->BitBtn1, Qt::LeftButton);
                    QVERIFY(d.isVisible());
                    QCOMPARE(QApplication::activeModalWidget(), &d);
                    QCOMPARE(d.focusWidget(), d.ui->eProxyPassword);
                    QCOMPARE(d.ui->eProxyPassword->text(), password);
                }
            },
            false);
        page.XPButton2Click();
        QCOMPARE(refusals.size(), 3);
        QVERIFY2(refusals[0].contains("at most 25 bytes"), qPrintable(refusals[0]));
        QVERIFY2(refusals[1].contains("26 bytes"), qPrintable(refusals[1]));
        QVERIFY2(refusals[2].contains("control character"), qPrintable(refusals[2]));
        QCOMPARE(SystemTestSettings, sample());

        const QString longest = QString::fromUtf8("\xc3\xa9").repeated(12) + "x"; // 25 bytes
        answerDialog([&](TfrmProxy& d) { d.ui->eProxyPassword->setText(longest); }, true);
        page.XPButton2Click();
        QCOMPARE(SystemTestSettings.ProxyPassword, longest.toStdString());
    }

    // With nothing stored, the desktop's SOCKS proxy is offered; it fills the
    // fields only when taken, and reaches the settings only with OK.
    void desktopProxyOffered() {
        TWizardFixture f;
        TConnectionPage& page = *f.window().connectionPage;
        auto desktop = std::make_shared<FakeDesktopProxy>(TDesktopProxy{svSocks4A, "127.0.0.1", 1081});
        page.DesktopProxy = desktop;
        SystemTestSettings = TSystemTestSettings{};
        const TSystemTestSettings nothingStored = SystemTestSettings;
        const auto takeIt = [](TfrmProxy& d) {
            QTRY_VERIFY_WITH_TIMEOUT(d.ui->btnUseDesktopProxy->isVisible(), 60000);
            QCOMPARE(d.ui->lbDesktopProxy->text(),
                     QString("Your desktop uses the SOCKS 4A proxy 127.0.0.1:1081."));
            QVERIFY(!d.ui->cbProxy->isChecked()); // offered, not applied
            QCOMPARE(d.ui->eProxyHost->text(), QString());
            QTest::mouseClick(d.ui->btnUseDesktopProxy, Qt::LeftButton);
            QVERIFY(d.ui->cbProxy->isChecked());
            QCOMPARE(d.ui->eProxyVersion->currentText(), QString("Socks 4A"));
            QCOMPARE(d.ui->eProxyHost->text(), QString("127.0.0.1"));
            QCOMPARE(d.ui->eProxyPort->text(), QString("1081"));
        };
        answerDialog(takeIt, false);
        page.XPButton2Click();
        QCOMPARE(SystemTestSettings, nothingStored);
        QCOMPARE(desktop->asked(), QStringList{QString::fromStdString(page.ConnectionTestHost) + ":9910"});

        answerDialog(takeIt, true);
        page.XPButton2Click();
        QCOMPARE(SystemTestSettings.UseProxy, true);
        QCOMPARE(SystemTestSettings.SocksVersion, uint8_t(svSocks4A));
        QCOMPARE(SystemTestSettings.ProxyHost, std::string("127.0.0.1"));
        QCOMPARE(SystemTestSettings.ProxyPort, 1081);

        // Now a proxy is stored: the desktop is not asked again.
        answerDialog([](TfrmProxy& d) { QVERIFY(d.ui->btnUseDesktopProxy->isHidden()); }, false);
        page.XPButton2Click();
        page.DesktopProxy.reset();
        lookupsFinished(desktop);
        QCOMPARE(desktop->asked().size(), 2);
    }

    void desktopProxyNotOffered() {
        const TDesktopProxy socks5{svSocks5, "127.0.0.1", 1080};
        // A stored host alone counts as a stored proxy: no lookup starts.
        TSystemTestSettings hostOnly;
        hostOnly.ProxyHost = "proxy.lan";
        auto desktop = std::make_shared<FakeDesktopProxy>(socks5);
        TfrmProxy dialog(nullptr);
        OfferDesktopProxy(dialog, hostOnly, desktop, "test.invalid", 9910);
        QCOMPARE(desktop.use_count(), 1L);

        // The desktop names no SOCKS proxy: the line stays hidden.
        auto none = std::make_shared<FakeDesktopProxy>(std::nullopt);
        OfferDesktopProxy(dialog, TSystemTestSettings{}, none, "test.invalid", 9910);
        lookupsFinished(none);
        QCOMPARE(none->asked().size(), 1);
        QVERIFY(dialog.ui->lbDesktopProxy->isHidden());
        QVERIFY(dialog.ui->btnUseDesktopProxy->isHidden());

        // An answer that comes after the dialog is gone goes nowhere.
        auto late = std::make_shared<FakeDesktopProxy>(socks5, true);
        auto closed = std::make_unique<TfrmProxy>(nullptr);
        OfferDesktopProxy(*closed, TSystemTestSettings{}, late, "test.invalid", 9910);
        late->waitUntilAsked();
        closed.reset();
        late->release();
        lookupsFinished(late);
        QCoreApplication::processEvents();
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
        const std::optional<TDesktopProxy> proxy = DesktopProxyFromUrl(answer.toStdString());
        const QString got = proxy ? QString("%1 %2 %3")
                                        .arg(proxy->Version)
                                        .arg(QString::fromStdString(proxy->Host))
                                        .arg(proxy->Port)
                                  : QString();
        QCOMPARE(got, offered);
    }

    // The dialog changes only the record in memory; closing the window stores it.
    void storedWhenTheWindowCloses() {
        TWizardFixture f;
        TfMain& w = f.window();
        answerDialog(
            [](TfrmProxy& d) {
                d.ui->cbProxy->setChecked(true);
                d.ui->eProxyVersion->setCurrentIndex(3);
                d.ui->eProxyHost->setText("127.0.0.1");
                d.ui->eProxyPort->setText("1234");
            },
            true);
        w.connectionPage->XPButton2Click();
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
