#include "WizardTestSupport.h"

#include "settings/RegistryValues.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

TWizardFixture::TWizardFixture(const QStringList& arguments, const QByteArray& existingSettings) {
    m_oldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", m_config.path().toLocal8Bit());
    if (!existingSettings.isEmpty()) {
        QDir(m_config.path()).mkpath("tavora-live");
        QFile file(settingsFile());
        file.open(QIODevice::WriteOnly);
        file.write(existingSettings);
    }
    m_store = std::make_shared<TRegFileStore>(
        TRegFileStore::TPaths{settingsFile().toStdString(), m_config.filePath("system.reg").toStdString()});
    SetSettingsRegistry(m_store);
    m_window = std::make_unique<TfMain>(arguments, m_services);
}

TWizardFixture::~TWizardFixture() {
    m_window.reset();
    SetSettingsRegistry(nullptr);
    qputenv("XDG_CONFIG_HOME", m_oldConfig);
}

QString TWizardFixture::settingsFile() const {
    return m_config.filePath("tavora-live/user.reg");
}

// A real event loop, unlike QTest::qWait, blocks in the dispatcher when it has
// nothing to do, which is when idle-time work runs.
void TWizardFixture::idle() {
    QEventLoop loop;
    QTimer::singleShot(20, &loop, &QEventLoop::quit);
    loop.exec();
}
