#include "platform/settings/RegFile.h"

#include <algorithm>
#include <cstdio>

namespace tavora {

namespace {

constexpr std::string_view Header = "Windows Registry Editor Version 5.00";
constexpr std::string_view OldHeader = "REGEDIT4";
// The registry editor wraps hex lists so that no line passes 80 columns.
constexpr std::size_t HexLineWidth = 77;

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimLeft(std::string_view s) {
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    return s;
}

std::string_view trimRight(std::string_view s) {
    while (!s.empty() && (isBlank(s.back()) || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

std::string_view trim(std::string_view s) {
    return trimLeft(trimRight(s));
}

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && regNamesEqual(s.substr(0, prefix.size()), prefix);
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// 1 to 8 hex digits, nothing else.
std::optional<std::uint32_t> parseHexNumber(std::string_view s) {
    if (s.empty() || s.size() > 8)
        return std::nullopt;
    std::uint32_t n = 0;
    for (char c : s) {
        const int d = hexDigit(c);
        if (d < 0)
            return std::nullopt;
        n = n << 4 | static_cast<std::uint32_t>(d);
    }
    return n;
}

// The length of the well-formed UTF-8 sequence at the start of s (RFC 3629:
// no overlong forms, no surrogates, nothing above U+10FFFF), 0 when there is none.
std::size_t utf8SequenceLength(std::string_view s) {
    if (s.empty())
        return 0;
    const auto lead = static_cast<unsigned char>(s[0]);
    if (lead < 0x80)
        return 1;
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xbf; // the range of the second byte
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        if (lead == 0xe0)
            low = 0xa0;
        else if (lead == 0xed)
            high = 0x9f;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        if (lead == 0xf0)
            low = 0x90;
        else if (lead == 0xf4)
            high = 0x8f;
    } else {
        return 0;
    }
    if (s.size() < length)
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        const auto b = static_cast<unsigned char>(s[i]);
        if (b < (i == 1 ? low : 0x80) || b > (i == 1 ? high : 0xbf))
            return 0;
    }
    return length;
}

void appendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xc0 | code >> 6);
        out += static_cast<char>(0x80 | (code & 0x3f));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xe0 | code >> 12);
        out += static_cast<char>(0x80 | (code >> 6 & 0x3f));
        out += static_cast<char>(0x80 | (code & 0x3f));
    } else {
        out += static_cast<char>(0xf0 | code >> 18);
        out += static_cast<char>(0x80 | (code >> 12 & 0x3f));
        out += static_cast<char>(0x80 | (code >> 6 & 0x3f));
        out += static_cast<char>(0x80 | (code & 0x3f));
    }
}

// UTF-16LE text (after its byte-order mark) as UTF-8. An odd number of bytes
// or a surrogate without its partner is no text: nullopt.
std::optional<std::string> utf16LeToUtf8(std::string_view bytes) {
    if (bytes.size() % 2 != 0)
        return std::nullopt;
    const auto unit = [&](std::size_t i) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                          static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
    };
    const std::size_t units = bytes.size() / 2;
    std::string out;
    out.reserve(units);
    for (std::size_t i = 0; i < units; ++i) {
        std::uint32_t code = unit(i);
        if (code >= 0xdc00 && code <= 0xdfff)
            return std::nullopt;
        if (code >= 0xd800 && code <= 0xdbff) {
            if (i + 1 >= units || unit(i + 1) < 0xdc00 || unit(i + 1) > 0xdfff)
                return std::nullopt;
            code = 0x10000 + ((code - 0xd800) << 10) + (unit(++i) - 0xdc00);
        }
        appendUtf8(out, code);
    }
    return out;
}

class LineReader {
public:
    explicit LineReader(std::string_view text) : rest_(text) {}

    bool next(std::string_view& line) {
        if (rest_.empty())
            return false;
        const auto end = rest_.find('\n');
        line = trimRight(rest_.substr(0, end));
        rest_ = end == std::string_view::npos ? std::string_view() : rest_.substr(end + 1);
        return true;
    }

private:
    std::string_view rest_;
};

