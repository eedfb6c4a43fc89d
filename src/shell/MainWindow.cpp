#include "shell/MainWindow.h"

#include "BuildConfig.h"
#include "audio/loopback/MicrophonePage.h"
#include "audio/player/PlaybackPage.h"
#include "controls/Accessibility.h"
#include "controls/FontColour.h"
#include "net/TcpClient.h"
#include "platform/settings/RegFileStore.h"
#include "platform/x11/CloseNotification.h"
#include "shell/CommandLine.h"
#include "shell/ConnectionPage.h"
#include "shell/DisplayPage.h"
#include "settings/SystemTestSettings.h"
#include "ui_MainWindow.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QKeyEvent>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>
#include <QUrl>

namespace tavora {

Q_LOGGING_CATEGORY(lcShell, "tavora.shell")

namespace {
const int ClosePage = 4;

// The link caption is the address without its scheme. (Plain text search: a
// regular expression would be compiled on the way to the first paint.)
QString linkCaption(const QString& url) {
    QString caption = url;
    if (const qsizetype scheme = caption.indexOf(QLatin1String("://")); scheme > 0)
        caption.remove(0, scheme + 3);
    if (caption.endsWith('/'))
        caption.chop(1);
    return caption;
}
} // namespace

MainWindow::MainWindow(const QStringList& arguments, const WizardServices& services, QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::MainWindow>()), services_(services),
      settingsStore_(services.settingsStore ? services.settingsStore
                                            : std::make_shared<RegFileStore>(RegFileStore::defaultPaths())) {
    ui->setupUi(this);
    setUpAppearance();

    nextTestAction = new QAction(this);
    nextTestAction->setObjectName("nextTestAction");
    previousTestAction = new QAction(this);
    previousTestAction->setObjectName("previousTestAction");
    connect(nextTestAction, &QAction::triggered, this, &MainWindow::onNextTest);
    connect(previousTestAction, &QAction::triggered, this, &MainWindow::onPreviousTest);
    // A button bound to an action is enabled exactly when the action is.
    connect(ui->nextButton, &QPushButton::clicked, nextTestAction, &QAction::trigger);
    connect(ui->previousButton, &QPushButton::clicked, previousTestAction, &QAction::trigger);
    connect(nextTestAction, &QAction::changed, this,
            [this] { ui->nextButton->setEnabled(nextTestAction->isEnabled()); });
    connect(previousTestAction, &QAction::changed, this,
            [this] { ui->previousButton->setEnabled(previousTestAction->isEnabled()); });
    connect(ui->closeButton, &QPushButton::clicked, this, &MainWindow::onCloseClicked);
    // The actions' states are re-evaluated whenever the event loop goes idle.
    if (auto* dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &MainWindow::updateActions);

    client_ = std::make_unique<TcpClient>();
    connectionPage_ = std::make_unique<ConnectionPage>(*client_, settings, ui->connectionBody);
    connectionPage_->desktopProxy = services_.desktopProxy;
    // The other pages' bodies wait until the first page is on screen (see
    // paintEvent), unless the first page shown is one of them.
    setUpTabOrder();

    // Key preview: the window sees key presses before its controls do. The
    // same filter sees the clicks on the link labels.
    qApp->installEventFilter(this);

    formCreate(arguments);
}

MainWindow::~MainWindow() {
    qApp->removeEventFilter(this);
    // A sample still playing ends with its player, without storing the
    // settings again (closing the window stored them). The pages go before
    // the objects they use, as the members are declared.
    if (playbackPage_)
        playbackPage_->disconnect(this);
}

void MainWindow::setUpAppearance() {
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
            setFontColour(label, ui->displayFrame->isAncestorOf(label)
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
            setFontColour(label, Qt::blue);
            label->setText(linkCaption(url));
            label->setToolTip(url);
            // Right-aligned: the label grows to the left when the caption is wider.
            const int right = label->geometry().right();
            const int width =
                std::max(label->width(), label->fontMetrics().horizontalAdvance(label->text()) + 2);
            label->setGeometry(right - width + 1, label->y(), width, label->height());
            makeKeyboardLink(label);
            connect(label, &QLabel::linkActivated, this, &MainWindow::onVendorLinkClicked);
        }
    }
}

void MainWindow::formCreate(const QStringList& arguments) {
    settings = loadSettings(*settingsStore_);
    currentPage = 0;
    const CommandLine commandLine = parseCommandLine(arguments);
    audioOnlyMode = commandLine.audioOnlyMode;
    notifyMessage = commandLine.notifyMessage;
    notifyWindow = commandLine.notifyWindow;
    if (audioOnlyMode)
        currentPage = 2;
}

