#include "platform/settings/Registry.h"

#include <algorithm>

TRegValue TRegValue::Dword(std::uint32_t value) {
    return {REG_DWORD,
            {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
             static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)}};
}

std::optional<std::uint32_t> TRegValue::AsDword() const {
    if (Type != REG_DWORD || Data.size() != 4)
        return std::nullopt;
    return Data[0] | Data[1] << 8 | Data[2] << 16 | static_cast<std::uint32_t>(Data[3]) << 24;
}

TRegValue TRegValue::Text(std::string_view text, std::uint32_t type) {
    return {type, std::vector<std::uint8_t>(text.begin(), text.end())};
}

TRegValue TRegValue::Binary(std::vector<std::uint8_t> bytes) {
    return {REG_BINARY, std::move(bytes)};
}

std::size_t TRegKey::SetValues(std::span<const TRegNamedValue> values) {
    std::size_t stored = 0;
    while (stored < values.size() && SetValue(values[stored].Name, values[stored].Value))
        ++stored;
    return stored;
}

std::string TRegistry::Location(TRegRoot) const {
    return {};
}

std::string TRegistry::LastError() const {
    return {};
}

std::string_view RegRootName(TRegRoot root) {
    return root == TRegRoot::CurrentUser ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE";
}

std::string RegKeyFullName(TRegRoot root, std::string_view path) {
    std::string name(RegRootName(root));
    if (!path.empty()) {
        name += '\\';
        name += path;
    }
    return name;
}

bool IsValidRegKeyPath(std::string_view path) {
    if (path.empty())
        return true;
    if (path.front() == '\\' || path.back() == '\\' || path.find("\\\\") != std::string_view::npos)
        return false;
    return std::none_of(path.begin(), path.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b < 0x20 || b == 0x7f;
    });
}

bool RegNamesEqual(std::string_view a, std::string_view b) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}
