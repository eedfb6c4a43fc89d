#include "WizardTestSupport.h"

#include <QTest>

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

void TWizardFixture::idle() {
    QTest::qWait(20);
}
