#include "WizardTestSupport.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

namespace tavora {

WizardFixture::WizardFixture(const QStringList& arguments, const QByteArray& existingSettings) {
    oldConfig_ = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", config_.path().toLocal8Bit());
    if (!existingSettings.isEmpty()) {
        QDir(config_.path()).mkpath("tavora-live");
        QFile file(settingsFile());
        file.open(QIODevice::WriteOnly);
        file.write(existingSettings);
    }
    store_ = std::make_shared<RegFileStore>(
        RegFileStore::Paths{settingsFile().toStdString(), config_.filePath("system.reg").toStdString()});
    services_.settingsStore = store_;
    window_ = std::make_unique<MainWindow>(arguments, services_);
}

WizardFixture::~WizardFixture() {
    window_.reset();
    qputenv("XDG_CONFIG_HOME", oldConfig_);
}

QString WizardFixture::settingsFile() const {
    return config_.filePath("tavora-live/user.reg");
}

// A real event loop, unlike QTest::qWait, blocks in the dispatcher when it has
// nothing to do, which is when idle-time work runs.
void WizardFixture::idle() {
    QEventLoop loop;
    QTimer::singleShot(20, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace tavora
