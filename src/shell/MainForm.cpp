#include "shell/MainForm.h"

#include "BuildConfig.h"
#include "audio/loopback/MicrophonePage.h"
#include "audio/player/PlaybackPage.h"
#include "controls/FontColour.h"
#include "net/TcpClient.h"
#include "platform/net/Component.h"
#include "platform/x11/CloseNotification.h"
#include "shell/CommandLine.h"
#include "shell/ConnectionPage.h"
#include "shell/DisplayPage.h"
#include "settings/SystemTestSettings.h"
#include "ui_TfMain.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QKeyEvent>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QScreen>
#include <QUrl>

Q_LOGGING_CATEGORY(lcShell, "tavora.shell")

namespace {
const int ClosePage = 4;

// The link caption is the address without its scheme.
QString linkCaption(const QString& url) {
    QString caption = url;
    caption.remove(QRegularExpression("^[a-zA-Z]+://"));
    if (caption.endsWith('/'))
        caption.chop(1);
    return caption;
}
} // namespace

TfMain::TfMain(const QStringList& arguments, const TWizardServices& services, QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::TfMain>()), m_services(services) {
    ui->setupUi(this);
    setUpAppearance();

    acNextTest = new QAction(this);
    acNextTest->setObjectName("acNextTest");
    acPrevTest = new QAction(this);
    acPrevTest->setObjectName("acPrevTest");
    connect(acNextTest, &QAction::triggered, this, &TfMain::acNextTestExecute);
    connect(acPrevTest, &QAction::triggered, this, &TfMain::acPrevTestExecute);
    // A button bound to an action is enabled exactly when the action is.
    connect(ui->btnNext, &QPushButton::clicked, acNextTest, &QAction::trigger);
    connect(ui->XPButton5, &QPushButton::clicked, acPrevTest, &QAction::trigger);
    connect(acNextTest, &QAction::changed, this,
            [this] { ui->btnNext->setEnabled(acNextTest->isEnabled()); });
    connect(acPrevTest, &QAction::changed, this,
            [this] { ui->XPButton5->setEnabled(acPrevTest->isEnabled()); });
    connect(ui->XPButton3, &QPushButton::clicked, this, &TfMain::XPButton3Click);
    // The actions' states are re-evaluated whenever the event loop goes idle.
    if (auto* dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &TfMain::updateActions);

    Components = std::make_unique<TComponent>();
    vcrClient = new TTcpClient(Components.get());
    connectionPage = new TConnectionPage(*vcrClient, *Components, ui->pConnectionTest);
    connectionPage->DesktopProxy = m_services.DesktopProxy;
    displayPage = new TDisplayPage(m_services.DisplayMetrics, ui->Panel3);
    playbackPage = new tavora::audio::TPlaybackPage(m_services.Audio, ui->pPlaybackBody);
    connect(playbackPage, &tavora::audio::TPlaybackPage::settingsNotSaved, this,
            &TfMain::TellSettingsNotSaved);
    microphonePage = new tavora::audio::TMicrophonePage(m_services.Audio, ui->pMicrophoneBody);

    // Key preview: the window sees key presses before its controls do. The
    // same filter sees the clicks on the link labels.
    qApp->installEventFilter(this);

    FormCreate(arguments);
}

TfMain::~TfMain() {
    qApp->removeEventFilter(this);
    // A sample still playing ends with its player, without storing the
    // settings again (closing the window stored them).
    // The pages go before the objects they use.
    delete microphonePage;
    delete playbackPage;
    delete connectionPage;
    Components.reset();
}

void TfMain::setUpAppearance() {
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(ClientWidth, ClientHeight);
    QPalette face = palette();
    face.setColor(QPalette::Window, face.color(QPalette::Button));
    setPalette(face);
    setAutoFillBackground(true);

    const QString url = QString::fromUtf8(BuildConfig::VendorUrl);
    for (QLabel* label : findChildren<QLabel*>()) {
        const QString role = label->property("objectRole").toString();
        if (role == "brand") {
            QFont bold = font();
            bold.setBold(true);
            label->setFont(bold);
            // The display page draws its brand line in grey.
            SetFontColour(label, ui->pResolution->isAncestorOf(label)
                                     ? FontColours::Grey
                                     : palette().color(QPalette::WindowText));
        } else if (role == "pageTitle") {
            QFont title = font();
            title.setPixelSize(19);
            label->setFont(title);
        } else if (role == "link") {
            QFont underlined = font();
            underlined.setUnderline(true);
            label->setFont(underlined);
            SetFontColour(label, Qt::blue);
            label->setText(linkCaption(url));
            label->setToolTip(url);
            // Right-aligned: the label grows to the left when the caption is wider.
            const int right = label->geometry().right();
            const int width =
                std::max(label->width(), label->fontMetrics().horizontalAdvance(label->text()) + 2);
            label->setGeometry(right - width + 1, label->y(), width, label->height());
        }
    }
}

void TfMain::FormCreate(const QStringList& arguments) {
    LoadSettings();
    CurrentPage = 0;
    const TCommandLine commandLine = ParseCommandLine(arguments);
    AudioOnlyMode = commandLine.AudioOnlyMode;
    NotifyMessage = commandLine.NotifyMessage;
    NotifyWindow = commandLine.NotifyWindow;
    if (AudioOnlyMode)
        CurrentPage = 2;
}

void TfMain::showEvent(QShowEvent* event) {
    if (!m_shown) {
        m_shown = true;
        FormShow();
        if (const QScreen* screen = this->screen())
            move(screen->availableGeometry().center() - rect().center());
    }
    QWidget::showEvent(event);
}

