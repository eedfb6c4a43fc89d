#include "platform/settings/Registry.h"

#include <algorithm>

namespace tavora {

RegValue RegValue::dword(std::uint32_t value) {
    return {REG_DWORD,
            {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
             static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)}};
}

std::optional<std::uint32_t> RegValue::asDword() const {
    if (type != REG_DWORD || data.size() != 4)
        return std::nullopt;
    return data[0] | data[1] << 8 | data[2] << 16 | static_cast<std::uint32_t>(data[3]) << 24;
}

RegValue RegValue::text(std::string_view text, std::uint32_t type) {
    return {type, std::vector<std::uint8_t>(text.begin(), text.end())};
}

RegValue RegValue::binary(std::vector<std::uint8_t> bytes) {
    return {REG_BINARY, std::move(bytes)};
}

std::size_t RegKey::setValues(std::span<const RegNamedValue> values) {
    std::size_t stored = 0;
    while (stored < values.size() && setValue(values[stored].name, values[stored].value))
        ++stored;
    return stored;
}

std::string Registry::location(RegRoot) const {
    return {};
}

std::string Registry::lastError() const {
    return {};
}

std::string_view regRootName(RegRoot root) {
    return root == RegRoot::CurrentUser ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE";
}

std::string regKeyFullName(RegRoot root, std::string_view path) {
    std::string name(regRootName(root));
    if (!path.empty()) {
        name += '\\';
        name += path;
    }
    return name;
}

bool isValidRegKeyPath(std::string_view path) {
    if (path.empty())
        return true;
    if (path.front() == '\\' || path.back() == '\\' || path.find("\\\\") != std::string_view::npos)
        return false;
    return std::none_of(path.begin(), path.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b < 0x20 || b == 0x7f;
    });
}

bool regNamesEqual(std::string_view a, std::string_view b) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

} // namespace tavora
