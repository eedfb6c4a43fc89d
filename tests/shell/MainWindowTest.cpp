#include "BuildConfig.h"
#include "WizardTestSupport.h"
#include "audio/loopback/MicrophonePage.h"
#include "audio/player/PlaybackPage.h"
#include "audio/player/SamplePlayer.h"
#include "controls/DesignFont.h"
#include "controls/ElidedComboBox.h"
#include "platform/net/TestSockets.h"
#include "shell/ConnectionPage.h"
#include "shell/DesktopProxy.h"
#include "shell/DesktopProxyOffer.h"
#include "shell/DisplayPage.h"
#include "shell/ProxyDialog.h"
#include "settings/SystemTestSettings.h"
#include "shell/WizardApplication.h"
#include "support/MessageBoxCatcher.h"
#include "ui_MicrophonePage.h"
#include "ui_PlaybackPage.h"
#include "ui_ConnectionPage.h"
#include "ui_DisplayPage.h"
#include "ui_MainWindow.h"
#include "ui_ProxyDialog.h"

#include <QAccessible>
#include <QDesktopServices>
#include <QFontDatabase>
#include <QScopeGuard>

#include <QtTest>

using namespace tavora;

namespace {
// Fails for each label, check box or button whose text does not fit inside it
// in the font it is drawn with (word wrap included), or that is not drawn in
// `family`; and for each entry of a fixed list that does not fit its box
// (the device lists cut long names short by design).
void verifyTextsFit(QWidget* top, const QString& family, const QString& situation) {
    const auto where = [&](QWidget* widget, const QString& what) {
        return QString("%1 (%2, %3): %4").arg(widget->objectName(), family, situation, what);
    };
    for (QLabel* label : top->findChildren<QLabel*>()) {
        if (label->text().isEmpty() || label->textFormat() == Qt::RichText)
            continue;
        QVERIFY2(QFontInfo(label->font()).family() == family,
                 qPrintable(where(label, "drawn in " + QFontInfo(label->font()).family())));
        const QRect room = label->contentsRect();
        const bool fits = label->wordWrap()
                              ? label->heightForWidth(room.width()) <= room.height()
                              : label->fontMetrics().horizontalAdvance(label->text()) <= room.width();
        QVERIFY2(fits, qPrintable(where(label, "\"" + label->text() + "\" is cut")));
    }
    for (QAbstractButton* button : top->findChildren<QAbstractButton*>()) {
        if (button->text().isEmpty())
            continue;
        QVERIFY2(QFontInfo(button->font()).family() == family,
                 qPrintable(where(button, "drawn in " + QFontInfo(button->font()).family())));
        QVERIFY2(button->sizeHint().width() <= button->width() ||
                     button->fontMetrics().horizontalAdvance(button->text()) + 8 <= button->width(),
                 qPrintable(where(button, "\"" + button->text() + "\" is cut")));
    }
    for (QComboBox* list : top->findChildren<QComboBox*>()) {
        if (dynamic_cast<ElidedComboBox*>(list))
            continue;
        QStyleOptionComboBox option;
        option.initFrom(list);
        const QRect room =
            list->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, list);
        for (int i = 0; i < list->count(); ++i)
            QVERIFY2(list->fontMetrics().horizontalAdvance(list->itemText(i)) <= room.width(),
                     qPrintable(where(list, "\"" + list->itemText(i) + "\" is cut")));
    }
}
} // namespace

