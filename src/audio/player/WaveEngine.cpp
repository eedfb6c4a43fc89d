#include "audio/player/WaveEngine.h"

#include "audio/player/PlayerLog.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QMetaObject>

#include <algorithm>
#include <cstdlib>
#include <thread>

namespace tavora::audio {

namespace mm = platform::audio;

// ---------------------------------------------------------------------------
// WaveNotifyThread

WaveNotifyThread::WaveNotifyThread(WaveEngine& engine) : engine_(engine) {}

WaveNotifyThread::~WaveNotifyThread() {
    if (!thread_.joinable())
        return;
    quit();
    thread_.join();
}

QObject* WaveNotifyThread::start() {
    thread_ = std::thread([this] { run(); });
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return receiver_ != nullptr || finished_; });
    return receiver_;
}

void WaveNotifyThread::quit() {
    std::lock_guard lock(mutex_);
    // Posted behind the notifications already waiting, like a quit message.
    if (receiver_)
        QMetaObject::invokeMethod(
            receiver_, [this] { loop_->quit(); }, Qt::QueuedConnection);
}

bool WaveNotifyThread::waitFinished(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [this] { return finished_; });
}

void WaveNotifyThread::run() {
    {
        // The receiver lives on this thread, so Qt hands it the device's
        // notifications here.
        QEventLoop loop;
        mm::WaveNotifyReceiver receiver;
        receiver.setHandler([this, &receiver](mm::WaveMessage message, mm::WaveHeader* header) {
            engine_.dispatchOnThread(&receiver, message, header);
        });
        {
            std::lock_guard lock(mutex_);
            receiver_ = &receiver;
            loop_ = &loop;
        }
        changed_.notify_all();
        loop.exec();
        std::lock_guard lock(mutex_);
        receiver_ = nullptr;
        loop_ = nullptr;
    }
    {
        std::lock_guard lock(mutex_);
        finished_ = true;
    }
    changed_.notify_all();
}

// ---------------------------------------------------------------------------
// WaveEngine

WaveEngine::WaveEngine(mm::AudioPlatform& platform) : platform_(platform) {}

WaveEngine::~WaveEngine() {
    // The most derived destructor has closed the device (destroyEngine); here
    // only what is left of the notifier goes.
    thread_.reset();
    retiredThreads_.clear();
    receiver_.reset();
    retiredReceivers_.clear();
    for (const auto& header : headers_)
        if (header->user == reinterpret_cast<uintptr_t>(this))
            std::free(header->data);
}

void WaveEngine::setActive(bool value) {
    if (value == getActive())
        return;
    if (value)
        internalOpen();
    else
        internalClose();
}

void WaveEngine::setPaused(bool value) {
    if (value == getPaused())
        return;
    if (value)
        internalPause();
    else
        internalResume();
}

void WaveEngine::setDeviceID(int32_t value) {
    if (value == deviceId_)
        return;
    if (active())
        throw WaveInvalidOperationError("DeviceID cannot be changed while device is open");
    if (checkResult(validateDeviceID(value)))
        deviceId_ = value;
}

void WaveEngine::setAsync(bool value) {
    if (!active())
        async_ = value;
}

bool WaveEngine::isPCMFormatSupported(uint8_t code) {
    WaveFormatEx format{};
    return makePCMFormat(code, format) && isFormatSupported(format);
}

bool WaveEngine::getActive() {
    return notifier_.load() != nullptr;
}

void WaveEngine::waveInOpened() {
    deviceOpened();
}
void WaveEngine::waveInClosed() {
    deviceClosed();
}
void WaveEngine::waveInData(WaveHeader*) {}
void WaveEngine::waveOutOpened() {
    deviceOpened();
}
void WaveEngine::waveOutClosed() {
    deviceClosed();
}
void WaveEngine::waveOutDone(WaveHeader*) {}

bool WaveEngine::checkResult(MmResult code) {
    lastError_ = code;
    if (code == mm::MMSYSERR_NOERROR)
        return true;
    notifyError();
    return false;
}

