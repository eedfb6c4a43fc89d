#pragma once

// The direction-independent base of the wave output engine: the notification
// target (an object of the opening thread, or a thread of its own), the
// dispatch of device notifications under the engine's lock, the list of
// buffer headers and their memory, the error path and the events.

#include "audio/player/WaveFormats.h"

#include "platform/audio/AudioPlatform.h"
#include "platform/audio/WaveNotify.h"

#include <QEventLoop>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tavora::audio {

class WaveEngine;

// The notification thread used when async is true: an event loop of its own
// in which the engine's notifications are handled, one at a time and in the
// order they were posted. It ends when the engine releases it.
class WaveNotifyThread {
public:
    explicit WaveNotifyThread(WaveEngine& engine);
    // Ends the loop (after what is already posted) and joins the thread.
    ~WaveNotifyThread();
    WaveNotifyThread(const WaveNotifyThread&) = delete;
    WaveNotifyThread& operator=(const WaveNotifyThread&) = delete;

    // Starts the thread and answers the receiver that lives on it.
    QObject* start();
    // Ends the loop once what is already posted to it has been handled.
    void quit();
    // Waits up to `limit` for the thread to end; answers whether it has.
    bool waitFinished(std::chrono::milliseconds limit);
    bool isCurrent() const { return std::this_thread::get_id() == thread_.get_id(); }

private:
    void run();

    WaveEngine& engine_;
    std::mutex mutex_;
    std::condition_variable changed_;
    QObject* receiver_ = nullptr;
    QEventLoop* loop_ = nullptr;
    bool finished_ = false;
    std::thread thread_;
};

class WaveEngine {
public:
    using MmResult = platform::audio::MmResult;
    using WaveHeader = platform::audio::WaveHeader;
    using WaveMessage = platform::audio::WaveMessage;

    explicit WaveEngine(platform::audio::AudioPlatform& platform);
    virtual ~WaveEngine();
    WaveEngine(const WaveEngine&) = delete;
    WaveEngine& operator=(const WaveEngine&) = delete;

    // Writing true opens the device and starts playing, false stops and closes
    // it. Both return at once: playing starts with the open notification, and
    // the engine stays active until the close notification has been handled.
    bool active() { return getActive(); }
    virtual void setActive(bool value);

    // Pausing an inactive engine only records it: the device is then paused
    // as soon as it has opened.
    bool paused() { return getPaused(); }
    virtual void setPaused(bool value);

    // The device number; -1 is the platform's default device with conversion.
    int32_t deviceID() const { return deviceId_; }
    void setDeviceID(int32_t value);

    // Notifications on a thread of their own; ignored while active.
    bool async() const { return async_; }
    void setAsync(bool value);

    // Time held by one buffer in milliseconds; at least 10.
    uint16_t bufferLength() const { return bufferLength_; }
    void setBufferLength(uint16_t value) { bufferLength_ = value < 10 ? 10 : value; }
    // Buffers kept queued on the device. Stored as given; 0 plays as 1.
    uint16_t bufferCount() const { return bufferCount_; }
    void setBufferCount(uint16_t value) { bufferCount_ = value; }

    uint32_t lastError() const { return lastError_; }

    virtual uint32_t getNumDevs() = 0;
    // The product name of the device; empty when it cannot be asked.
    virtual std::string getDeviceName() = 0;
    // The standard PCM format codes the device reports.
    virtual PCMFormatSet getDeviceFormats() = 0;
    // The play position in milliseconds.
    virtual uint32_t getPosition() = 0;
    // The platform's text for a result code; empty when there is none.
    virtual std::string getErrorText(MmResult code) = 0;
    // Whether the device can play `format` as it stands (no conversion).
    virtual bool isFormatSupported(const WaveFormatEx& format) = 0;
    bool isPCMFormatSupported(uint8_t code);

    WaveEvent onActivate;
    WaveEvent onDeactivate;
    WaveEvent onPause;
    WaveEvent onResume;
    WaveEvent onError;
    WaveLevelEvent onLevel;
    WaveBufferDataEvent onBufferData;

protected:
    // Device notifications, called by the dispatcher under the lock.
    virtual void waveInOpened();
    virtual void waveInClosed();
    virtual void waveInData(WaveHeader* header);
    virtual void waveOutOpened();
    virtual void waveOutClosed();
    virtual void waveOutDone(WaveHeader* header);

