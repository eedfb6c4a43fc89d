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

class TWaveEngine;

// The notification thread used when Async is true: an event loop of its own
// in which the engine's notifications are handled, one at a time and in the
// order they were posted. It ends when the engine releases it.
class TWaveNotifyThread {
public:
    explicit TWaveNotifyThread(TWaveEngine& engine);
    // Ends the loop (after what is already posted) and joins the thread.
    ~TWaveNotifyThread();
    TWaveNotifyThread(const TWaveNotifyThread&) = delete;
    TWaveNotifyThread& operator=(const TWaveNotifyThread&) = delete;

    // Starts the thread and answers the receiver that lives on it.
    QObject* Start();
    // Ends the loop once what is already posted to it has been handled.
    void Quit();
    // Waits up to `limit` for the thread to end; answers whether it has.
    bool WaitFinished(std::chrono::milliseconds limit);
    bool IsCurrent() const { return std::this_thread::get_id() == thread_.get_id(); }

private:
    void Run();

    TWaveEngine& engine_;
    std::mutex mutex_;
    std::condition_variable changed_;
    QObject* receiver_ = nullptr;
    QEventLoop* loop_ = nullptr;
    bool finished_ = false;
    std::thread thread_;
};

class TWaveEngine {
public:
    using MmResult = platform::audio::MmResult;
    using WaveHeader = platform::audio::WaveHeader;
    using WaveMessage = platform::audio::WaveMessage;

    explicit TWaveEngine(platform::audio::AudioPlatform& platform);
    virtual ~TWaveEngine();
    TWaveEngine(const TWaveEngine&) = delete;
    TWaveEngine& operator=(const TWaveEngine&) = delete;

    // Writing true opens the device and starts playing, false stops and closes
    // it. Both return at once: playing starts with the open notification, and
    // the engine stays active until the close notification has been handled.
    bool Active() { return GetActive(); }
    virtual void SetActive(bool value);

    // Pausing an inactive engine only records it: the device is then paused
    // as soon as it has opened.
    bool Paused() { return GetPaused(); }
    virtual void SetPaused(bool value);

    // The device number; -1 is the platform's default device with conversion.
    int32_t DeviceID() const { return deviceId_; }
    void SetDeviceID(int32_t value);

    // Notifications on a thread of their own; ignored while Active.
    bool Async() const { return async_; }
    void SetAsync(bool value);

    // Time held by one buffer in milliseconds; at least 10.
    uint16_t BufferLength() const { return bufferLength_; }
    void SetBufferLength(uint16_t value) { bufferLength_ = value < 10 ? 10 : value; }
    // Buffers kept queued on the device. Stored as given; 0 plays as 1.
    uint16_t BufferCount() const { return bufferCount_; }
    void SetBufferCount(uint16_t value) { bufferCount_ = value; }

    uint32_t LastError() const { return lastError_; }

    virtual uint32_t GetNumDevs() = 0;
    // The product name of the device; empty when it cannot be asked.
    virtual std::string GetDeviceName() = 0;
    // The standard PCM format codes the device reports.
    virtual TPCMFormatSet GetDeviceFormats() = 0;
    // The play position in milliseconds.
    virtual uint32_t GetPosition() = 0;
    // The platform's text for a result code; empty when there is none.
    virtual std::string GetErrorText(MmResult code) = 0;
    // Whether the device can play `format` as it stands (no conversion).
    virtual bool IsFormatSupported(const TWaveFormatEx& format) = 0;
    bool IsPCMFormatSupported(uint8_t code);

    TWaveEvent OnActivate;
    TWaveEvent OnDeactivate;
    TWaveEvent OnPause;
    TWaveEvent OnResume;
    TWaveEvent OnError;
    TWaveLevelEvent OnLevel;
    TWaveBufferDataEvent OnBufferData;

protected:
    // Device notifications, called by the dispatcher under the lock.
    virtual void WaveInOpened();
    virtual void WaveInClosed();
    virtual void WaveInData(WaveHeader* header);
    virtual void WaveOutOpened();
    virtual void WaveOutClosed();
    virtual void WaveOutDone(WaveHeader* header);