void WaveEngine::notifyError() {
    if (onError) {
        onError(this);
        return;
    }
    throw WaveSysError(getErrorText(lastError_));
}

void WaveEngine::notifyActivate() {
    if (onActivate)
        onActivate(this);
}

void WaveEngine::notifyDeactivate() {
    if (onDeactivate && !destroying_)
        onDeactivate(this);
}

void WaveEngine::notifyPause() {
    if (onPause)
        onPause(this);
}

void WaveEngine::notifyResume() {
    if (onResume)
        onResume(this);
}

void WaveEngine::notifyLevel(const void* data, uint32_t count) {
    if (onLevel && !destroying_ && deviceFormat_.wFormatTag == WAVE_FORMAT_PCM)
        onLevel(this, peakLevel(data, count, deviceFormat_.wBitsPerSample));
}

void WaveEngine::notifyBufferData(const void* data, uint32_t count) {
    if (onBufferData && !destroying_)
        onBufferData(this, data, count);
}

void WaveEngine::deviceOpened() {
    opening_ = false;
    startFeeding();
    notifyActivate();
}

void WaveEngine::deviceClosed() {
    notifyLevel(nullptr, 0);
    closing_ = false;
    releaseNotifier();
    releaseAllBuffers();
    notifyDeactivate();
}

bool WaveEngine::reallocHeader(WaveHeader*& header, uint32_t size, uint8_t* external) {
    const auto self = reinterpret_cast<uintptr_t>(this);
    if (size == 0) {
        freeHeader(header);
        return true;
    }
    if (header == nullptr) {
        try {
            header = headers_.emplace_back(std::make_unique<WaveHeader>()).get();
        } catch (const std::bad_alloc&) {
            header = nullptr;
            checkResult(mm::MMSYSERR_NOMEM);
            return false;
        }
    }
    if (header->user != self) {
        header->data = nullptr;
        header->bufferLength = 0;
    }
    uint8_t* data = nullptr;
    if (external == nullptr) {
        data = header->data;
        if (header->bufferLength != size) {
            auto* block = static_cast<uint8_t*>(std::realloc(data, size));
            if (block == nullptr) {
                freeHeader(header);
                checkResult(mm::MMSYSERR_NOMEM);
                return false;
            }
            data = block;
        }
    } else {
        if (header->user == self)
            std::free(header->data);
        data = external;
    }
    *header = WaveHeader{};
    if (external == nullptr)
        header->user = self;
    header->data = data;
    header->bufferLength = size;
    return true;
}

void WaveEngine::freeHeader(WaveHeader*& header) {
    if (header == nullptr)
        return;
    if (header->user == reinterpret_cast<uintptr_t>(this))
        std::free(header->data);
    const auto it = std::find_if(headers_.begin(), headers_.end(),
                                 [header](const auto& owned) { return owned.get() == header; });
    if (it != headers_.end())
        headers_.erase(it); // the header goes with its owner
    header = nullptr;
}

void WaveEngine::releaseAllBuffers() {
    while (!headers_.empty()) {
        WaveHeader* header = headers_.back().get();
        freeHeader(header);
    }
}

QObject* WaveEngine::createNotifier() {
    freeRetiredReceivers();
    QObject* notifier = nullptr;
    if (async_) {
        // Devices convert for the thread notifier too, so that a format the
        // query accepted through the codecs also opens.
        notifierKind_ = mm::CALLBACK_THREAD | mm::WAVE_MAPPED;
        thread_ = std::make_unique<WaveNotifyThread>(*this);
        notifier = thread_->start();
    } else {
        notifierKind_ = mm::CALLBACK_WINDOW | mm::WAVE_MAPPED;
        auto receiver = std::make_unique<mm::WaveNotifyReceiver>();
        mm::WaveNotifyReceiver* self = receiver.get();
        // A released receiver ignores what is still posted to it.
        receiver->setHandler([this, self](mm::WaveMessage message, mm::WaveHeader* header) {
            if (receiver_.get() == self)
                dispatch(message, header);
        });
        receiver_ = std::move(receiver);
        notifier = receiver_.get();
    }
    notifier_ = notifier;
    return notifier;
}