void TfMain::FormShow() {
    ShowPage(CurrentPage);
    updateActions();
}

QWidget* TfMain::FrontPage() const {
    const QList<QWidget*> pages{ui->pConnection, ui->pResolution, ui->pPlaybackTest, ui->pMicrophoneTest};
    // Children are painted in stacking order: the last page panel is in front.
    QWidget* front = nullptr;
    for (QObject* child : ui->pMainHolder->children())
        if (auto* widget = qobject_cast<QWidget*>(child); widget && pages.contains(widget))
            front = widget;
    return front;
}

void TfMain::bringToFront(QWidget* page) {
    page->raise();
}

void TfMain::ShowPage(int index) {
    ui->btnNext->setText("Next Test");
    switch (index) {
    case 0:
        bringToFront(ui->pConnection);
        break;
    case 1:
        bringToFront(ui->pResolution);
        StopPlayback();
        break;
    case 2:
        StopMikeTest();
        bringToFront(ui->pPlaybackTest);
        EnterPlaybackPage();
        break;
    case 3:
        StopPlayback();
        bringToFront(ui->pMicrophoneTest);
        QApplication::processEvents();
        EnterMicrophonePage();
        ui->btnNext->setText("Finish");
        break;
    case ClosePage:
        close();
        break;
    default:
        break;
    }
}

void TfMain::acNextTestExecute() {
    CurrentPage = CurrentPage + 1;
    ShowPage(CurrentPage);
}

void TfMain::acPrevTestExecute() {
    CurrentPage = CurrentPage - 1;
    ShowPage(CurrentPage);
}

void TfMain::acNextTestUpdate() {}

void TfMain::acPrevTestUpdate() {
    acPrevTest->setEnabled((CurrentPage > 0 && !AudioOnlyMode) || (CurrentPage > 2 && AudioOnlyMode));
}

void TfMain::updateActions() {
    acNextTestUpdate();
    acPrevTestUpdate();
}

void TfMain::XPButton3Click() {
    StopMikeTest();
    StopPlayback();
    close();
}

void TfMain::Label6Click() {
    QDesktopServices::openUrl(QUrl(QString::fromUtf8(BuildConfig::VendorUrl)));
}

bool TfMain::FormCloseQuery() {
    return true;
}

void TfMain::closeEvent(QCloseEvent* event) {
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    if (!m_closed) {
        m_closed = true;
        FormClose();
    }
    event->accept();
}

void TfMain::FormClose() {
    StopMikeTest();
    // A close asked for while a connection test waits for its answer ends the
    // test; the wizard then ends as soon as the test has given up.
    connectionPage->StopConnectionTest();
    // A failed save must never keep the participant in a window that cannot
    // close: say that the settings were not saved, then close all the same.
    try {
        SaveSettings();
    } catch (const ERegistryError& e) {
        const QString message = QString::fromStdString(SaveFailureText(e));
        qCWarning(lcShell) << "settings not saved at the close:" << e.what() << message;
        TellSettingsNotSaved(message);
    } catch (const std::exception& e) {
        qCWarning(lcShell) << "settings not saved at the close:" << e.what();
        TellSettingsNotSaved(tr("The settings cannot be saved: %1").arg(QString::fromLocal8Bit(e.what())));
    }
    if (NotifyMessage != 0 && NotifyWindow != 0)
        PostCloseNotification(static_cast<uint32_t>(NotifyWindow), static_cast<uint32_t>(NotifyMessage));
}

void TfMain::TellSettingsNotSaved(const QString& message) {
    emit settingsNotSaved(message);
    // Every stop of the sample saves again, and mostly fails again for the
    // same reason: the participant is told once per run, the log every time.
    if (m_toldSettingsNotSaved)
        return;
    m_toldSettingsNotSaved = true;
    QMessageBox::warning(this, windowTitle(), message);
}

bool TfMain::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type == QEvent::MouseButtonRelease && watched->property("objectRole").toString() == "link") {
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
            Label6Click();
        return false;
    }
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease)
        return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != this)
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    return type == QEvent::KeyPress ? FormKeyDown(key->key(), key->isAutoRepeat())
                                    : FormKeyUp(key->key(), key->isAutoRepeat());
}

bool TfMain::FormKeyDown(int key, bool) {
    if (CurrentPage != 3 || key != Qt::Key_Control)
        return false;
    // Push-to-talk: starts one run unless one is running already (which also
    // covers the key's auto-repeat). A capture device that cannot be opened
    // raises, and the error reaches the standard error box.
    microphonePage->PushToTalkDown();
    return true;
}

bool TfMain::FormKeyUp(int key, bool autoRepeat) {
    if (CurrentPage != 3 || key != Qt::Key_Control)
        return false;
    // Auto-repeat delivers release-press pairs while the key is held; only the
    // real release ends the push-to-talk.
    if (!autoRepeat)
        StopMikeTest();
    return true;
}

void TfMain::EnterPlaybackPage() {
    playbackPage->EnterPlaybackPage();
}

void TfMain::StopPlayback() {
    if (playbackPage)
        playbackPage->StopPlayback();
}

void TfMain::EnterMicrophonePage() {
    microphonePage->EnterMicrophonePage();
}

void TfMain::StopMikeTest() {
    if (microphonePage)
        microphonePage->StopMikeTest();
}

int TfMain::PrepareLoopback() {
    return microphonePage->PrepareLoopback();
}
