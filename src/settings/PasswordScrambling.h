#pragma once

// The stored form of the proxy password. Byte i (from 1) of a password of L
// bytes is stored as (byte + PasswordKeyTable[L + i]) mod 256, so the offset
// depends on both the position and the length; the classroom client, which
// reads the same value, unscrambles it with the same table.

#include "settings/RegistryValues.h"

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tavora {

// Offsets for the indices 1 to 50 (element 0 is index 1).
extern const std::array<int, 50> PasswordKeyTable;

// The table holds offsets for 2 * 25 positions.
inline constexpr std::size_t MaxPasswordLength = 25;

// A password that the stored form cannot hold faithfully: longer than 25 bytes,
// or with a byte that would scramble to 0 and so end the stored text early.
class PasswordNotStorableError : public RegistryError {
public:
    using RegistryError::RegistryError;
};

// Why a password typed in the proxy dialog cannot be stored, in words naming
// the limit (UTF-8, in the window's language); nothing when it can be. The
// rule is simpler than the exact one of scramblePassword, and stricter: at
// most 25 bytes and no control characters at all, wherever they stand.
std::optional<std::string> unstorablePasswordText(std::string_view password);

// Throws PasswordNotStorableError instead of producing a form that would read back
// as another password.
std::string scramblePassword(std::string_view password);

// Throws std::length_error for text longer than MaxPasswordLength bytes.
std::string unscramblePassword(std::string_view scrambled);

} // namespace tavora
