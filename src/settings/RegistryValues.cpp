#include "settings/RegistryValues.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>

namespace tavora {

namespace {

RegRoot rootFor(bool currentUser) {
    return currentUser ? RegRoot::CurrentUser : RegRoot::LocalMachine;
}

// What a read answers when the value is missing or unreadable.
RegistryValue fallback(ValueKind kind) {
    switch (kind) {
    case ValueKind::Int8:
        return std::int8_t{-1};
    case ValueKind::Int16:
        return std::int16_t{-1};
    case ValueKind::Int32:
        return std::int32_t{-1};
    case ValueKind::UInt8:
        return static_cast<std::uint8_t>(-1);
    case ValueKind::UInt16:
        return static_cast<std::uint16_t>(-1);
    case ValueKind::Boolean:
        return false;
    case ValueKind::String:
        return std::string();
    case ValueKind::Double:
        return -1.0;
    }
    return std::int32_t{-1};
}

std::optional<RegistryValue> decode(ValueKind kind, const RegValue& raw) {
    const auto& d = raw.data;
    if (kind == ValueKind::String) {
        if (raw.type != REG_SZ && raw.type != REG_EXPAND_SZ)
            return std::nullopt;
        const auto end = std::find(d.begin(), d.end(), std::uint8_t{0});
        return std::string(d.begin(), end);
    }
    if (kind == ValueKind::Double) {
        if (raw.type != REG_BINARY || d.size() != sizeof(double))
            return std::nullopt;
        double value;
        std::memcpy(&value, d.data(), sizeof value);
        return value;
    }
    const std::optional<std::uint32_t> dword = raw.asDword();
    if (!dword)
        return std::nullopt;
    const std::uint32_t n = *dword;
    switch (kind) {
    case ValueKind::Int8:
        return static_cast<std::int8_t>(n);
    case ValueKind::Int16:
        return static_cast<std::int16_t>(n);
    case ValueKind::UInt8:
        return static_cast<std::uint8_t>(n);
    case ValueKind::UInt16:
        return static_cast<std::uint16_t>(n);
    case ValueKind::Boolean:
        return n != 0;
    default:
        return static_cast<std::int32_t>(n);
    }
}

RegValue encode(const RegistryValue& value) {
    return std::visit(
        [](const auto& v) -> RegValue {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::string>) {
                return RegValue::text(v);
            } else if constexpr (std::is_same_v<T, double>) {
                std::vector<std::uint8_t> bytes(sizeof v);
                std::memcpy(bytes.data(), &v, sizeof v);
                return RegValue::binary(std::move(bytes));
            } else if constexpr (std::is_same_v<T, bool>) {
                return RegValue::dword(v ? 1 : 0);
            } else {
                // Converting through int32_t sign-extends the signed kinds.
                return RegValue::dword(static_cast<std::uint32_t>(static_cast<std::int32_t>(v)));
            }
        },
        value);
}

} // namespace

RegistryValue readRegistryValue(Registry& registry, std::string_view keyPath, std::string_view valueName,
                                ValueKind kind, bool currentUser) {
    return RegistryReader(registry, keyPath, currentUser).read(valueName, kind);
}

// A read never fails; not even when the store runs out of memory.
RegistryReader::RegistryReader(Registry& registry, std::string_view keyPath, bool currentUser) {
    try {
        key_ = registry.createKey(rootFor(currentUser), keyPath);
    } catch (const std::exception&) {
        key_.reset();
    }
}

RegistryValue RegistryReader::read(std::string_view valueName, ValueKind kind) const {
    try {
        RegValue raw;
        if (!key_ || key_->queryValue(valueName, raw) != RegStatus::Ok)
            return fallback(kind);
        return decode(kind, raw).value_or(fallback(kind));
    } catch (const std::exception&) {
        return fallback(kind);
    }
}

void writeRegistryValue(Registry& registry, std::string_view keyPath, std::string_view valueName,
                        const RegistryValue& value, bool currentUser) {
    RegistryWriteBatch batch(registry, keyPath, currentUser);
    batch.write(valueName, value);
    batch.commit();
}

RegistryWriteBatch::RegistryWriteBatch(Registry& registry, std::string_view keyPath, bool currentUser)
    : registry_(registry), keyPath_(keyPath), currentUser_(currentUser) {}

void RegistryWriteBatch::write(std::string_view valueName, const RegistryValue& value) {
    values_.push_back({std::string(valueName), encode(value)});
}

void RegistryWriteBatch::commit() {
    const std::vector<RegNamedValue> values = std::exchange(values_, {});
    if (values.empty())
        return;
    const RegRoot root = rootFor(currentUser_);
    const auto key = registry_.createKey(root, keyPath_);
    const std::size_t stored = key ? key->setValues(values) : 0;
    if (stored >= values.size())
        return;
    RegistryError error("Failed to set data for '" + values[stored].name + "'");
    error.location = registry_.location(root);
    error.reason = registry_.lastError();
    for (std::size_t i = 0; i < values.size(); ++i)
        (i < stored ? error.stored : error.notStored).push_back(values[i].name);
    throw error;
}

} // namespace tavora
