#include "platform/audio/WaveNotify.h"

#include <QCoreApplication>

#include <atomic>

namespace tavora::platform::audio {

namespace {
// A device posts from its own thread and the receiver reads on another. Qt's
// event queue orders the two, but with locks that ThreadSanitizer cannot see
// into; this release (at construction, after the device's writes) and the
// acquire in the receiver state the same order where it can see it, so that
// sanitizer runs report real races only.
std::atomic<unsigned> handOff{0};
} // namespace

WaveNotifyEvent::WaveNotifyEvent(WaveMessage message, WaveHeader* header)
    : QEvent(eventType()), message_(message), header_(header) {
    handOff.fetch_add(1, std::memory_order_release);
}

QEvent::Type WaveNotifyEvent::eventType() {
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

WaveNotifyReceiver::WaveNotifyReceiver(Handler handler, QObject* parent)
    : QObject(parent), handler_(std::move(handler)) {}

int WaveNotifyReceiver::dispatchPending() {
    int before = handled_;
    QCoreApplication::sendPostedEvents(this, WaveNotifyEvent::eventType());
    return handled_ - before;
}

bool WaveNotifyReceiver::event(QEvent* event) {
    handOff.load(std::memory_order_acquire);
    if (event->type() != WaveNotifyEvent::eventType())
        return QObject::event(event);
    ++handled_;
    auto* e = static_cast<WaveNotifyEvent*>(event);
    if (handler_)
        handler_(e->message(), e->header());
    return true;
}

} // namespace tavora::platform::audio