    virtual bool getActive();
    virtual bool getPaused() = 0;
    // Supplies the format to open with. `freeIt` comes in true; leave it true
    // to have the engine release the record with std::free after the open.
    virtual void getWaveFormat(const WaveFormatEx*& format, bool& freeIt) = 0;
    virtual MmResult validateDeviceID(int32_t deviceId) = 0;
    virtual bool internalOpen() = 0;
    virtual bool internalClose() = 0;
    virtual bool internalPause() = 0;
    virtual bool internalResume() = 0;
    virtual bool handleAllocated() = 0;
    virtual void startFeeding() = 0;
    virtual void releaseAllBuffers();
    virtual void deviceOpened();
    virtual void deviceClosed();
    virtual void notifyActivate();
    virtual void notifyDeactivate();
    virtual void notifyPause();
    virtual void notifyResume();
    virtual void notifyError();
    virtual void notifyLevel(const void* data, uint32_t count);
    virtual void notifyBufferData(const void* data, uint32_t count);

    // Stores `code` as lastError; 0 answers true. Any other code goes to
    // onError and answers false, or raises WaveSysError without onError.
    bool checkResult(MmResult code);

    // Gives the header variable a header with `size` bytes of data: its own
    // block (no `external`) or `external`, which the engine never frees. Size
    // 0 frees the header. Out of memory is reported as MMSYSERR_NOMEM.
    bool reallocHeader(WaveHeader*& header, uint32_t size, uint8_t* external = nullptr);

    std::recursive_mutex& engineLock() { return lock_; }
    size_t queuedCount() const { return headers_.size(); }
    uint32_t bufferBytes() const { return timeToBufferSize(deviceFormat_, bufferLength_); }
    // The buffer count the cycle works with (at least one buffer).
    uint16_t effectiveBufferCount() const { return bufferCount_ == 0 ? 1 : bufferCount_; }

    // The notifier: created by the open, released by the close notification.
    QObject* createNotifier();
    void releaseNotifier();
    QObject* notifier() const { return notifier_.load(); }
    uint32_t notifierKind() const { return notifierKind_; }
    void postNotification(WaveMessage message, WaveHeader* header);

    void waitWhileOpening();
    // Waits until the notifier is gone, handling its notifications; answers
    // false when the device did not report its close within `limit`.
    bool waitForNotifier(std::chrono::milliseconds limit = std::chrono::milliseconds(5000));

    // Closes the device and waits for its close notification. Must be called
    // by the destructor of the most derived class, while its provider is
    // still whole; later calls do nothing. No onDeactivate fires.
    void destroyEngine();
    // Lets go of an open device that did not report its close in time: no
    // further notification is handled and every buffer is freed.
    virtual void abandonDevice() = 0;
    // While closing at the end of the data, returns the still queued buffers
    // at once instead of letting them play out.
    virtual void flushClosingDevice() = 0;

    platform::audio::AudioPlatform& platform() { return platform_; }

    std::atomic<bool> opening_{false};
    std::atomic<bool> closing_{false};
    WaveFormatEx deviceFormat_{};

private:
    friend class WaveNotifyThread;
    void dispatch(WaveMessage message, WaveHeader* header);
    void dispatchOnThread(QObject* receiver, WaveMessage message, WaveHeader* header);
    void freeRetiredReceivers();

protected:
    // Joins the notification thread of an earlier open before a new one
    // starts; the open calls it before it takes the lock.
    void reapNotifyThread();

protected:
    // Removes the header from the list and frees it with its own data.
    void freeHeader(WaveHeader*& header);

private:
    int dispatchDepth_ = 0;
    std::vector<std::unique_ptr<platform::audio::WaveNotifyReceiver>> retiredReceivers_;

    platform::audio::AudioPlatform& platform_;
    bool async_ = false;
    int32_t deviceId_ = -1;
    uint32_t lastError_ = 0;
    uint16_t bufferLength_ = 1000;
    uint16_t bufferCount_ = 2;
    std::vector<std::unique_ptr<WaveHeader>> headers_;
    std::recursive_mutex lock_;
    uint32_t notifierKind_ = 0;
    std::atomic<QObject*> notifier_{nullptr};
    // The receiver of the window-style notifier. A released receiver is kept
    // (retiredReceivers_) until no notification is being handled, as it is
    // released from inside its own handler.
    std::unique_ptr<platform::audio::WaveNotifyReceiver> receiver_;
    // The notification thread; joined and freed at the next open or the
    // destruction once it has ended. One that reopens from its own handler
    // cannot join itself and waits in retiredThreads_.
    std::unique_ptr<WaveNotifyThread> thread_;
    std::vector<std::unique_ptr<WaveNotifyThread>> retiredThreads_;
    bool destroying_ = false;
};

} // namespace tavora::audio
