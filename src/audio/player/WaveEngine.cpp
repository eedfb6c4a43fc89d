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
// TWaveNotifyThread

TWaveNotifyThread::TWaveNotifyThread(TWaveEngine& engine) : engine_(engine) {}

TWaveNotifyThread::~TWaveNotifyThread() {
    if (!thread_.joinable())
        return;
    Quit();
    thread_.join();
}

QObject* TWaveNotifyThread::Start() {
    thread_ = std::thread([this] { Run(); });
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return receiver_ != nullptr || finished_; });
    return receiver_;
}

void TWaveNotifyThread::Quit() {
    std::lock_guard lock(mutex_);
    // Posted behind the notifications already waiting, like a quit message.
    if (receiver_)
        QMetaObject::invokeMethod(
            receiver_, [this] { loop_->quit(); }, Qt::QueuedConnection);
}

bool TWaveNotifyThread::WaitFinished(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [this] { return finished_; });
}

void TWaveNotifyThread::Run() {
    {
        // The receiver lives on this thread, so Qt hands it the device's
        // notifications here.
        QEventLoop loop;
        mm::WaveNotifyReceiver receiver;
        receiver.setHandler([this, &receiver](mm::WaveMessage message, mm::WaveHeader* header) {
            engine_.DispatchOnThread(&receiver, message, header);
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
// TWaveEngine

TWaveEngine::TWaveEngine(mm::AudioPlatform& platform) : platform_(platform) {}

TWaveEngine::~TWaveEngine() {
    // The most derived destructor has closed the device (DestroyEngine); here
    // only what is left of the notifier goes.
    thread_.reset();
    retiredThreads_.clear();
    receiver_.reset();
    retiredReceivers_.clear();
    for (auto* header : headers_) {
        if (header->user == reinterpret_cast<uintptr_t>(this))
            std::free(header->data);
        delete header;
    }
}

void TWaveEngine::SetActive(bool value) {
    if (value == GetActive())
        return;
    if (value)
        InternalOpen();
    else
        InternalClose();
}

void TWaveEngine::SetPaused(bool value) {
    if (value == GetPaused())
        return;
    if (value)
        InternalPause();
    else
        InternalResume();
}

void TWaveEngine::SetDeviceID(int32_t value) {
    if (value == deviceId_)
        return;
    if (Active())
        throw EWaveInvalidOperation("DeviceID cannot be changed while device is open");
    if (CheckResult(ValidateDeviceID(value)))
        deviceId_ = value;
}

void TWaveEngine::SetAsync(bool value) {
    if (!Active())
        async_ = value;
}

bool TWaveEngine::IsPCMFormatSupported(uint8_t code) {
    TWaveFormatEx format{};
    return MakePCMFormat(code, format) && IsFormatSupported(format);
}

bool TWaveEngine::GetActive() {
    return notifier_.load() != nullptr;
}

void TWaveEngine::WaveInOpened() {
    DeviceOpened();
}
void TWaveEngine::WaveInClosed() {
    DeviceClosed();
}
void TWaveEngine::WaveInData(WaveHeader*) {}
void TWaveEngine::WaveOutOpened() {
    DeviceOpened();
}
void TWaveEngine::WaveOutClosed() {
    DeviceClosed();
}
void TWaveEngine::WaveOutDone(WaveHeader*) {}

bool TWaveEngine::CheckResult(MmResult code) {
    lastError_ = code;
    if (code == mm::MMSYSERR_NOERROR)
        return true;
    NotifyError();
    return false;
}

void TWaveEngine::NotifyError() {
    if (OnError) {
        OnError(this);
        return;
    }
    throw EWaveSysError(GetErrorText(lastError_));
}

void TWaveEngine::NotifyActivate() {
    if (OnActivate)
        OnActivate(this);
}

void TWaveEngine::NotifyDeactivate() {
    if (OnDeactivate && !destroying_)
        OnDeactivate(this);
}

void TWaveEngine::NotifyPause() {
    if (OnPause)
        OnPause(this);
}

void TWaveEngine::NotifyResume() {
    if (OnResume)
        OnResume(this);
}

void TWaveEngine::NotifyLevel(const void* data, uint32_t count) {
    if (OnLevel && !destroying_ && deviceFormat_.wFormatTag == WAVE_FORMAT_PCM)
        OnLevel(this, PeakLevel(data, count, deviceFormat_.wBitsPerSample));
}

void TWaveEngine::NotifyBufferData(const void* data, uint32_t count) {
    if (OnBufferData && !destroying_)
        OnBufferData(this, data, count);
}

void TWaveEngine::DeviceOpened() {
    Opening = false;
    StartFeeding();
    NotifyActivate();
}

void TWaveEngine::DeviceClosed() {
    NotifyLevel(nullptr, 0);
    Closing = false;
    ReleaseNotifier();
    ReleaseAllBuffers();
    NotifyDeactivate();
}

bool TWaveEngine::ReallocHeader(WaveHeader*& header, uint32_t size, uint8_t* external) {
    const auto self = reinterpret_cast<uintptr_t>(this);
    if (size == 0) {
        FreeHeader(header);
        return true;
    }
    if (header == nullptr) {
        try {
            auto fresh = std::make_unique<WaveHeader>();
            headers_.push_back(fresh.get());
            header = fresh.release();
        } catch (const std::bad_alloc&) {
            header = nullptr;
            CheckResult(mm::MMSYSERR_NOMEM);
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
                FreeHeader(header);
                CheckResult(mm::MMSYSERR_NOMEM);
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

void TWaveEngine::FreeHeader(WaveHeader*& header) {
    if (header == nullptr)
        return;
    const auto it = std::find(headers_.begin(), headers_.end(), header);
    if (it != headers_.end())
        headers_.erase(it);
    if (header->user == reinterpret_cast<uintptr_t>(this))
        std::free(header->data);
    delete header;
    header = nullptr;
}

void TWaveEngine::ReleaseAllBuffers() {
    while (!headers_.empty()) {
        WaveHeader* header = headers_.back();
        FreeHeader(header);
    }
}

QObject* TWaveEngine::CreateNotifier() {
    FreeRetiredReceivers();
    QObject* notifier = nullptr;
    if (async_) {
        // Devices convert for the thread notifier too, so that a format the
        // query accepted through the codecs also opens.
        notifierKind_ = mm::CALLBACK_THREAD | mm::WAVE_MAPPED;
        thread_ = std::make_unique<TWaveNotifyThread>(*this);
        notifier = thread_->Start();
    } else {
        notifierKind_ = mm::CALLBACK_WINDOW | mm::WAVE_MAPPED;
        auto receiver = std::make_unique<mm::WaveNotifyReceiver>();
        mm::WaveNotifyReceiver* self = receiver.get();
        // A released receiver ignores what is still posted to it.
        receiver->setHandler([this, self](mm::WaveMessage message, mm::WaveHeader* header) {
            if (receiver_.get() == self)
                Dispatch(message, header);
        });
        receiver_ = std::move(receiver);
        notifier = receiver_.get();
    }
    notifier_ = notifier;
    return notifier;
}

void TWaveEngine::ReleaseNotifier() {
    if (notifier_.load() == nullptr)
        return;
    if (thread_)
        thread_->Quit();
    if (receiver_)
        retiredReceivers_.push_back(std::move(receiver_));
    notifier_ = nullptr;
}

void TWaveEngine::FreeRetiredReceivers() {
    std::lock_guard guard(lock_);
    if (dispatchDepth_ == 0)
        retiredReceivers_.clear();
}

void TWaveEngine::ReapNotifyThread() {
    if (!thread_)
        return;
    if (thread_->IsCurrent()) {
        retiredThreads_.push_back(std::move(thread_));
        return;
    }
    thread_.reset(); // ends after what is posted to it, then joins
}

void TWaveEngine::PostNotification(WaveMessage message, WaveHeader* header) {
    if (QObject* notifier = notifier_.load())
        QCoreApplication::postEvent(notifier, new mm::WaveNotifyEvent(message, header));
}

void TWaveEngine::Dispatch(WaveMessage message, WaveHeader* header) {
    std::lock_guard guard(lock_);
    ++dispatchDepth_;
    struct TDepth {
        int& depth;
        ~TDepth() { --depth; }
    } depth{dispatchDepth_};
    switch (message) {
    case WaveMessage::WomOpen:
        WaveOutOpened();
        break;
    case WaveMessage::WomClose:
        WaveOutClosed();
        break;
    case WaveMessage::WomDone:
        WaveOutDone(header);
        break;
    case WaveMessage::WimOpen:
        WaveInOpened();
        break;
    case WaveMessage::WimClose:
        WaveInClosed();
        break;
    case WaveMessage::WimData:
        WaveInData(header);
        break;
    }
}

void TWaveEngine::DispatchOnThread(QObject* receiver, WaveMessage message, WaveHeader* header) {
    try {
        std::lock_guard guard(lock_);
        // A released notifier ignores what is still posted to it.
        if (notifier_.load() != receiver)
            return;
        Dispatch(message, header);
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

void TWaveEngine::WaitWhileOpening() {
    if (thread_) {
        // Another thread is opening; keep this thread's own events moving.
        while (Opening) {
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return;
    }
    // The open notification is handled here; nothing pending means the open
    // is further up this very thread's stack, so waiting would never end.
    while (Opening && notifier_.load() != nullptr && receiver_) {
        if (receiver_->dispatchPending() == 0)
            break;
    }
}

bool TWaveEngine::WaitForNotifier(std::chrono::milliseconds limit) {
    if (thread_) {
        if (!thread_->WaitFinished(limit))
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

void TWaveEngine::DestroyEngine() {
    if (destroying_)
        return;
    destroying_ = true;
    try {
        SetActive(false);
        if (Active() && Closing)
            FlushClosingDevice();
    } catch (const std::exception& e) {
        qCWarning(lcPlayer) << "closing the wave device on destruction failed:" << e.what();
    }
    if (Active() && (!Closing || !WaitForNotifier())) {
        qCWarning(lcPlayer) << "the wave device did not report its close; letting go of it";
        AbandonDevice();
    }
    thread_.reset();
    retiredThreads_.clear();
    FreeRetiredReceivers();
}

} // namespace tavora::audio
