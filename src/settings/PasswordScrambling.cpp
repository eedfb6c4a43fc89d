#include "settings/PasswordScrambling.h"

#include <QCoreApplication>

#include <algorithm>
#include <stdexcept>

namespace tavora {

// Every offset is congruent to -1 ... -31 modulo 256, so the only bytes that
// can scramble to 0 are the control characters 0x01 to 0x1f, which no one
// types into a password: printable and non-ASCII passwords of up to 25 bytes
// are always storable.
constexpr std::array<int, 50> PasswordKeyTable = {
    -13, 241, -29, 230, -5,  247, -22, 226, -9,  252, -17, 235, -2,  244, -27, 229, -11,
    250, -20, 238, -7,  225, -24, 249, -15, 233, -31, 243, -4,  236, -19, 231, -26, 254,
    -8,  240, -14, 228, -30, 246, -3,  237, -21, 253, -10, 232, -25, 242, -6,  239,
};

static_assert(std::all_of(PasswordKeyTable.begin(), PasswordKeyTable.end(), [](int offset) {
    const int zeroFrom = ((-offset) % 256 + 256) % 256; // the byte that scrambles to 0
    return offset > -256 && offset < 256 && zeroFrom >= 0x01 && zeroFrom <= 0x1f;
}));

namespace {

// The offset for byte i (from 1) of a text of `length` bytes.
int offset(std::size_t length, std::size_t i) {
    return PasswordKeyTable[length + i - 1];
}

} // namespace

std::optional<std::string> unstorablePasswordText(std::string_view password) {
    if (password.size() > MaxPasswordLength)
        return QCoreApplication::translate(
                   "Settings", "The proxy password has %1 bytes; at most 25 bytes can be stored (a "
                               "character outside plain ASCII takes two or more).")
            .arg(password.size())
            .toStdString();
    if (std::any_of(password.begin(), password.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x20; }))
        return QCoreApplication::translate("Settings",
                                           "The proxy password contains a control character (such as "
                                           "a tab or a line break), which cannot be stored.")
            .toStdString();
    return std::nullopt;
}

std::string scramblePassword(std::string_view password) {
    const std::size_t length = password.size();
    if (length > MaxPasswordLength)
        throw PasswordNotStorableError(QT_TRANSLATE_NOOP(
            "Settings", "The proxy password is longer than 25 bytes and cannot be stored."));
    std::string scrambled(length, '\0');
    for (std::size_t i = 1; i <= length; ++i) {
        const auto byte = static_cast<unsigned char>(password[i - 1]);
        scrambled[i - 1] = static_cast<char>((byte + offset(length, i)) & 0xff);
        if (scrambled[i - 1] == '\0')
            throw PasswordNotStorableError(QT_TRANSLATE_NOOP(
                "Settings", "The proxy password contains a control character and cannot be stored."));
    }
    return scrambled;
}

std::string unscramblePassword(std::string_view scrambled) {
    const std::size_t length = scrambled.size();
    if (length > MaxPasswordLength)
        throw std::length_error("a scrambled password has at most 25 bytes");
    std::string password(length, '\0');
    for (std::size_t i = 1; i <= length; ++i) {
        const auto byte = static_cast<unsigned char>(scrambled[i - 1]);
        password[i - 1] = static_cast<char>((byte - offset(length, i)) & 0xff);
    }
    return password;
}

} // namespace tavora
