#pragma once

// A small registry: two roots, backslash-separated key paths and, in each key,
// named values that carry a type number and raw bytes. Key paths and value
// names compare without regard to ASCII case, as the registry does; the
// spelling under which a key or value was first created is kept.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tavora {

enum class RegRoot { CurrentUser, LocalMachine };

// The registry's type numbers. A value may carry any other number as well; it
// is kept and written back unchanged.
enum RegType : std::uint32_t {
    REG_NONE = 0,
    REG_SZ = 1,        // 8-bit text, no terminating zero in Data
    REG_EXPAND_SZ = 2, // 8-bit text as stored; never expanded here
    REG_BINARY = 3,
    REG_DWORD = 4, // 4 bytes, little-endian
};

struct RegValue {
    std::uint32_t type = REG_NONE;
    std::vector<std::uint8_t> data;

    static RegValue dword(std::uint32_t value);
    // The number of a REG_DWORD of four bytes (little-endian); none otherwise.
    std::optional<std::uint32_t> asDword() const;
    static RegValue text(std::string_view text, std::uint32_t type = REG_SZ);
    static RegValue binary(std::vector<std::uint8_t> bytes);

    bool operator==(const RegValue&) const = default;
};

// A value with its name (empty: the key's default value).
struct RegNamedValue {
    std::string name;
    RegValue value;
    bool operator==(const RegNamedValue&) const = default;
};

enum class RegStatus { Ok, NotFound, Failed };

// An open key. Destroying it closes it; nothing is held open between uses.
class RegKey {
public:
    virtual ~RegKey() = default;
    // Ok fills `value`; NotFound when the key has no such value; Failed when
    // the store refuses the read.
    virtual RegStatus queryValue(std::string_view name, RegValue& value) = 0;
    // Creates or replaces the value. False when the store refuses the write.
    virtual bool setValue(std::string_view name, const RegValue& value) = 0;
    // Creates or replaces the values in order, stopping at the first one the
    // store refuses; answers how many were stored. A store that can changes
    // them together, so that no reader (and no crash) ever sees some of them
    // new and others old; this default stores them one by one.
    virtual std::size_t setValues(std::span<const RegNamedValue> values);
};

class Registry {
public:
    virtual ~Registry() = default;
    // Opens the key, creating it (and nothing else) when it does not exist yet.
    // Null when the key can neither be opened nor created.
    virtual std::unique_ptr<RegKey> createKey(RegRoot root, std::string_view path) = 0;

    // Where the root's keys are kept, for messages (a file's path); empty
    // when nowhere a person could look.
    virtual std::string location(RegRoot root) const;
    // Why the last open or write that this registry refused failed, in the
    // system's words; empty when it gave no reason.
    virtual std::string lastError() const;
};

// "HKEY_CURRENT_USER" or "HKEY_LOCAL_MACHINE".
std::string_view regRootName(RegRoot root);

// The root's name, a backslash and the path: the key's full name as it stands
// in a key header of a registry file.
std::string regKeyFullName(RegRoot root, std::string_view path);

// A key path is empty (the root itself) or names without empty parts, and
// holds no control characters (it has to fit on one line of a registry file).
bool isValidRegKeyPath(std::string_view path);

bool regNamesEqual(std::string_view a, std::string_view b);

} // namespace tavora
