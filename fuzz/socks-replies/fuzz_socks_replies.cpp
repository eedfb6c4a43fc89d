// Input: mode, host length, user name length, then the proxy's reply stream.
// Modes: 0 SOCKS 4, 1 SOCKS 4A, 2 SOCKS 5 without and 3 with authentication.
// Besides the sanitizers, a success must have read exactly the replies the
// protocol prescribes, and each must have said yes.

#include "net/SocksExceptions.h"
#include "net/SocksProtocol.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

using namespace tavora;

namespace {

class ByteChannel : public SocksChannel {
public:
    ByteChannel(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    void send(std::span<const std::uint8_t> data) override {
        if (data.empty())
            __builtin_trap();
        sent_ += data.size();
    }

    bool receive(std::span<std::uint8_t> buffer) override {
        if (size_ - used_ < buffer.size()) {
            used_ = size_;
            return false;
        }
        if (!buffer.empty())
            std::memcpy(buffer.data(), data_ + used_, buffer.size());
        used_ += buffer.size();
        return true;
    }

    std::size_t used() const { return used_; }
    const std::uint8_t* data() const { return data_; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t used_ = 0;
    std::size_t sent_ = 0;
};

void require(bool condition) {
    if (!condition)
        __builtin_trap();
}

void checkSocks5Success(const ByteChannel& channel, bool login) {
    const std::uint8_t* reply = channel.data();
    require(reply[1] == (login ? 2 : 0));
    std::size_t at = 2;
    if (login) {
        require(reply[at + 1] == 0);
        at += 2;
    }
    require(reply[at + 1] == 0);
    const std::uint8_t type = reply[at + 3];
    const std::size_t length = type == 1 ? 10 : type == 3 ? 7 + std::size_t{reply[at + 4]} : 22;
    require(type == 1 || type == 3 || type == 4);
    require(channel.used() == at + length);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3)
        return 0;
    const int mode = data[0] % 4;
    const std::string host(static_cast<std::size_t>(data[1]) + (data[0] & 0x80 ? 1 : 0), 'h');
    const std::string user(static_cast<std::size_t>(data[2]) + (data[0] & 0x40 ? 1 : 0), 'u');
    ByteChannel channel(data + 3, size - 3);
    try {
        switch (mode) {
        case 0:
        case 1: {
            const Bytes request = socks::buildSocks4Request(
                9910, mode == 1 ? socks::Socks4AMarker : IPv4Bytes{127, 0, 0, 1}, user,
                mode == 1 ? std::optional<std::string_view>(host) : std::nullopt);
            socks::exchangeSocks4(channel, request);
            require(channel.used() == 8 && channel.data()[1] == 90);
            break;
        }
        default: {
            const bool login = mode == 3;
            socks::exchangeSocks5(channel,
                                  {login ? UsernamePassword : NoAuthentication, user, "pw", host, 9910});
            require(host.size() <= 255 && (!login || user.size() <= 255));
            checkSocks5Success(channel, login);
            break;
        }
        }
    } catch (const NetException&) {
        // Every refusal is an exception of the network family; nothing else may escape.
    }
    return 0;
}
