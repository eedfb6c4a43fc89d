#include "support/audio/EventPump.h"

#include <QCoreApplication>
#include <QThread>

namespace tavora::test {

bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        QCoreApplication::sendPostedEvents();
        if (done())
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        QThread::msleep(2);
    }
}

void pumpFor(std::chrono::milliseconds span) {
    pumpUntil([] { return false; }, span);
}

} // namespace tavora::test
