#include "platform/settings/RegFile.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace tavora;

namespace {

constexpr std::string_view BrowserKey = "HKEY_CURRENT_USER\\SOFTWARE\\Norvik\\Tavora Live\\Browser";

std::vector<std::uint8_t> bytes(std::string_view s) {
    return {s.begin(), s.end()};
}

// Text as the registry editor exports it: UTF-16LE after a byte-order mark.
std::string utf16Le(std::u16string_view text) {
    std::string out = "\xff\xfe";
    for (const char16_t unit : text) {
        out += static_cast<char>(unit & 0xff);
        out += static_cast<char>(unit >> 8);
    }
    return out;
}

} // namespace

TEST(RegFile, WritesTheRegistryEditorsExportFormat) {
    RegFileDocument document;
    RegFileKey& key = document.obtainKey(BrowserKey);
    key.setValue("ProxyPort", RegValue::dword(1080));
    // Text as text; control characters and bytes that are not UTF-8 (a lone
    // byte, a cut sequence, an overlong form, a surrogate) as `\xNN`.
    key.setValue("ProxyHost", RegValue::text("a\\b\"c\x01\xe9~ müller 🎓\x7f\xc3(\xc0\xaf\xed\xa0\x80"));
    key.setValue("Path", RegValue::text("%HOME%", REG_EXPAND_SZ));
    key.setValue("Blob", RegValue::binary({0x00, 0xff}));
    key.setValue("", RegValue::text("default"));
    document.obtainKey("HKEY_CURRENT_USER\\Empty");

    EXPECT_EQ(formatRegFile(document), R"(Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\SOFTWARE\Norvik\Tavora Live\Browser]
"ProxyPort"=dword:00000438
"ProxyHost"="a\\b\"c\x01\xe9~ müller 🎓\x7f\xc3(\xc0\xaf\xed\xa0\x80"
"Path"=hex(2):25,48,4f,4d,45,25
"Blob"=hex:00,ff
@="default"

[HKEY_CURRENT_USER\Empty]
)");
}

TEST(RegFile, EveryTypeAndByteRoundTripsOnWrappedLines) {
    std::string allBytes;
    for (int b = 0; b < 256; ++b)
        allBytes += static_cast<char>(b);
    std::vector<std::uint8_t> longBlob(300);
    for (std::size_t i = 0; i < longBlob.size(); ++i)
        longBlob[i] = static_cast<std::uint8_t>(i * 7);

    RegFileDocument document;
    RegFileKey& key = document.obtainKey(BrowserKey);
    key.setValue("Zero", RegValue::dword(0));
    key.setValue("AllOnes", RegValue::dword(0xffffffff));
    key.setValue("AllBytes", RegValue::text(allBytes));
    key.setValue("EmptyText", RegValue::text(""));
    key.setValue("Text ü", RegValue::text("proxy.schule-müller.de jürgen 🎓"));
    key.setValue("Expand", RegValue::text(std::string_view("%PATH%\0x", 8), REG_EXPAND_SZ));
    key.setValue("LongBlob", RegValue::binary(longBlob));
    key.setValue("EmptyBlob", RegValue::binary({}));
    key.setValue("Multi", RegValue{7, bytes(std::string_view("a\0b\0\0", 5))});
    key.setValue("Qword", RegValue{0xb, {1, 2, 3, 4, 5, 6, 7, 8}});
    key.setValue("None", RegValue{REG_NONE, {9}});
    key.setValue("ShortDword", RegValue{REG_DWORD, {1, 2, 3}});
    key.setValue(allBytes.substr(1), RegValue::text("name with every byte"));
    document.obtainKey("HKEY_LOCAL_MACHINE\\Other Root\\Key")
        .setValue("", RegValue::text("default", REG_EXPAND_SZ));

    const std::string text = formatRegFile(document);
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.find("=hex") != std::string::npos || line.starts_with("  ")) {
            EXPECT_LE(line.size(), 80u) << line; // strings are never wrapped, hex lists are
        }
        for (char c : line)
            EXPECT_TRUE(static_cast<unsigned char>(c) >= 0x20 && c != 0x7f) << line;
    }
    EXPECT_NE(text.find("\n\"Text ü\"=\"proxy.schule-müller.de jürgen 🎓\"\n"), std::string::npos);
    EXPECT_NE(text.find("\"LongBlob\"=hex:00,07,0e,"), std::string::npos);
    EXPECT_NE(text.find("\"ShortDword\"=hex(4):01,02,03"), std::string::npos);
    EXPECT_NE(text.find("\"Qword\"=hex(b):01,02,"), std::string::npos);

    const auto parsed = parseRegFile(text);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(*parsed, document);
}

