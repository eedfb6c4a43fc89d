#include "settings/RegistryValues.h"

#include "platform/settings/RegFileStore.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <optional>
#include <utility>

namespace {

std::mutex RegistryMutex;
std::shared_ptr<TRegistry> CurrentRegistry;

TRegRoot RootFor(bool currentUser) {
    return currentUser ? TRegRoot::CurrentUser : TRegRoot::LocalMachine;
}

// What a read answers when the value is missing or unreadable.
TRegistryValue Fallback(ValueKind kind) {
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

std::optional<TRegistryValue> Decode(ValueKind kind, const TRegValue& raw) {
    const auto& d = raw.Data;
    if (kind == ValueKind::String) {
        if (raw.Type != REG_SZ && raw.Type != REG_EXPAND_SZ)
            return std::nullopt;
        const auto end = std::find(d.begin(), d.end(), std::uint8_t{0});
        return std::string(d.begin(), end);
    }
    if (kind == ValueKind::Double) {
        if (raw.Type != REG_BINARY || d.size() != sizeof(double))
            return std::nullopt;
        double value;
        std::memcpy(&value, d.data(), sizeof value);
        return value;
    }
    const std::optional<std::uint32_t> dword = raw.AsDword();
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

TRegValue Encode(const TRegistryValue& value) {
    return std::visit(
        [](const auto& v) -> TRegValue {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::string>) {
                return TRegValue::Text(v);
            } else if constexpr (std::is_same_v<T, double>) {
                std::vector<std::uint8_t> bytes(sizeof v);
                std::memcpy(bytes.data(), &v, sizeof v);
                return TRegValue::Binary(std::move(bytes));
            } else if constexpr (std::is_same_v<T, bool>) {
                return TRegValue::Dword(v ? 1 : 0);
            } else {
                // Converting through int32_t sign-extends the signed kinds.
                return TRegValue::Dword(static_cast<std::uint32_t>(static_cast<std::int32_t>(v)));
            }
        },
        value);
}

} // namespace

void SetSettingsRegistry(std::shared_ptr<TRegistry> registry) {
    const std::lock_guard lock(RegistryMutex);
    CurrentRegistry = std::move(registry);
}

std::shared_ptr<TRegistry> SettingsRegistry() {
    const std::lock_guard lock(RegistryMutex);
    if (!CurrentRegistry)
        CurrentRegistry = std::make_shared<TRegFileStore>(TRegFileStore::DefaultPaths());
    return CurrentRegistry;
}

TRegistryValue ReadRegistryValue(std::string_view keyPath, std::string_view valueName, ValueKind kind,
                                 bool currentUser) {
    try {
        const auto key = SettingsRegistry()->CreateKey(RootFor(currentUser), keyPath);
        TRegValue raw;
        if (!key || key->QueryValue(valueName, raw) != TRegStatus::Ok)
            return Fallback(kind);
        return Decode(kind, raw).value_or(Fallback(kind));
    } catch (const std::exception&) {
        // A read never fails; not even when the store runs out of memory.
        return Fallback(kind);
    }
}

void WriteRegistryValue(std::string_view keyPath, std::string_view valueName, const TRegistryValue& value,
                        bool currentUser) {
    TRegistryWriteBatch batch(keyPath, currentUser);
    batch.Write(valueName, value);
    batch.Commit();
}

TRegistryWriteBatch::TRegistryWriteBatch(std::string_view keyPath, bool currentUser)
    : m_keyPath(keyPath), m_currentUser(currentUser) {}

void TRegistryWriteBatch::Write(std::string_view valueName, const TRegistryValue& value) {
    m_values.push_back({std::string(valueName), Encode(value)});
}

void TRegistryWriteBatch::Commit() {
    const std::vector<TRegNamedValue> values = std::exchange(m_values, {});
    if (values.empty())
        return;
    const std::shared_ptr<TRegistry> registry = SettingsRegistry();
    const TRegRoot root = RootFor(m_currentUser);
    const auto key = registry->CreateKey(root, m_keyPath);
    const std::size_t stored = key ? key->SetValues(values) : 0;
    if (stored >= values.size())
        return;
    ERegistryError error("Failed to set data for '" + values[stored].Name + "'");
    error.Location = registry->Location(root);
    error.Reason = registry->LastError();
    for (std::size_t i = 0; i < values.size(); ++i)
        (i < stored ? error.Stored : error.NotStored).push_back(values[i].Name);
    throw error;
}