void MainWindow::showEvent(QShowEvent* event) {
    if (!shown_) {
        shown_ = true;
        formShow();
        if (const QScreen* screen = this->screen())
            move(screen->availableGeometry().center() - rect().center());
    }
    QWidget::showEvent(event);
}

// The bodies of the pages not shown first (their forms and controls, the
// sample player) are a good part of the start-up: they are built once the
// window has been painted, when the event loop is next idle, so the window
// appears no later for them. Every way to one of them passes ensurePages first.
void MainWindow::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    if (!pagesScheduled_) {
        pagesScheduled_ = true;
        QTimer::singleShot(0, this, &MainWindow::ensurePages);
    }
}

void MainWindow::ensurePages() {
    if (displayPage_)
        return;
    displayPage_ = std::make_unique<DisplayPage>(services_.displayMetrics, ui->displayBody);
    playbackPage_ = std::make_unique<tavora::audio::PlaybackPage>(services_.audio, settings, ui->playbackBody);
    connect(playbackPage_.get(), &tavora::audio::PlaybackPage::saveRequested, this,
            [this] { saveSettings("at the stop"); });
    microphonePage_ =
        std::make_unique<tavora::audio::MicrophonePage>(services_.audio, settings, ui->microphoneBody);
    // Children made after their window was shown stay hidden until shown;
    // each appears with its page.
    for (QWidget* body :
         std::initializer_list<QWidget*>{displayPage_.get(), playbackPage_.get(), microphonePage_.get()})
        body->show();
    setUpTabOrder();
}

DisplayPage* MainWindow::displayPage() {
    ensurePages();
    return displayPage_.get();
}

tavora::audio::PlaybackPage* MainWindow::playbackPage() {
    ensurePages();
    return playbackPage_.get();
}

tavora::audio::MicrophonePage* MainWindow::microphonePage() {
    ensurePages();
    return microphonePage_.get();
}

void MainWindow::formShow() {
    showPage(currentPage);
    updateActions();
}

QWidget* MainWindow::frontPage() const {
    const QList<QWidget*> pages{ui->connectionFrame, ui->displayFrame, ui->playbackFrame, ui->microphoneFrame};
    // Children are painted in stacking order: the last page panel is in front.
    QWidget* front = nullptr;
    for (QObject* child : ui->pageHolder->children())
        if (auto* widget = qobject_cast<QWidget*>(child); widget && pages.contains(widget))
            front = widget;
    return front;
}

// The pages not in front are hidden, not merely covered: they take no focus,
// no key and no click, and a screen reader does not read them.
void MainWindow::bringToFront(QWidget* page) {
    page->show();
    page->raise();
    for (QWidget* other : {ui->connectionFrame, ui->displayFrame, ui->playbackFrame, ui->microphoneFrame})
        if (other != page)
            other->hide();
}

// Tab follows the reading order of each page (its header's link, then its
// body), then Close, Previous and Next. The pages are chained one after the
// other; Tab passes over the hidden ones.
void MainWindow::setUpTabOrder() {
    QList<QWidget*> order;
    for (QWidget* page : {ui->connectionFrame, ui->displayFrame, ui->playbackFrame, ui->microphoneFrame})
        order << tabStops(page);
    order << ui->closeButton << ui->previousButton << ui->nextButton;
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
}

QList<QWidget*> MainWindow::tabStops(QWidget* page) const {
    QList<QWidget*> stops;
    for (QWidget* widget : page->findChildren<QWidget*>())
        if (widget->window() == this && (widget->focusPolicy() & Qt::TabFocus) && !widget->focusProxy())
            stops << widget;
    return stops;
}

// After a page change the focus goes to the first control of the page's body:
// its first test button, or the device list on the audio pages.
void MainWindow::focusPage(QWidget* page) {
    for (QWidget* widget : tabStops(page))
        if (widget->property("objectRole").toString() != "link" && widget->isVisibleTo(this) &&
            widget->isEnabled()) {
            widget->setFocus(Qt::TabFocusReason);
            return;
        }
}

void MainWindow::showPage(int index) {
    if (index > 0)
        ensurePages();
    ui->nextButton->setText(tr("Next Test"));
    switch (index) {
    case 0:
        bringToFront(ui->connectionFrame);
        focusPage(ui->connectionFrame);
        break;
    case 1:
        bringToFront(ui->displayFrame);
        stopPlayback();
        focusPage(ui->displayFrame);
        break;
    case 2:
        stopMikeTest();
        bringToFront(ui->playbackFrame);
        enterPlaybackPage();
        focusPage(ui->playbackFrame);
        break;
    case 3:
        stopPlayback();
        bringToFront(ui->microphoneFrame);
        QApplication::processEvents();
        enterMicrophonePage();
        ui->nextButton->setText(tr("Finish"));
        focusPage(ui->microphoneFrame);
        break;
    case ClosePage:
        close();
        break;
    default:
        break;
    }
}

