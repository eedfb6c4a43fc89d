#include "platform/audio/WaveNotify.h"

#include <QCoreApplication>

namespace tavora::platform::audio {

WaveNotifyEvent::WaveNotifyEvent(WaveMessage message, WaveHeader* header)
    : QEvent(eventType()), message_(message), header_(header) {}

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
    if (event->type() != WaveNotifyEvent::eventType())
        return QObject::event(event);
    ++handled_;
    auto* e = static_cast<WaveNotifyEvent*>(event);
    if (handler_)
        handler_(e->message(), e->header());
    return true;
}

} // namespace tavora::platform::audio
