#pragma once

// Shared pieces of the player tests: an application object that catches
// what escapes a notification (as the wizard's does) and event pumping.

#include <QCoreApplication>
#include <string>
#include <vector>

namespace tavora::test {

class TCatchingApplication : public QCoreApplication {
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

inline TCatchingApplication* App() {
    return static_cast<TCatchingApplication*>(QCoreApplication::instance());
}

// Handles everything posted so far, and what that posts in turn.
inline void Pump() {
    for (int i = 0; i < 20; ++i)
        QCoreApplication::sendPostedEvents();
}

} // namespace tavora::test