void MainWindow::onNextTest() {
    currentPage = currentPage + 1;
    showPage(currentPage);
}

void MainWindow::onPreviousTest() {
    currentPage = currentPage - 1;
    showPage(currentPage);
}

void MainWindow::acNextTestUpdate() {}

void MainWindow::acPrevTestUpdate() {
    previousTestAction->setEnabled((currentPage > 0 && !audioOnlyMode) || (currentPage > 2 && audioOnlyMode));
}

void MainWindow::updateActions() {
    acNextTestUpdate();
    acPrevTestUpdate();
}

void MainWindow::onCloseClicked() {
    stopMikeTest();
    stopPlayback();
    close();
}

void MainWindow::onVendorLinkClicked() {
    QDesktopServices::openUrl(QUrl(QString::fromUtf8(BuildConfig::VendorUrl)));
}

bool MainWindow::formCloseQuery() {
    return true;
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!formCloseQuery()) {
        event->ignore();
        return;
    }
    if (!closed_) {
        closed_ = true;
        formClose();
    }
    event->accept();
}

void MainWindow::formClose() {
    stopMikeTest();
    // A close asked for while a connection test waits for its answer ends the
    // test; the wizard then ends as soon as the test has given up.
    connectionPage_->stopConnectionTest();
    // A failed save must never keep the participant in a window that cannot
    // close: it says that the settings were not saved, then closes all the same.
    saveSettings("at the close");
    if (notifyMessage != 0 && notifyWindow != 0)
        postCloseNotification(static_cast<uint32_t>(notifyWindow), static_cast<uint32_t>(notifyMessage));
}

void MainWindow::saveSettings(const char* when) {
    try {
        tavora::saveSettings(settings, *settingsStore_);
    } catch (const RegistryError& e) {
        const QString message = QString::fromStdString(saveFailureText(e));
        qCWarning(lcShell) << "settings not saved" << when << ':' << e.what() << message;
        tellSettingsNotSaved(message);
    } catch (const std::exception& e) {
        qCWarning(lcShell) << "settings not saved" << when << ':' << e.what();
        tellSettingsNotSaved(tr("The settings cannot be saved: %1").arg(QString::fromLocal8Bit(e.what())));
    }
}

void MainWindow::tellSettingsNotSaved(const QString& message) {
    emit settingsNotSaved(message);
    // Every stop of the sample saves again, and mostly fails again for the
    // same reason: the participant is told once per run, the log every time.
    if (toldSettingsNotSaved_)
        return;
    toldSettingsNotSaved_ = true;
    QMessageBox::warning(this, windowTitle(), message);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type == QEvent::MouseButtonRelease && watched->property("objectRole").toString() == "link") {
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
            onVendorLinkClicked();
        return false;
    }
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease)
        return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != this)
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    return type == QEvent::KeyPress ? formKeyDown(key->key(), key->isAutoRepeat())
                                    : formKeyUp(key->key(), key->isAutoRepeat());
}

bool MainWindow::formKeyDown(int key, bool) {
    if (currentPage != 3 || key != Qt::Key_Control)
        return false;
    // Push-to-talk: starts one run unless one is running already (which also
    // covers the key's auto-repeat). A capture device that cannot be opened
    // raises, and the error reaches the standard error box.
    microphonePage()->pushToTalkDown();
    return true;
}

bool MainWindow::formKeyUp(int key, bool autoRepeat) {
    if (currentPage != 3 || key != Qt::Key_Control)
        return false;
    // Auto-repeat delivers release-press pairs while the key is held; only the
    // real release ends the push-to-talk.
    if (!autoRepeat)
        stopMikeTest();
    return true;
}

void MainWindow::enterPlaybackPage() {
    playbackPage()->enterPlaybackPage();
}

// A page not built yet has no sound to stop.
void MainWindow::stopPlayback() {
    if (playbackPage_)
        playbackPage_->stopPlayback();
}

void MainWindow::enterMicrophonePage() {
    microphonePage()->enterMicrophonePage();
}

void MainWindow::stopMikeTest() {
    if (microphonePage_)
        microphonePage_->stopMikeTest();
}

int MainWindow::prepareLoopback() {
    return microphonePage()->prepareLoopback();
}

} // namespace tavora