void WaveEngine::releaseNotifier() {
    if (notifier_.load() == nullptr)
        return;
    if (thread_)
        thread_->quit();
    if (receiver_)
        retiredReceivers_.push_back(std::move(receiver_));
    notifier_ = nullptr;
}

void WaveEngine::freeRetiredReceivers() {
    std::lock_guard guard(lock_);
    if (dispatchDepth_ == 0)
        retiredReceivers_.clear();
}

void WaveEngine::reapNotifyThread() {
    if (!thread_)
        return;
    if (thread_->isCurrent()) {
        retiredThreads_.push_back(std::move(thread_));
        return;
    }
    thread_.reset(); // ends after what is posted to it, then joins
}

void WaveEngine::postNotification(WaveMessage message, WaveHeader* header) {
    if (QObject* notifier = notifier_.load())
        QCoreApplication::postEvent(notifier, new mm::WaveNotifyEvent(message, header));
}

void WaveEngine::dispatch(WaveMessage message, WaveHeader* header) {
    std::lock_guard guard(lock_);
    ++dispatchDepth_;
    struct Depth {
        int& depth;
        ~Depth() { --depth; }
    } depth{dispatchDepth_};
    switch (message) {
    case WaveMessage::WomOpen:
        waveOutOpened();
        break;
    case WaveMessage::WomClose:
        waveOutClosed();
        break;
    case WaveMessage::WomDone:
        waveOutDone(header);
        break;
    case WaveMessage::WimOpen:
        waveInOpened();
        break;
    case WaveMessage::WimClose:
        waveInClosed();
        break;
    case WaveMessage::WimData:
        waveInData(header);
        break;
    }
}

void WaveEngine::dispatchOnThread(QObject* receiver, WaveMessage message, WaveHeader* header) {
    try {
        std::lock_guard guard(lock_);
        // A released notifier ignores what is still posted to it.
        if (notifier_.load() != receiver)
            return;
        dispatch(message, header);
    } catch (...) {
        // The application's handler for unhandled exceptions lives on the
        // user-interface thread: rethrow it there.
        auto* app = QCoreApplication::instance();
        if (app == nullptr) {
            qCCritical(lcPlayer) << "unhandled error in a wave notification";
            return;
        }
        QMetaObject::invokeMethod(
            app, [error = std::current_exception()] { std::rethrow_exception(error); }, Qt::QueuedConnection);
    }
}

void WaveEngine::waitWhileOpening() {
    if (thread_) {
        // Another thread is opening; keep this thread's own events moving.
        while (opening_) {
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return;
    }
    // The open notification is handled here; nothing pending means the open
    // is further up this very thread's stack, so waiting would never end.
    while (opening_ && notifier_.load() != nullptr && receiver_) {
        if (receiver_->dispatchPending() == 0)
            break;
    }
}

bool WaveEngine::waitForNotifier(std::chrono::milliseconds limit) {
    if (thread_) {
        if (!thread_->waitFinished(limit))
            return false;
        thread_.reset();
        return true;
    }
    // Only this engine's notifications are handled meanwhile: other events of
    // the thread could reach objects that are being destroyed.
    const QDeadlineTimer deadline(limit.count());
    while (notifier_.load() != nullptr && receiver_) {
        if (receiver_->dispatchPending() > 0)
            continue;
        if (deadline.hasExpired())
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

void WaveEngine::destroyEngine() {
    if (destroying_)
        return;
    destroying_ = true;
    try {
        setActive(false);
        if (active() && closing_)
            flushClosingDevice();
    } catch (const std::exception& e) {
        qCWarning(lcPlayer) << "closing the wave device on destruction failed:" << e.what();
    }
    if (active() && (!closing_ || !waitForNotifier())) {
        qCWarning(lcPlayer) << "the wave device did not report its close; letting go of it";
        abandonDevice();
    }
    thread_.reset();
    retiredThreads_.clear();
    freeRetiredReceivers();
}

} // namespace tavora::audio
