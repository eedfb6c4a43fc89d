#pragma once

// The text form of a registry file, as the registry editor exports it:
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CURRENT_USER\SOFTWARE\Norvik\Tavora Live\Browser]
//   "ProxyPort"=dword:00000438
//   "ProxyHost"="proxy.example \"A\"\\x"
//   "Path"=hex(2):25,48,4f,4d,45,25,00
//   "Blob"=hex:01,02,03
//
// Writing: UTF-8 without a byte-order mark, LF line ends; a blank line before
// every key header; REG_SZ as a quoted string of its characters in which `\`
// and `"` are escaped with a backslash, as the registry editor writes them,
// and only control characters (0x00..0x1f, 0x7f) and bytes that are not part
// of well-formed UTF-8 are written `\xNN`; a 4-byte REG_DWORD as `dword:` and
// eight hex digits; REG_BINARY as `hex:`; every other type (REG_EXPAND_SZ
// included, its 8-bit bytes as they are) as `hex(N):` with N the type number
// in hex; the key's default value is named `@`. Hex lists longer than a line
// are continued, as the registry editor does, with a trailing `,\` and two
// spaces of indent on the next line.
//
// Reading is liberal: UTF-8 (or ASCII, or any 8-bit bytes, kept as they are)
// with or without a byte-order mark, or UTF-16LE with its byte-order mark as
// the registry editor exports it (its text becomes UTF-8; an odd number of
// bytes or an unpaired surrogate makes the file unreadable); `\xNN` escapes;
// CRLF or LF line ends, a "REGEDIT4" header, blank lines and `;` comment lines
// (before the header too), leading white space, white space around `=` and
// inside hex lists, hex digits of either case, `\`-continued hex lines, key
// headers and value names of any case (repeats are merged; the later value
// wins). Anything else -- a missing header, a value outside a key, an unknown
// escape, a deletion entry (`[-...]`, `=-`), an unterminated string, a bad hex
// list -- makes the whole file unreadable.
// Comments are not kept.

#include "platform/settings/Registry.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavora {

using RegFileValue = RegNamedValue;

struct RegFileKey {
    std::string name; // full name, root first: HKEY_CURRENT_USER\SOFTWARE\...
    std::vector<RegFileValue> values;

    const RegValue* findValue(std::string_view name) const;
    // Replaces the value of that name in place, or appends a new one.
    void setValue(std::string_view name, const RegValue& value);
    bool operator==(const RegFileKey&) const = default;
};

struct RegFileDocument {
    std::vector<RegFileKey> keys;

    RegFileKey* findKey(std::string_view name);
    const RegFileKey* findKey(std::string_view name) const;
    // The key of that name, appended when missing.
    RegFileKey& obtainKey(std::string_view name);
    bool operator==(const RegFileDocument&) const = default;
};

// Empty or all-blank text is an empty document; text that is not a registry
// file gives nullopt.
std::optional<RegFileDocument> parseRegFile(std::string_view text);

std::string formatRegFile(const RegFileDocument& document);

} // namespace tavora
