#pragma once

// What the platform tests hand to a wave device: a notification target that
// keeps every notification in arrival order, and buffers with storage of
// their own.

#include "platform/audio/WaveNotify.h"
#include "platform/audio/WaveTypes.h"

#include <QObject>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace tavora::test {

struct Notification {
    platform::audio::WaveMessage message;
    platform::audio::WaveHeader* header;
};

class Recorder {
public:
    Recorder() : receiver_([this](platform::audio::WaveMessage m, platform::audio::WaveHeader* h) {
                     log.push_back({m, h});
                 }) {}
    QObject* target() { return &receiver_; }
    // Handles the notifications posted so far.
    void pump() { receiver_.dispatchPending(); }
    int count(platform::audio::WaveMessage m, const platform::audio::WaveHeader* h = nullptr) const {
        return static_cast<int>(std::count_if(log.begin(), log.end(), [&](const Notification& n) {
            return n.message == m && (!h || n.header == h);
        }));
    }
    std::vector<Notification> log;

private:
    platform::audio::WaveNotifyReceiver receiver_;
};

struct Buffer {
    explicit Buffer(std::vector<std::uint8_t> bytes) : data(std::move(bytes)) {
        header.data = data.data();
        header.bufferLength = static_cast<std::uint32_t>(data.size());
    }
    explicit Buffer(std::size_t size, std::uint8_t fill = 0) : Buffer(std::vector<std::uint8_t>(size, fill)) {}
    std::vector<std::uint8_t> data;
    platform::audio::WaveHeader header;
};

} // namespace tavora::test
