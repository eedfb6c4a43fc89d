#include "WizardTestSupport.h"

#include <QEventLoop>
#include <QTimer>

TWizardFixture::TWizardFixture(const QStringList& arguments) {
    m_oldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", m_config.path().toLocal8Bit());
    m_window = std::make_unique<TfMain>(arguments, m_services);
}

TWizardFixture::~TWizardFixture() {
    m_window.reset();
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
