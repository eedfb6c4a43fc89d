#pragma once

// The typed registry operations through which every setting is read and
// written, on the registry the caller passes.

#include "platform/settings/Registry.h"

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tavora {

// The alternatives of RegistryValue, in the same order.
enum class ValueKind { Int8, Int16, Int32, UInt8, UInt16, Boolean, String, Double };

using RegistryValue = std::variant<std::int8_t, std::int16_t, std::int32_t, std::uint8_t, std::uint16_t,
                                    bool, std::string, double>;

// A refused write. The message names the first value that was not stored;
// the fields say where and why, for a message in words, and what was stored.
class RegistryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;

    // Where the registry keeps the key (a file's path) and why it refused,
    // in the system's words; empty when not known.
    std::string location;
    std::string reason;
    // The values of the refused writes that were stored and those that were
    // not, in the order they were written.
    std::vector<std::string> stored;
    std::vector<std::string> notStored;
};

// Opens (creating when missing) the key under HKEY_CURRENT_USER when
// `currentUser` is set, else under HKEY_LOCAL_MACHINE, and reads the value as
// the kind asks. Never fails: a key that cannot be opened, a missing value, a
// value of another registry type or a refused read give -1 (integers and
// doubles), false or an empty string.
//
// Integers must be REG_DWORD; the narrower kinds take its low bits, which
// gives back what writeRegistryValue stored. Booleans are true when non-zero.
// Strings come from REG_SZ or REG_EXPAND_SZ (not expanded), cut at the first
// zero byte. Doubles come only from an 8-byte REG_BINARY.
RegistryValue readRegistryValue(Registry& registry, std::string_view keyPath, std::string_view valueName,
                                ValueKind kind, bool currentUser);

// Reads of one key opened (or created) once, as readRegistryValue reads: the
// reads see one state of the key, a settings file read once, never some
// values of one save and others of the next.
class RegistryReader {
public:
    RegistryReader(Registry& registry, std::string_view keyPath, bool currentUser);

    RegistryValue read(std::string_view valueName, ValueKind kind) const;

private:
    std::unique_ptr<RegKey> key_; // null: the key could not be opened
};

// Writes the value with the registry type of its kind: every integer as a
// REG_DWORD (signed kinds sign-extended), booleans as REG_DWORD 1 or 0,
// strings as REG_SZ, doubles as their 8 bytes in REG_BINARY. A refusal throws
// RegistryError "Failed to set data for '<value name>'".
void writeRegistryValue(Registry& registry, std::string_view keyPath, std::string_view valueName,
                        const RegistryValue& value, bool currentUser);

// Writes to one key that are stored as one change: write collects them, in
// order, and commit stores them at once, so that neither a reader nor a crash
// ever sees some of them new and others old. Each is written as
// writeRegistryValue writes it. When the registry refuses one, the ones before
// it are stored and it and the later ones are not (a file registry stores all
// of them or none), and commit throws RegistryError "Failed to set data for
// '<its name>'".
class RegistryWriteBatch {
public:
    RegistryWriteBatch(Registry& registry, std::string_view keyPath, bool currentUser);

    void write(std::string_view valueName, const RegistryValue& value);
    // Stores the writes collected so far and starts a new batch.
    void commit();

private:
    Registry& registry_;
    std::string keyPath_;
    bool currentUser_;
    std::vector<RegNamedValue> values_;
};

} // namespace tavora
