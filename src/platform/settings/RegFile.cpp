#include "platform/settings/RegFile.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr std::string_view Header = "Windows Registry Editor Version 5.00";
constexpr std::string_view OldHeader = "REGEDIT4";
// The registry editor wraps hex lists so that no line passes 80 columns.
constexpr std::size_t HexLineWidth = 77;

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view TrimLeft(std::string_view s) {
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    return s;
}

std::string_view TrimRight(std::string_view s) {
    while (!s.empty() && (IsBlank(s.back()) || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

std::string_view Trim(std::string_view s) {
    return TrimLeft(TrimRight(s));
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && RegNamesEqual(s.substr(0, prefix.size()), prefix);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// 1 to 8 hex digits, nothing else.
std::optional<std::uint32_t> ParseHexNumber(std::string_view s) {
    if (s.empty() || s.size() > 8)
        return std::nullopt;
    std::uint32_t n = 0;
    for (char c : s) {
        const int d = HexDigit(c);
        if (d < 0)
            return std::nullopt;
        n = n << 4 | static_cast<std::uint32_t>(d);
    }
    return n;
}

class TLineReader {
public:
    explicit TLineReader(std::string_view text) : Rest(text) {}

    bool Next(std::string_view& line) {
        if (Rest.empty())
            return false;
        const auto end = Rest.find('\n');
        line = TrimRight(Rest.substr(0, end));
        Rest = end == std::string_view::npos ? std::string_view() : Rest.substr(end + 1);
        return true;
    }

private:
    std::string_view Rest;
};

// A quoted string starting at s[pos]; leaves pos after the closing quote.
std::optional<std::string> ParseQuoted(std::string_view s, std::size_t& pos) {
    if (pos >= s.size() || s[pos] != '"')
        return std::nullopt;
    std::string out;
    for (++pos; pos < s.size(); ++pos) {
        const char c = s[pos];
        if (c == '"') {
            ++pos;
            return out;
        }
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++pos >= s.size())
            return std::nullopt;
        const char e = s[pos];
        if (e == '\\' || e == '"') {
            out += e;
        } else if ((e == 'x' || e == 'X') && pos + 2 < s.size() && HexDigit(s[pos + 1]) >= 0 &&
                   HexDigit(s[pos + 2]) >= 0) {
            out += static_cast<char>(HexDigit(s[pos + 1]) << 4 | HexDigit(s[pos + 2]));
            pos += 2;
        } else {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

// Comma-separated bytes, continued on the next lines while a line ends with `\`.
std::optional<std::vector<std::uint8_t>> ParseHexList(std::string_view first, TLineReader& lines) {
    std::string joined;
    std::string_view part = Trim(first);
    while (!part.empty() && part.back() == '\\') {
        joined += part.substr(0, part.size() - 1);
        if (!lines.Next(part))
            return std::nullopt;
        part = Trim(part);
    }
    joined += part;

    std::vector<std::uint8_t> bytes;
    std::string_view rest = joined;
    while (!rest.empty()) {
        const auto comma = rest.find(',');
        const std::string_view token = Trim(rest.substr(0, comma));
        const auto byte = ParseHexNumber(token);
        if (!byte || token.size() > 2)
            return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(*byte));
        if (comma == std::string_view::npos)
            break;
        rest = TrimLeft(rest.substr(comma + 1)); // a trailing comma is tolerated
    }
    return bytes;
}

std::optional<TRegValue> ParseData(std::string_view data, TLineReader& lines) {
    if (!data.empty() && data.front() == '"') {
        std::size_t pos = 0;
        auto text = ParseQuoted(data, pos);
        if (!text || !Trim(data.substr(pos)).empty())
            return std::nullopt;
        return TRegValue::Text(*text);
    }
    if (StartsWithNoCase(data, "dword:")) {
        const auto n = ParseHexNumber(Trim(data.substr(6)));
        if (!n)
            return std::nullopt;
        return TRegValue::Dword(*n);
    }
    if (!StartsWithNoCase(data, "hex"))
        return std::nullopt;
    data.remove_prefix(3);
    std::uint32_t type = REG_BINARY;
    if (!data.empty() && data.front() == '(') {
        const auto close = data.find(')');
        if (close == std::string_view::npos)
            return std::nullopt;
        const auto n = ParseHexNumber(data.substr(1, close - 1));
        if (!n)
            return std::nullopt;
        type = *n;
        data.remove_prefix(close + 1);
    }
    if (data.empty() || data.front() != ':')
        return std::nullopt;
    auto bytes = ParseHexList(data.substr(1), lines);
    if (!bytes)
        return std::nullopt;
    return TRegValue{type, std::move(*bytes)};
}

bool ParseValueLine(std::string_view line, TLineReader& lines, TRegFileKey& key) {
    std::size_t pos = 0;
    std::string name;
    if (line.front() == '@') {
        pos = 1;
    } else {
        auto quoted = ParseQuoted(line, pos);
        if (!quoted)
            return false;
        name = std::move(*quoted);
    }
    std::string_view rest = TrimLeft(line.substr(pos));
    if (rest.empty() || rest.front() != '=')
        return false;
    auto value = ParseData(TrimLeft(rest.substr(1)), lines);
    if (!value)
        return false;
    key.SetValue(name, *value);
    return true;
}

void AppendEscaped(std::string& out, std::string_view text) {
    out += '"';
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '\\' || c == '"') {
            out += '\\';
            out += c;
        } else if (b >= 0x20 && b <= 0x7e) {
            out += c;
        } else {
            char buf[5];
            std::snprintf(buf, sizeof buf, "\\x%02x", b);
            out += buf;
        }
    }
    out += '"';
}

void AppendHexList(std::string& out, const std::vector<std::uint8_t>& bytes, std::size_t column) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0 && column + 3 > HexLineWidth) {
            out += "\\\n  ";
            column = 2;
        }
        char buf[4];
        std::snprintf(buf, sizeof buf, i + 1 < bytes.size() ? "%02x," : "%02x", bytes[i]);
        out += buf;
        column += i + 1 < bytes.size() ? 3 : 2;
    }
}

