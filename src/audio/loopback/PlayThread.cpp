#include "audio/loopback/PlayThread.h"

#include "audio/loopback/LoopStreamCommon.h"
#include "audio/loopback/PlaybackStream.h"

namespace tavora::audio {

void LoopHandOff::put(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> block(data, data + size);
    {
        std::lock_guard<std::mutex> lock(bufferLock);
        pendingBlock = std::move(block);
    }
    dataReady.notify_all();
}

void LoopHandOff::clear() {
    std::lock_guard<std::mutex> lock(bufferLock);
    pendingBlock.reset();
}

PlayThread::PlayThread(LoopHandOff& handOff, PlaybackStream& playback, bool createSuspended)
    : handOff_(handOff), playback_(playback) {
    if (!createSuspended)
        resume();
}

PlayThread::~PlayThread() {
    terminate();
    waitFor();
}

void PlayThread::resume() {
    if (!thread_.joinable() && !finished_)
        thread_ = std::thread([this] { execute(); });
}

void PlayThread::terminate() {
    {
        std::lock_guard<std::mutex> lock(handOff_.bufferLock);
        terminated_ = true;
    }
    handOff_.dataReady.notify_all();
}

bool PlayThread::terminated() const {
    std::lock_guard<std::mutex> lock(handOff_.bufferLock);
    return terminated_;
}

void PlayThread::waitFor() {
    if (thread_.joinable())
        thread_.join();
}

bool PlayThread::finished() const {
    return finished_;
}

std::uint64_t PlayThread::relayedBlocks() const {
    return relayed_;
}

void PlayThread::execute() {
    try {
        for (;;) {
            {
                std::unique_lock<std::mutex> lock(handOff_.bufferLock);
                const bool woken = handOff_.dataReady.wait_for(
                    lock, WaitTimeout, [this] { return terminated_ || handOff_.pendingBlock.has_value(); });
                if (terminated_)
                    break;
                if (!woken)
                    continue;
                stream_.assign(handOff_.pendingBlock->begin(), handOff_.pendingBlock->end());
                size_ = static_cast<std::uint32_t>(stream_.size());
                handOff_.pendingBlock.reset();
            }
            playback_.play(stream_.data(), size_);
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