// A quoted string starting at s[pos]; leaves pos after the closing quote.
std::optional<std::string> parseQuoted(std::string_view s, std::size_t& pos) {
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
        } else if ((e == 'x' || e == 'X') && pos + 2 < s.size() && hexDigit(s[pos + 1]) >= 0 &&
                   hexDigit(s[pos + 2]) >= 0) {
            out += static_cast<char>(hexDigit(s[pos + 1]) << 4 | hexDigit(s[pos + 2]));
            pos += 2;
        } else {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

// Comma-separated bytes, continued on the next lines while a line ends with `\`.
std::optional<std::vector<std::uint8_t>> parseHexList(std::string_view first, LineReader& lines) {
    std::string joined;
    std::string_view part = trim(first);
    while (!part.empty() && part.back() == '\\') {
        joined += part.substr(0, part.size() - 1);
        if (!lines.next(part))
            return std::nullopt;
        part = trim(part);
    }
    joined += part;

    std::vector<std::uint8_t> bytes;
    std::string_view rest = joined;
    while (!rest.empty()) {
        const auto comma = rest.find(',');
        const std::string_view token = trim(rest.substr(0, comma));
        const auto byte = parseHexNumber(token);
        if (!byte || token.size() > 2)
            return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(*byte));
        if (comma == std::string_view::npos)
            break;
        rest = trimLeft(rest.substr(comma + 1)); // a trailing comma is tolerated
    }
    return bytes;
}

std::optional<RegValue> parseData(std::string_view data, LineReader& lines) {
    if (!data.empty() && data.front() == '"') {
        std::size_t pos = 0;
        auto text = parseQuoted(data, pos);
        if (!text || !trim(data.substr(pos)).empty())
            return std::nullopt;
        return RegValue::text(*text);
    }
    if (startsWithNoCase(data, "dword:")) {
        const auto n = parseHexNumber(trim(data.substr(6)));
        if (!n)
            return std::nullopt;
        return RegValue::dword(*n);
    }
    if (!startsWithNoCase(data, "hex"))
        return std::nullopt;
    data.remove_prefix(3);
    std::uint32_t type = REG_BINARY;
    if (!data.empty() && data.front() == '(') {
        const auto close = data.find(')');
        if (close == std::string_view::npos)
            return std::nullopt;
        const auto n = parseHexNumber(data.substr(1, close - 1));
        if (!n)
            return std::nullopt;
        type = *n;
        data.remove_prefix(close + 1);
    }
    if (data.empty() || data.front() != ':')
        return std::nullopt;
    auto bytes = parseHexList(data.substr(1), lines);
    if (!bytes)
        return std::nullopt;
    return RegValue{type, std::move(*bytes)};
}

bool parseValueLine(std::string_view line, LineReader& lines, RegFileKey& key) {
    std::size_t pos = 0;
    std::string name;
    if (line.front() == '@') {
        pos = 1;
    } else {
        auto quoted = parseQuoted(line, pos);
        if (!quoted)
            return false;
        name = std::move(*quoted);
    }
    std::string_view rest = trimLeft(line.substr(pos));
    if (rest.empty() || rest.front() != '=')
        return false;
    auto value = parseData(trimLeft(rest.substr(1)), lines);
    if (!value)
        return false;
    key.setValue(name, *value);
    return true;
}

void appendEscaped(std::string& out, std::string_view text) {
    out += '"';
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        const auto b = static_cast<unsigned char>(c);
        std::size_t length = 1;
        if (c == '\\' || c == '"') {
            out += '\\';
            out += c;
        } else if (b >= 0x20 && b <= 0x7e) {
            out += c;
        } else if (const std::size_t n = b >= 0x80 ? utf8SequenceLength(text.substr(i)) : 0; n > 0) {
            out += text.substr(i, n);
            length = n;
        } else {
            // Control characters (a line break would end the line) and bytes
            // that are not UTF-8 text.
            char buf[5];
            std::snprintf(buf, sizeof buf, "\\x%02x", b);
            out += buf;
        }
        i += length;
    }
    out += '"';
}