TEST(RegFile, ReadsWhatOtherWritersProduce) {
    const std::string_view text = "\xef\xbb\xbfWindows Registry Editor Version 5.00\r\n"
                                  "\r\n"
                                  "; written by hand\r\n"
                                  "[HKEY_CURRENT_USER\\Software\\X]\r\n"
                                  "\"A\" = DWORD:0000002A\r\n"
                                  "\"B\"=hex:01, 0A,\\\r\n"
                                  "  02,\r\n"
                                  "  \"C\"=hex(2):41,00\r\n"
                                  "\"D\"=\"q\\X7e\"\r\n"
                                  "[hkey_current_user\\software\\x]\r\n"
                                  "\"a\"=\"later\"\r\n";
    const auto parsed = parseRegFile(text);
    ASSERT_TRUE(parsed);
    ASSERT_EQ(parsed->keys.size(), 1u);
    const RegFileKey& key = parsed->keys[0];
    EXPECT_EQ(key.name, "HKEY_CURRENT_USER\\Software\\X");
    ASSERT_EQ(key.values.size(), 4u);
    EXPECT_EQ(key.values[0], (RegFileValue{"A", RegValue::text("later")}));
    EXPECT_EQ(key.values[1], (RegFileValue{"B", RegValue::binary({1, 10, 2})}));
    EXPECT_EQ(key.values[2], (RegFileValue{"C", RegValue{REG_EXPAND_SZ, {'A', 0}}}));
    EXPECT_EQ(key.values[3], (RegFileValue{"D", RegValue::text("q~")}));

    EXPECT_EQ(parseRegFile("REGEDIT4\n\n[HKEY_CURRENT_USER\\K]\n@=dword:1\n")->keys[0].values[0].value,
              RegValue::dword(1));
    const auto utf16 = parseRegFile(utf16Le(u"REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\K]\r\n"
                                            u"\"H\u00f6st\"=\"m\u00fcller \U0001f393 \\x41\"\r\n"));
    ASSERT_TRUE(utf16);
    EXPECT_EQ(utf16->keys.at(0).values.at(0), (RegFileValue{"Höst", RegValue::text("müller 🎓 A")}));
    // Comments and blank lines before the header, as a help desk writes them.
    const auto commented = parseRegFile("; classroom set-up\r\n\r\n  ;; by hand\r\n"
                                        "Windows Registry Editor Version 5.00\r\n\r\n"
                                        "[HKEY_CURRENT_USER\\K]\r\n\"A\"=dword:00000001\r\n");
    ASSERT_TRUE(commented);
    EXPECT_EQ(commented->keys.at(0).values.at(0), (RegFileValue{"A", RegValue::dword(1)}));
    EXPECT_EQ(parseRegFile(""), RegFileDocument{});
    EXPECT_EQ(parseRegFile(" \r\n\n"), RegFileDocument{});
}

TEST(RegFile, RejectsTextItCannotReadFaithfully) {
    const std::string header = "Windows Registry Editor Version 5.00\n\n";
    const std::string key = header + "[HKEY_CURRENT_USER\\K]\n";
    const std::vector<std::string> bad = {
        "garbage\n" + key,
        "; comments only, no header\n",
        "; a comment\n[HKEY_CURRENT_USER\\K]\n",
        std::string("Windows Registry Editor\0 Version 5.00\n", 38),
        header + "\"A\"=dword:1\n", // a value outside any key
        key + "\"A\"=dword:123456789\n",
        key + "\"A\"=dword:\n",
        key + "\"A\"=\"unterminated\n",
        key + "\"A\"=\"unknown \\n escape\"\n",
        key + "\"A\"=\"\\x4\"\n",
        key + "\"A\"=\"text\" trailing\n",
        key + "\"A\"=hex:01,,02\n",
        key + "\"A\"=hex:100\n",
        key + "\"A\"=hex:01,\\\n", // continued past the end
        key + "\"A\"=hex(zz):00\n",
        key + "\"A\"=hex(2:00\n",
        key + "\"A\"=-\n",
        key + "\"A\"\n",
        key + "A=dword:1\n",
        header + "[-HKEY_CURRENT_USER\\K]\n",
        header + "[HKEY_CURRENT_USER\\K\n",
        header + "[]\n",
        // UTF-16 that is not text: an odd byte count, a surrogate without its partner.
        utf16Le(u"REGEDIT4\r\n") + "\r",
        utf16Le(u"REGEDIT4\r\n[HKEY_CURRENT_USER\\K]\r\n\"A\"=\"\xd83cx\"\r\n"),
        utf16Le(u"REGEDIT4\r\n[HKEY_CURRENT_USER\\K]\r\n\"A\"=\"x\xdf93\"\r\n"),
    };
    for (const auto& text : bad)
        EXPECT_FALSE(parseRegFile(text)) << text;
}
