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

namespace {

class TByteChannel : public TSocksChannel {
public:
    TByteChannel(const std::uint8_t* data, std::size_t size) : Data_(data), Size_(size) {}

    void Send(std::span<const std::uint8_t> data) override {
        if (data.empty())
            __builtin_trap();
        Sent_ += data.size();
    }

    bool Receive(std::span<std::uint8_t> buffer) override {
        if (Size_ - Used_ < buffer.size()) {
            Used_ = Size_;
            return false;
        }
        if (!buffer.empty())
            std::memcpy(buffer.data(), Data_ + Used_, buffer.size());
        Used_ += buffer.size();
        return true;
    }

    std::size_t Used() const { return Used_; }
    const std::uint8_t* Data() const { return Data_; }

private:
    const std::uint8_t* Data_;
    std::size_t Size_;
    std::size_t Used_ = 0;
    std::size_t Sent_ = 0;
};

void Require(bool condition) {
    if (!condition)
        __builtin_trap();
}

void CheckSocks5Success(const TByteChannel& channel, bool login) {
    const std::uint8_t* reply = channel.Data();
    Require(reply[1] == (login ? 2 : 0));
    std::size_t at = 2;
    if (login) {
        Require(reply[at + 1] == 0);
        at += 2;
    }
    Require(reply[at + 1] == 0);
    const std::uint8_t type = reply[at + 3];
    const std::size_t length = type == 1 ? 10 : type == 3 ? 7 + std::size_t{reply[at + 4]} : 22;
    Require(type == 1 || type == 3 || type == 4);
    Require(channel.Used() == at + length);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3)
        return 0;
    const int mode = data[0] % 4;
    const std::string host(static_cast<std::size_t>(data[1]) + (data[0] & 0x80 ? 1 : 0), 'h');
    const std::string user(static_cast<std::size_t>(data[2]) + (data[0] & 0x40 ? 1 : 0), 'u');
    TByteChannel channel(data + 3, size - 3);
    try {
        switch (mode) {
        case 0:
        case 1: {
            const TBytes request = socks::BuildSocks4Request(
                9910, mode == 1 ? socks::kSocks4AMarker : TIPv4Bytes{127, 0, 0, 1}, user,
                mode == 1 ? std::optional<std::string_view>(host) : std::nullopt);
            socks::ExchangeSocks4(channel, request);
            Require(channel.Used() == 8 && channel.Data()[1] == 90);
            break;
        }
        default: {
            const bool login = mode == 3;
            socks::ExchangeSocks5(channel,
                                  {login ? saUsernamePassword : saNoAuthentication, user, "pw", host, 9910});
            Require(host.size() <= 255 && (!login || user.size() <= 255));
            CheckSocks5Success(channel, login);
            break;
        }
        }
    } catch (const ENetException&) {
        // Every refusal is an exception of the network family; nothing else may escape.
    }
    return 0;
}