void appendHexList(std::string& out, const std::vector<std::uint8_t>& bytes, std::size_t column) {
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

void appendValue(std::string& out, const RegFileValue& v) {
    const std::size_t lineStart = out.size();
    if (v.name.empty())
        out += '@';
    else
        appendEscaped(out, v.name);
    out += '=';
    const auto& data = v.value.data;
    if (v.value.type == REG_SZ) {
        appendEscaped(out, std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
    } else if (const std::optional<std::uint32_t> number = v.value.asDword()) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "dword:%08x", static_cast<unsigned>(*number));
        out += buf;
    } else {
        char buf[24];
        if (v.value.type == REG_BINARY)
            std::snprintf(buf, sizeof buf, "hex:");
        else
            std::snprintf(buf, sizeof buf, "hex(%x):", static_cast<unsigned>(v.value.type));
        out += buf;
        appendHexList(out, data, out.size() - lineStart);
    }
    out += '\n';
}

} // namespace

const RegValue* RegFileKey::findValue(std::string_view name) const {
    const auto it = std::find_if(values.begin(), values.end(),
                                 [&](const auto& v) { return regNamesEqual(v.name, name); });
    return it == values.end() ? nullptr : &it->value;
}

void RegFileKey::setValue(std::string_view name, const RegValue& value) {
    const auto it = std::find_if(values.begin(), values.end(),
                                 [&](const auto& v) { return regNamesEqual(v.name, name); });
    if (it != values.end())
        it->value = value;
    else
        values.push_back({std::string(name), value});
}

RegFileKey* RegFileDocument::findKey(std::string_view name) {
    const auto it =
        std::find_if(keys.begin(), keys.end(), [&](const auto& k) { return regNamesEqual(k.name, name); });
    return it == keys.end() ? nullptr : &*it;
}

const RegFileKey* RegFileDocument::findKey(std::string_view name) const {
    return const_cast<RegFileDocument*>(this)->findKey(name);
}

RegFileKey& RegFileDocument::obtainKey(std::string_view name) {
    if (auto* key = findKey(name))
        return *key;
    keys.push_back({std::string(name), {}});
    return keys.back();
}

std::optional<RegFileDocument> parseRegFile(std::string_view text) {
    // The registry editor exports UTF-16LE with a byte-order mark; its text
    // is read as the UTF-8 it stands for.
    std::string fromUtf16;
    if (text.starts_with("\xff\xfe")) {
        auto converted = utf16LeToUtf8(text.substr(2));
        if (!converted)
            return std::nullopt;
        fromUtf16 = std::move(*converted);
        text = fromUtf16;
    }
    if (text.starts_with("\xef\xbb\xbf"))
        text.remove_prefix(3);
    LineReader lines(text);
    std::string_view line;
    bool header = false;
    bool comments = false;
    // Blank lines and comments may stand before the header too, as the
    // registry editor accepts them there.
    while (lines.next(line)) {
        line = trimLeft(line);
        if (line.empty())
            continue;
        if (line.front() == ';') {
            comments = true;
            continue;
        }
        header = line == Header || line == OldHeader;
        break;
    }
    RegFileDocument document;
    // All-blank text is nothing stored yet. Comments without a header are not
    // a registry file: reading them as empty would let the first write drop them.
    if (!header)
        return trim(line).empty() && !comments ? std::optional(document) : std::nullopt;

    RegFileKey* key = nullptr;
    while (lines.next(line)) {
        line = trimLeft(line);
        if (line.empty() || line.front() == ';')
            continue;
        if (line.front() == '[') {
            if (line.back() != ']' || line.size() < 3 || line[1] == '-')
                return std::nullopt;
            key = &document.obtainKey(line.substr(1, line.size() - 2));
        } else if ((line.front() == '"' || line.front() == '@') && key) {
            if (!parseValueLine(line, lines, *key))
                return std::nullopt;
        } else {
            return std::nullopt;
        }
    }
    return document;
}

std::string formatRegFile(const RegFileDocument& document) {
    std::string out(Header);
    out += '\n';
    for (const auto& key : document.keys) {
        out += "\n[";
        out += key.name;
        out += "]\n";
        for (const auto& value : key.values)
            appendValue(out, value);
    }
    return out;
}

} // namespace tavora
