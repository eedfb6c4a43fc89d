#pragma once

// An application object that keeps what escapes a notification instead of
// letting it end the test program, as the wizard's own application object
// turns such errors into a message box.

#include <QCoreApplication>

#include <string>
#include <vector>

namespace tavora::test {

class CatchingApplication : public QCoreApplication {
public:
    using QCoreApplication::QCoreApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QCoreApplication::notify(receiver, event);
        } catch (const std::exception& e) {
            errors.emplace_back(e.what());
        }
        return false;
    }
    std::vector<std::string> errors;
};

} // namespace tavora::test
