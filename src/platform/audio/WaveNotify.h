#pragma once

// How wave devices report open, done/data and close: each notification is a
// WaveNotifyEvent posted to the QObject given to the open. Qt delivers posted
// events to one receiver in the order they were posted, one at a time, on the
// thread the receiver lives on: an object of the user-interface thread plays
// the hidden notification window; an object moved to a QThread running its
// own event loop plays the notification thread.
//
// The receiver must outlive the device's close(): a device posts nothing
// after close() (or its destruction) has returned, but events posted before
// are still delivered.

#include "platform/audio/WaveTypes.h"

#include <QEvent>
#include <QObject>

#include <functional>

namespace tavora::platform::audio {

class WaveNotifyEvent : public QEvent {
public:
    WaveNotifyEvent(WaveMessage message, WaveHeader* header);

    // The event type, registered with Qt on first use.
    static QEvent::Type eventType();

    WaveMessage message() const { return message_; }
    // The returned buffer for WomDone and WimData; null otherwise.
    WaveHeader* header() const { return header_; }

private:
    WaveMessage message_;
    WaveHeader* header_;
};

// A receiver that hands every wave notification to a function. Other events
// go to QObject as usual. Exceptions thrown by the handler leave event() and
// reach the application's notify(), which reports them.
class WaveNotifyReceiver : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(WaveMessage message, WaveHeader* header)>;

    explicit WaveNotifyReceiver(Handler handler = {}, QObject* parent = nullptr);
    void setHandler(Handler handler) { handler_ = std::move(handler); }

    // Handles the wave notifications already posted to this receiver now,
    // in order; answers how many there were.
    int dispatchPending();

protected:
    bool event(QEvent* event) override;

private:
    Handler handler_;
    int handled_ = 0;
};

} // namespace tavora::platform::audio