void AppendValue(std::string& out, const TRegFileValue& v) {
    const std::size_t lineStart = out.size();
    if (v.Name.empty())
        out += '@';
    else
        AppendEscaped(out, v.Name);
    out += '=';
    const auto& data = v.Value.Data;
    if (v.Value.Type == REG_SZ) {
        AppendEscaped(out, std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
    } else if (const std::optional<std::uint32_t> number = v.Value.AsDword()) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "dword:%08x", static_cast<unsigned>(*number));
        out += buf;
    } else {
        char buf[24];
        if (v.Value.Type == REG_BINARY)
            std::snprintf(buf, sizeof buf, "hex:");
        else
            std::snprintf(buf, sizeof buf, "hex(%x):", static_cast<unsigned>(v.Value.Type));
        out += buf;
        AppendHexList(out, data, out.size() - lineStart);
    }
    out += '\n';
}

} // namespace

const TRegValue* TRegFileKey::FindValue(std::string_view name) const {
    const auto it = std::find_if(Values.begin(), Values.end(),
                                 [&](const auto& v) { return RegNamesEqual(v.Name, name); });
    return it == Values.end() ? nullptr : &it->Value;
}

void TRegFileKey::SetValue(std::string_view name, const TRegValue& value) {
    const auto it = std::find_if(Values.begin(), Values.end(),
                                 [&](const auto& v) { return RegNamesEqual(v.Name, name); });
    if (it != Values.end())
        it->Value = value;
    else
        Values.push_back({std::string(name), value});
}

TRegFileKey* TRegFileDocument::FindKey(std::string_view name) {
    const auto it =
        std::find_if(Keys.begin(), Keys.end(), [&](const auto& k) { return RegNamesEqual(k.Name, name); });
    return it == Keys.end() ? nullptr : &*it;
}

const TRegFileKey* TRegFileDocument::FindKey(std::string_view name) const {
    return const_cast<TRegFileDocument*>(this)->FindKey(name);
}

TRegFileKey& TRegFileDocument::ObtainKey(std::string_view name) {
    if (auto* key = FindKey(name))
        return *key;
    Keys.push_back({std::string(name), {}});
    return Keys.back();
}

std::optional<TRegFileDocument> ParseRegFile(std::string_view text) {
    if (text.starts_with("\xef\xbb\xbf"))
        text.remove_prefix(3);
    TLineReader lines(text);
    std::string_view line;
    bool header = false;
    bool comments = false;
    // Blank lines and comments may stand before the header too, as the
    // registry editor accepts them there.
    while (lines.Next(line)) {
        line = TrimLeft(line);
        if (line.empty())
            continue;
        if (line.front() == ';') {
            comments = true;
            continue;
        }
        header = line == Header || line == OldHeader;
        break;
    }
    TRegFileDocument document;
    // All-blank text is nothing stored yet. Comments without a header are not
    // a registry file: reading them as empty would let the first write drop them.
    if (!header)
        return Trim(line).empty() && !comments ? std::optional(document) : std::nullopt;

    TRegFileKey* key = nullptr;
    while (lines.Next(line)) {
        line = TrimLeft(line);
        if (line.empty() || line.front() == ';')
            continue;
        if (line.front() == '[') {
            if (line.back() != ']' || line.size() < 3 || line[1] == '-')
                return std::nullopt;
            key = &document.ObtainKey(line.substr(1, line.size() - 2));
        } else if ((line.front() == '"' || line.front() == '@') && key) {
            if (!ParseValueLine(line, lines, *key))
                return std::nullopt;
        } else {
            return std::nullopt;
        }
    }
    return document;
}

std::string FormatRegFile(const TRegFileDocument& document) {
    std::string out(Header);
    out += '\n';
    for (const auto& key : document.Keys) {
        out += "\n[";
        out += key.Name;
        out += "]\n";
        for (const auto& value : key.Values)
            AppendValue(out, value);
    }
    return out;
}
