#include "audio/loopback/PlayThread.h"

#include "audio/loopback/LoopStreamCommon.h"
#include "audio/loopback/PlaybackStream.h"

namespace tavora::audio {

void TLoopHandOff::Put(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> block(data, data + size);
    {
        std::lock_guard<std::mutex> lock(BufferLock);
        PendingBlock = std::move(block);
    }
    DataReady.notify_all();
}

void TLoopHandOff::Clear() {
    std::lock_guard<std::mutex> lock(BufferLock);
    PendingBlock.reset();
}

TPlayThread::TPlayThread(TLoopHandOff& handOff, TPlaybackStream& playback, bool createSuspended)
    : handOff_(handOff), playback_(playback) {
    if (!createSuspended)
        Resume();
}

TPlayThread::~TPlayThread() {
    Terminate();
    WaitFor();
}

void TPlayThread::Resume() {
    if (!thread_.joinable() && !finished_)
        thread_ = std::thread([this] { Execute(); });
}

void TPlayThread::Terminate() {
    {
        std::lock_guard<std::mutex> lock(handOff_.BufferLock);
        terminated_ = true;
    }
    handOff_.DataReady.notify_all();
}

bool TPlayThread::Terminated() const {
    std::lock_guard<std::mutex> lock(handOff_.BufferLock);
    return terminated_;
}

void TPlayThread::WaitFor() {
    if (thread_.joinable())
        thread_.join();
}

bool TPlayThread::Finished() const {
    return finished_;
}

std::uint64_t TPlayThread::RelayedBlocks() const {
    return relayed_;
}

void TPlayThread::Execute() {
    try {
        for (;;) {
            {
                std::unique_lock<std::mutex> lock(handOff_.BufferLock);
                const bool woken = handOff_.DataReady.wait_for(
                    lock, WaitTimeout, [this] { return terminated_ || handOff_.PendingBlock.has_value(); });
                if (terminated_)
                    break;
                if (!woken)
                    continue;
                stream_.assign(handOff_.PendingBlock->begin(), handOff_.PendingBlock->end());
                size_ = static_cast<std::uint32_t>(stream_.size());
                handOff_.PendingBlock.reset();
            }
            playback_.Play(stream_.data(), size_);
            ++relayed_;
        }
    } catch (const std::exception& e) {
        // Nothing more is heard from this run; capture goes on and Stop
        // still ends it.
        qCWarning(lcLoopback) << "relay ended:" << e.what();
    }
    finished_ = true;
}

} // namespace tavora::audio