// Takes the addresses the program asks the desktop to open.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void appearance() {
        WizardFixture f;
        MainWindow& w = f.window();
        QCOMPARE(w.windowTitle(), QString("Tavora Live System Test Wizard"));
        QCOMPARE(w.size(), QSize(442, 432));
        QCOMPARE(w.minimumSize(), w.maximumSize());
        QVERIFY(w.windowFlags() & Qt::WindowStaysOnTopHint);
        QCOMPARE(w.ui->closeButton->text(), QString("Close"));
        QCOMPARE(w.ui->previousButton->text(), QString("Previous Test"));
        QCOMPARE(w.ui->previousButton->geometry(), QRect(225, 10, 96, 25));
        QCOMPARE(w.ui->nextButton->geometry(), QRect(330, 10, 96, 25));
        QCOMPARE(w.ui->navigationFrame->geometry(), QRect(0, 388, 442, 44));
        for (QWidget* page :
             {w.ui->connectionFrame, w.ui->displayFrame, w.ui->playbackFrame, w.ui->microphoneFrame})
            QCOMPARE(page->geometry(), QRect(0, 0, 442, 388));
    }

    void startsOnConnectionPage() {
        WizardFixture f;
        MainWindow& w = f.window();
        w.show();
        WizardFixture::idle();
        QCOMPARE(w.currentPage, 0);
        QCOMPARE(w.frontPage(), w.ui->connectionFrame);
        QVERIFY(!w.ui->previousButton->isEnabled());
        QVERIFY(w.ui->nextButton->isEnabled());
        QCOMPARE(w.ui->nextButton->text(), QString("Next Test"));
    }

    void walksThePagesInOrder() {
        WizardFixture f;
        MainWindow& w = f.window();
        // The later pages' bodies wait for the first page to be on screen, then come unasked.
        QVERIFY(!w.findChild<DisplayPage*>() && !w.findChild<tavora::audio::MicrophonePage*>());
        w.show();
        QTRY_VERIFY(w.findChild<DisplayPage*>() && w.findChild<tavora::audio::MicrophonePage*>());
        const QList<QWidget*> pages{w.ui->connectionFrame, w.ui->displayFrame, w.ui->playbackFrame,
                                    w.ui->microphoneFrame};
        // Only the page in front is shown; the focus starts on its first
        // control: the test button, or the device list on the audio pages.
        const QList<QWidget*> firstControls{
            w.connectionPage()->ui->testConnectionButton, w.displayPage()->ui->testDisplayButton,
            w.playbackPage()->ui->outputDeviceList, w.microphonePage()->ui->inputDeviceList};
        const auto shownAlone = [&](int i) {
            for (QWidget* page : pages)
                QCOMPARE(page->isHidden(), page != pages[i]);
            QCOMPARE(w.focusWidget(), firstControls[i]);
        };
        shownAlone(0);
        for (int i = 1; i <= 3; ++i) {
            QTest::mouseClick(w.ui->nextButton, Qt::LeftButton);
            WizardFixture::idle();
            QCOMPARE(w.currentPage, i);
            QCOMPARE(w.frontPage(), pages[i]);
            shownAlone(i);
            QVERIFY(w.ui->previousButton->isEnabled());
            QCOMPARE(w.ui->nextButton->text(), QString(i == 3 ? "Finish" : "Next Test"));
        }
        for (int i = 2; i >= 0; --i) {
            QTest::mouseClick(w.ui->previousButton, Qt::LeftButton);
            WizardFixture::idle();
            QCOMPARE(w.currentPage, i);
            QCOMPARE(w.frontPage(), pages[i]);
            QCOMPARE(w.ui->nextButton->text(), QString("Next Test"));
            shownAlone(i);
        }
        QVERIFY(!w.ui->previousButton->isEnabled());
    }

    // What a screen reader is told beyond what the accessibility-bus test
    // sees: the proxy dialog's fields labelled by their visible labels, and
    // the states and values of the wizard's own controls.
    void screenReaderSeesEveryControl() {
        WizardFixture f;
        f.audio().addWaveOut(tavora::platform::audio::MemoryWaveDeviceSetup::named("Speakers"));
        MainWindow& w = f.window();
        w.show();
        w.nextTestAction->trigger();
        w.nextTestAction->trigger();
        const auto a11y = [](QObject* object) { return QAccessible::queryAccessibleInterface(object); };
        const auto& playback = *w.playbackPage()->ui;
        playback.speakerLevelSlider->setValue(1234);
        QAccessibleValueInterface* level = a11y(playback.speakerLevelSlider)->valueInterface();
        QCOMPARE(level->currentValue().toInt(), 1234);
        QCOMPARE(level->maximumValue().toInt(), 65535);
        QVERIFY(a11y(playback.stopButton)->state().disabled && !a11y(playback.playButton)->state().disabled);

        ProxyDialog dialog(&w);
        const std::pair<QWidget*, const char*> fields[]{{dialog.ui->versionList, "Version:"},
                                                        {dialog.ui->hostEdit, "Host:"},
                                                        {dialog.ui->portEdit, "Port:"},
                                                        {dialog.ui->userNameEdit, "Username:"},
                                                        {dialog.ui->passwordEdit, "Password:"}};
        for (const auto& [field, label] : fields) {
            const auto labels = a11y(field)->relations(QAccessible::Label);
            QVERIFY2(!labels.isEmpty(), label);
            QCOMPARE(labels.first().first->text(QAccessible::Name), QString(label));
        }
        QCOMPARE(a11y(dialog.ui->passwordEdit)->text(QAccessible::Name), QString("Password:"));
        QAccessibleInterface* box = a11y(dialog.ui->useProxyCheckBox);
        QCOMPARE(box->role(), QAccessible::CheckBox);
        QCOMPARE(box->text(QAccessible::Name), QString("I am behind a proxy server"));
        dialog.ui->useProxyCheckBox->setChecked(true);
        QVERIFY(box->state().checked);
    }

    void finishCloses() {
        WizardFixture f;
        MainWindow& w = f.window();
        w.show();
        for (int i = 0; i < 3; ++i)
            w.nextTestAction->trigger();
        QVERIFY(w.isVisible());
        QTest::mouseClick(w.ui->nextButton, Qt::LeftButton);
        QVERIFY(!w.isVisible());
    }

    void audioOnlyMode() {
        WizardFixture f({"AUDIO", "1030", "12345"});
        MainWindow& w = f.window();
        QVERIFY(w.audioOnlyMode);
        QCOMPARE(w.notifyMessage, 1030);
        QCOMPARE(w.notifyWindow, 12345);
        w.show();
        WizardFixture::idle();
        QCOMPARE(w.currentPage, 2);
        QCOMPARE(w.frontPage(), w.ui->playbackFrame);
        QVERIFY(!w.ui->previousButton->isEnabled());
        w.nextTestAction->trigger();
        WizardFixture::idle();
        QCOMPARE(w.currentPage, 3);
        QVERIFY(w.ui->previousButton->isEnabled());
        w.previousTestAction->trigger();
        WizardFixture::idle();
        QCOMPARE(w.currentPage, 2);
        QVERIFY(!w.ui->previousButton->isEnabled());
    }

    void closeButtonAndCloseBoxAlwaysClose() {
        WizardFixture f;
        MainWindow& w = f.window();
        w.show();
        QVERIFY(w.formCloseQuery());
        QTest::mouseClick(w.ui->closeButton, Qt::LeftButton);
        QVERIFY(!w.isVisible());

        WizardFixture g;
        g.window().show();
        QVERIFY(g.window().close());
        QVERIFY(!g.window().isVisible());
    }

    // Ctrl is consumed only on the microphone page; elsewhere it gets the
    // default handling and changes nothing.
    void ctrlOnlyOnMicrophonePage() {
        WizardFixture f;
        MainWindow& w = f.window();
        w.show();
        for (int page = 0; page < 3; ++page) {
            QVERIFY(!w.formKeyDown(Qt::Key_Control, false));
            QVERIFY(!w.formKeyUp(Qt::Key_Control, false));
            QCOMPARE(w.currentPage, page);
            w.nextTestAction->trigger();
        }
        QVERIFY(w.formKeyDown(Qt::Key_Control, false));
        QVERIFY(w.formKeyUp(Qt::Key_Control, false));
        QVERIFY(!w.formKeyDown(Qt::Key_Shift, false));
    }

    // Real key events on the window: holding Ctrl on the microphone page runs
    // one loop through its auto-repeats, releasing it stops the loop; on any
    // other page the key starts nothing.
    void pushToTalkWithRealKeyEvents() {
        WizardFixture f;
        using tavora::platform::audio::MemoryWaveDeviceSetup;
        f.audio().addWaveIn(MemoryWaveDeviceSetup::named("Microphone"));
        f.audio().addWaveOut(MemoryWaveDeviceSetup::named("Speakers"));
        MainWindow& w = f.window();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QWidget* focus = w.ui->nextButton;
        focus->setFocus();
        for (int page = 0; page < 3; ++page) {
            QTest::keyPress(focus, Qt::Key_Control);
            QTest::keyRelease(focus, Qt::Key_Control);
            QVERIFY(f.audio().openedWaveIns().empty());
            w.nextTestAction->trigger();
        }
        QCOMPARE(w.currentPage, 3);
        QTest::keyPress(focus, Qt::Key_Control);
        QVERIFY(w.microphonePage()->mikeTestRunning());
        for (int i = 0; i < 3; ++i) {
            QKeyEvent repeat(QEvent::KeyRelease, Qt::Key_Control, Qt::NoModifier, QString(), true);
            QApplication::sendEvent(focus, &repeat);
            QVERIFY(w.microphonePage()->mikeTestRunning());
            QKeyEvent press(QEvent::KeyPress, Qt::Key_Control, Qt::ControlModifier, QString(), true);
            QApplication::sendEvent(focus, &press);
        }
        QCOMPARE(f.audio().openedWaveIns().size(), std::size_t{1});
        QTest::keyRelease(focus, Qt::Key_Control);
        QVERIFY(!w.microphonePage()->mikeTestRunning());
    }

    // Every text of the window and the proxy dialog is shown whole in the
    // design face, in each language: as the program picks the face on this
    // machine, and in each face it may fall back to elsewhere (the last
    // resort, the wide DejaVu Sans, aside); with and without audio devices
    // (a microphone boost that is on), with the display's verdicts both ways,
    // the results of a failed connection test and the desktop's proxy offered.
    // test_main_window.120dpi runs it again at a desktop scale of 120 DPI.
    void textsFitTheirControls_data() {
        QTest::addColumn<QString>("face");
        QTest::newRow("as picked here") << QString();
        for (const QString& face : DesignFaces.mid(0, DesignFaces.size() - 1))
            QTest::newRow(qPrintable(face)) << face;
    }
    void textsFitTheirControls() {
        QFETCH(QString, face);
        const QFont appFont = QApplication::font();
        const auto restore = qScopeGuard([&] {
            QApplication::setFont(appFont);
            WizardApplication::useLanguage({});
        });
        if (face.isEmpty()) {
            face = QFontInfo(designFont()).family();
        } else if (!QFontDatabase::hasFamily(face)) {
            // The build installs these two; Tahoma and Arial are the user's own.
            if (face == "Liberation Sans" || face == "DejaVu Sans Condensed")
                QFAIL(qPrintable(face + " is not installed"));
            QSKIP("not installed on this machine");
        } else {
            // A machine where this face is the first of the list that is installed.
            QFont only = appFont;
            only.setFamilies({face});
            QApplication::setFont(only);
        }
        const testnet::RefusingPort refusing;
        // The boost question at the microphone page's entry is answered No;
        // its buttons' texts are Qt's own, in the language.
        QStringList yesButtons;
        QTimer answerNo;
        connect(&answerNo, &QTimer::timeout, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                yesButtons << box->button(QMessageBox::Yes)->text();
                box->button(QMessageBox::No)->click();
            }
        });
        answerNo.start(10);
        for (const QString language : {"en", "de", "fr", "es"}) {
            QCOMPARE(WizardApplication::useLanguage({language}), language);
            yesButtons.clear();
            for (const bool withDevices : {true, false}) {
                const QString situation = language + (withDevices ? ", with devices" : ", without devices");
                WizardFixture f;
                using tavora::platform::audio::MemoryWaveDeviceSetup;
                if (withDevices) {
                    f.audio().addWaveIn(MemoryWaveDeviceSetup::named("Microphone (USB Audio Device)"));
                    f.audio().addWaveOut(MemoryWaveDeviceSetup::named("Speakers (High Definition Audio)"));
                    f.audio().addMixer(
                        tavora::platform::audio::MemoryMixerSetup::standard("Mixer", 0, 0, true));
                    f.audio().findControl(0, "Microphone", "Mic Boost")->values[0] = 1;
                }
                MainWindow& w = f.window();
                QStringList results;
                connect(w.connectionPage(), &ConnectionPage::resultShown, &w,
                        [&](const QString& text) { results << text; });
                w.connectionPage()->connectionTestHost = "127.0.0.1";
                w.connectionPage()->connectionTestPort = refusing.port();
                w.connectionPage()->sleep = [](int) {};
                w.show();
                QTest::mouseClick(w.connectionPage()->ui->testConnectionButton, Qt::LeftButton);
                QCOMPARE(results.size(), 5);
                for (int page = 0; page < 3; ++page)
                    w.nextTestAction->trigger();
                auto* testDisplay = w.findChild<QAbstractButton*>("testDisplayButton");
                QVERIFY(testDisplay);
                testDisplay->click();
                ProxyDialog dialog(&w);
                showDesktopProxy(dialog, {Socks4A, "proxy.example.org", 1080});
                dialog.show();
                for (QWidget* top : std::initializer_list<QWidget*>{&w, &dialog})
                    verifyTextsFit(top, face, situation);
                f.metrics().screen = {800, 600};
                f.metrics().dpiValue = 120;
                testDisplay->click();
                verifyTextsFit(w.displayPage(), face, situation + ", display too small");
                // The mark kept whole in the closed boxes is the one the lists show.
                for (ElidedComboBox* list : {w.playbackPage()->ui->outputDeviceList, w.microphonePage()->ui->inputDeviceList})
                    QVERIFY2(!withDevices || (!list->keptEnding().isEmpty() && list->itemText(0).endsWith(list->keptEnding())),
                             qPrintable(situation));
                for (const QString& result : results) {
                    w.connectionPage()->ui->resultLabel->setText(result);
                    verifyTextsFit(w.connectionPage(), face, situation + ", connection result");
                }
            }
            QCOMPARE(yesButtons.size(), 1);
            QCOMPARE(yesButtons[0] == "&Yes", language == "en");
        }
    }

    // A click on a page's web link opens the vendor's page once; the link
    // shows the address without its scheme.
    void linkOpensTheVendorPageOnce() {
        WizardFixture f;
        MainWindow& w = f.window();
        w.show();
        UrlCatcher catcher;
        for (const char* scheme : {"http", "https"})
            QDesktopServices::setUrlHandler(scheme, &catcher, "open");
        const auto restore = qScopeGuard([] {
            for (const char* scheme : {"http", "https"})
                QDesktopServices::unsetUrlHandler(scheme);
        });
        const QUrl vendor(QString::fromUtf8(BuildConfig::VendorUrl));
        QCOMPARE(w.ui->connectionLinkLabel->text(),
                 vendor.host() + vendor.path().chopped(vendor.path().endsWith('/') ? 1 : 0));
        QTest::mouseClick(w.ui->connectionLinkLabel, Qt::LeftButton);
        QCOMPARE(catcher.urls, QList<QUrl>{vendor});
        QTest::mouseClick(w.ui->microphoneLinkLabel, Qt::RightButton);
        QCOMPARE(catcher.urls.size(), 1);

        // From the keyboard: Tab reaches the link, Space or Enter opens the
        // page, a dotted frame shows the focus (as on the wizard's buttons and
        // slider), and a screen reader hears a link it can press.
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QLabel* link = w.ui->connectionLinkLabel;
        QAccessibleInterface* linkAccessible = QAccessible::queryAccessibleInterface(link);
        QCOMPARE(linkAccessible->role(), QAccessible::Link);
        QCOMPARE(linkAccessible->text(QAccessible::Name), link->text());
        for (QWidget* control : std::initializer_list<QWidget*>{link, w.connectionPage()->ui->testConnectionButton}) {
            w.ui->nextButton->setFocus();
            const QImage unfocused = control->grab().toImage();
            control->setFocus(Qt::TabFocusReason);
            QVERIFY(control->hasFocus());
            QVERIFY2(control->grab().toImage() != unfocused, qPrintable(control->objectName()));
        }
        QTest::keyClick(link, Qt::Key_Space);
        QTest::keyClick(link, Qt::Key_Return);
        linkAccessible->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(catcher.urls, QList<QUrl>(4, vendor));
    }

    void settingsLoadedAtStartAndStoredAtClose() {
        WizardFixture f({}, "Windows Registry Editor Version 5.00\r\n\r\n"
                             "[HKEY_CURRENT_USER\\SOFTWARE\\Norvik\\Tavora Live\\Browser]\r\n"
                             "\"AudioOutDeviceID\"=dword:00000002\r\n\"ProxyPort\"=\"8080\"\r\n"
                             "\r\n[HKEY_CURRENT_USER\\Software\\Other]\r\n\"Keep\"=\"me\"\r\n");
        QCOMPARE(f.window().settings.audioOutDeviceID, 2);
        QCOMPARE(f.window().settings.proxyPort, 1080); // a string is unreadable as a port
        f.window().settings.audioInDeviceID = 5;
        f.window().show();
        f.window().close();
        QFile file(f.settingsFile());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        QVERIFY(text.contains("\"AudioInDeviceID\"=dword:00000005"));
        QVERIFY(text.contains("\"ProxyPort\"=dword:00000438"));
        QVERIFY(text.contains("\"Keep\"=\"me\""));
    }

    // A folder that refuses writes: every stop of the sample and the close
    // fail to save. The participant is told once per run, in words, where
    // and why; the window closes all the same.
    void failedSavesAreToldOncePerRunAndTheWindowCloses() {
        WizardFixture f({"audio"});
        f.audio().addWaveOut(tavora::platform::audio::MemoryWaveDeviceSetup::named("Speakers"));
        MainWindow& w = f.window();
        w.show();
        f.store().setFaultHook(
            [](RegWriteStep step) { return step == RegWriteStep::CreateTemp ? EROFS : 0; });
        QSignalSpy notSaved(&w, &MainWindow::settingsNotSaved);
        tavora::test::MessageBoxCatcher catcher;
        for (int stop = 0; stop < 2; ++stop) {
            QTest::mouseClick(w.playbackPage()->ui->playButton, Qt::LeftButton);
            QVERIFY(w.playbackPage()->samplePlayer->active());
            QTest::mouseClick(w.playbackPage()->ui->stopButton, Qt::LeftButton);
            while (w.playbackPage()->samplePlayer->active())
                WizardFixture::idle(); // the player closes
        }
        QVERIFY(w.close());
        QVERIFY(!w.isVisible());
        QCOMPARE(notSaved.count(), 3);
        const QStringList boxes = catcher.texts();
        QCOMPARE(boxes.size(), 1);
        QVERIFY2(boxes[0].contains("cannot be saved to " + f.settingsFile() + ": Read-only file system"),
                 qPrintable(boxes[0]));
        QVERIFY(!boxes[0].contains("AudioOutDeviceID"));
    }

    // The close box on the playback page while the sample plays: the
    // settings are stored, and the sample stops as the window goes.
    void closeBoxWhileTheSamplePlays() {
        WizardFixture f({"audio"});
        f.audio().addWaveOut(tavora::platform::audio::MemoryWaveDeviceSetup::named("Speakers"));
        f.audio().addWaveOut(tavora::platform::audio::MemoryWaveDeviceSetup::named("Headphones"));
        MainWindow& w = f.window();
        w.settings.audioOutDeviceID = 1;
        w.show();
        QCOMPARE(w.playbackPage()->ui->outputDeviceList->count(), 2);
        QTest::mouseClick(w.playbackPage()->ui->playButton, Qt::LeftButton);
        QVERIFY(w.playbackPage()->samplePlayer->active());
        QCOMPARE(f.audio().openedWaveOuts().size(), size_t(1));
        QVERIFY(w.close());
        QFile file(f.settingsFile());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains("\"AudioOutDeviceID\"=dword:00000001"));
        f.destroyWindow();
        QVERIFY(f.audio().openedWaveOuts().empty());
    }

    // The close box while a connection test waits for an answer that never
    // comes (a listener whose backlog is full): the window goes on handling
    // events other than input meanwhile, so the close is taken at once, with
    // the settings stored; the test then gives up without showing more.
    void closeBoxDuringAConnectionAttempt() {
        testnet::SilentListener silent;
        WizardFixture f;
        MainWindow& w = f.window();
        w.show();
        w.connectionPage()->connectionTestHost = "127.0.0.1";
        w.connectionPage()->connectionTestPort = silent.port();
        const QStringList trying{"Trying to connect to Tavora Server..."};
        QStringList shown;
        bool closedDuringTheAttempt = false;
        connect(w.connectionPage(), &ConnectionPage::resultShown, &w, [&](const QString& text) {
            shown << text;
            if (shown.size() == 1)
                QTimer::singleShot(200, &w, [&] { closedDuringTheAttempt = shown == trying && w.close(); });
        });
        QTest::mouseClick(w.connectionPage()->ui->testConnectionButton, Qt::LeftButton);
        QVERIFY(closedDuringTheAttempt);
        QVERIFY(!w.isVisible());
        QCOMPARE(shown, trying);
        QVERIFY(QFile::exists(f.settingsFile()));
    }
};

// The program's own application object, which sets the design face before
// any widget exists.
int main(int argc, char** argv) {
    WizardApplication app(argc, argv);
    MainWindowTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "MainWindowTest.moc"