    virtual bool GetActive();
    virtual bool GetPaused() = 0;
    // Supplies the format to open with. `freeIt` comes in true; leave it true
    // to have the engine release the record with std::free after the open.
    virtual void GetWaveFormat(const TWaveFormatEx*& format, bool& freeIt) = 0;
    virtual MmResult ValidateDeviceID(int32_t deviceId) = 0;
    virtual bool InternalOpen() = 0;
    virtual bool InternalClose() = 0;
    virtual bool InternalPause() = 0;
    virtual bool InternalResume() = 0;
    virtual bool HandleAllocated() = 0;
    virtual void StartFeeding() = 0;
    virtual void ReleaseAllBuffers();
    virtual void DeviceOpened();
    virtual void DeviceClosed();
    virtual void NotifyActivate();
    virtual void NotifyDeactivate();
    virtual void NotifyPause();
    virtual void NotifyResume();
    virtual void NotifyError();
    virtual void NotifyLevel(const void* data, uint32_t count);
    virtual void NotifyBufferData(const void* data, uint32_t count);

    // Stores `code` as LastError; 0 answers true. Any other code goes to
    // OnError and answers false, or raises EWaveSysError without OnError.
    bool CheckResult(MmResult code);

    // Gives the header variable a header with `size` bytes of data: its own
    // block (no `external`) or `external`, which the engine never frees. Size
    // 0 frees the header. Out of memory is reported as MMSYSERR_NOMEM.
    bool ReallocHeader(WaveHeader*& header, uint32_t size, uint8_t* external = nullptr);

    std::recursive_mutex& EngineLock() { return lock_; }
    size_t QueuedCount() const { return headers_.size(); }
    uint32_t BufferBytes() const { return TimeToBufferSize(deviceFormat_, bufferLength_); }
    // The buffer count the cycle works with (at least one buffer).
    uint16_t EffectiveBufferCount() const { return bufferCount_ == 0 ? 1 : bufferCount_; }

    // The notifier: created by the open, released by the close notification.
    QObject* CreateNotifier();
    void ReleaseNotifier();
    QObject* Notifier() const { return notifier_.load(); }
    uint32_t NotifierKind() const { return notifierKind_; }
    void PostNotification(WaveMessage message, WaveHeader* header);

    void WaitWhileOpening();
    // Waits until the notifier is gone, handling its notifications; answers
    // false when the device did not report its close within `limit`.
    bool WaitForNotifier(std::chrono::milliseconds limit = std::chrono::milliseconds(5000));

    // Closes the device and waits for its close notification. Must be called
    // by the destructor of the most derived class, while its provider is
    // still whole; later calls do nothing. No OnDeactivate fires.
    void DestroyEngine();
    // Lets go of an open device that did not report its close in time: no
    // further notification is handled and every buffer is freed.
    virtual void AbandonDevice() = 0;
    // While closing at the end of the data, returns the still queued buffers
    // at once instead of letting them play out.
    virtual void FlushClosingDevice() = 0;

    platform::audio::AudioPlatform& Platform() { return platform_; }

    std::atomic<bool> Opening{false};
    std::atomic<bool> Closing{false};
    TWaveFormatEx deviceFormat_{};

private:
    friend class TWaveNotifyThread;
    void Dispatch(WaveMessage message, WaveHeader* header);
    void DispatchOnThread(QObject* receiver, WaveMessage message, WaveHeader* header);
    void FreeRetiredReceivers();

protected:
    // Joins the notification thread of an earlier open before a new one
    // starts; the open calls it before it takes the lock.
    void ReapNotifyThread();

protected:
    // Removes the header from the list and frees it with its own data.
    void FreeHeader(WaveHeader*& header);

private:
    int dispatchDepth_ = 0;
    std::vector<std::unique_ptr<platform::audio::WaveNotifyReceiver>> retiredReceivers_;

    platform::audio::AudioPlatform& platform_;
    bool async_ = false;
    int32_t deviceId_ = -1;
    uint32_t lastError_ = 0;
    uint16_t bufferLength_ = 1000;
    uint16_t bufferCount_ = 2;
    std::vector<WaveHeader*> headers_;
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
    std::unique_ptr<TWaveNotifyThread> thread_;
    std::vector<std::unique_ptr<TWaveNotifyThread>> retiredThreads_;
    bool destroying_ = false;
};

} // namespace tavora::audio
