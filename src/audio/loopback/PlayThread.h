#pragma once

// The relay of the microphone loop: the capture handler (on the window's
// thread) leaves each recorded block in a one-slot hand-off, and the relay
// thread takes it from there and plays it, so that the window's thread never
// calls the playback stream's Play.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace tavora::audio {

class PlaybackStream;

// The hand-off slot with its lock and its wake-up. It outlives every run:
// its owner creates it once.
struct LoopHandOff {
    // Guards pendingBlock and the terminate requests of the relay threads.
    std::mutex bufferLock;
    // Signalled when a block is left in the slot or a relay thread is asked
    // to end. A relay thread waits for the state, not for the signal, so a
    // signal given while it was busy playing is not lost.
    std::condition_variable dataReady;
    // The newest block not yet taken; a block still waiting is replaced by
    // the next one, which keeps the delay at one block.
    std::optional<std::vector<std::uint8_t>> pendingBlock;

    // Copies `size` bytes into the slot and wakes the relay thread.
    void put(const std::uint8_t* data, std::size_t size);
    // Empties the slot.
    void clear();
};

class PlayThread {
public:
    // Longest wait for a block before the terminate request is looked at
    // again (a request also ends the wait at once).
    static constexpr std::chrono::milliseconds WaitTimeout{2000};

    PlayThread(LoopHandOff& handOff, PlaybackStream& playback, bool createSuspended);
    // Asks the thread to end and waits for it.
    ~PlayThread();
    PlayThread(const PlayThread&) = delete;
    PlayThread& operator=(const PlayThread&) = delete;

    // Starts a thread created suspended; does nothing otherwise.
    void resume();
    // Asks the thread to end; it ends after the block it may be playing.
    void terminate();
    bool terminated() const;
    // Waits until the thread has ended (at once when it never started).
    void waitFor();
    // Whether execute has returned (after a request, or after Play raised).
    bool finished() const;

    // Blocks handed to the playback stream so far.
    std::uint64_t relayedBlocks() const;

private:
    void execute();

    LoopHandOff& handOff_;
    PlaybackStream& playback_;
    // The block being relayed, copied out of the slot so that the lock is
    // not held while it plays.
    std::vector<std::uint8_t> stream_;
    std::uint32_t size_ = 0;
    bool terminated_ = false; // guarded by handOff_.bufferLock
    std::atomic<std::uint64_t> relayed_ = 0;
    std::atomic<bool> finished_ = false;
    std::thread thread_;
};

} // namespace tavora::audio
