#include "platform/settings/RegFile.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

constexpr std::string_view BrowserKey = "HKEY_CURRENT_USER\\SOFTWARE\\Norvik\\Tavora Live\\Browser";

std::vector<std::uint8_t> Bytes(std::string_view s) {
    return {s.begin(), s.end()};
}

} // namespace

TEST(RegFile, WritesTheRegistryEditorsExportFormat) {
    TRegFileDocument document;
    TRegFileKey& key = document.ObtainKey(BrowserKey);
    key.SetValue("ProxyPort", TRegValue::Dword(1080));
    key.SetValue("ProxyHost", TRegValue::Text("a\\b\"c\x01\xe9~"));
    key.SetValue("Path", TRegValue::Text("%HOME%", REG_EXPAND_SZ));
    key.SetValue("Blob", TRegValue::Binary({0x00, 0xff}));
    key.SetValue("", TRegValue::Text("default"));
    document.ObtainKey("HKEY_CURRENT_USER\\Empty");

    EXPECT_EQ(FormatRegFile(document), R"(Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\SOFTWARE\Norvik\Tavora Live\Browser]
"ProxyPort"=dword:00000438
"ProxyHost"="a\\b\"c\x01\xe9~"
"Path"=hex(2):25,48,4f,4d,45,25
"Blob"=hex:00,ff
@="default"

[HKEY_CURRENT_USER\Empty]
)");
}

TEST(RegFile, EveryTypeAndByteRoundTripsAsWrappedAscii) {
    std::string allBytes;
    for (int b = 0; b < 256; ++b)
        allBytes += static_cast<char>(b);
    std::vector<std::uint8_t> longBlob(300);
    for (std::size_t i = 0; i < longBlob.size(); ++i)
        longBlob[i] = static_cast<std::uint8_t>(i * 7);

    TRegFileDocument document;
    TRegFileKey& key = document.ObtainKey(BrowserKey);
    key.SetValue("Zero", TRegValue::Dword(0));
    key.SetValue("AllOnes", TRegValue::Dword(0xffffffff));
    key.SetValue("AllBytes", TRegValue::Text(allBytes));
    key.SetValue("EmptyText", TRegValue::Text(""));
    key.SetValue("Expand", TRegValue::Text(std::string_view("%PATH%\0x", 8), REG_EXPAND_SZ));
    key.SetValue("LongBlob", TRegValue::Binary(longBlob));
    key.SetValue("EmptyBlob", TRegValue::Binary({}));
    key.SetValue("Multi", TRegValue{7, Bytes(std::string_view("a\0b\0\0", 5))});
    key.SetValue("Qword", TRegValue{0xb, {1, 2, 3, 4, 5, 6, 7, 8}});
    key.SetValue("None", TRegValue{REG_NONE, {9}});
    key.SetValue("ShortDword", TRegValue{REG_DWORD, {1, 2, 3}});
    key.SetValue(allBytes.substr(1), TRegValue::Text("name with every byte"));
    document.ObtainKey("HKEY_LOCAL_MACHINE\\Other Root\\Key")
        .SetValue("", TRegValue::Text("default", REG_EXPAND_SZ));

    const std::string text = FormatRegFile(document);
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.find("=hex") != std::string::npos || line.starts_with("  ")) {
            EXPECT_LE(line.size(), 80u) << line; // strings are never wrapped, hex lists are
        }
        for (char c : line)
            EXPECT_TRUE(c >= 0x20 && c <= 0x7e) << line;
    }
    EXPECT_NE(text.find("\"LongBlob\"=hex:00,07,0e,"), std::string::npos);
    EXPECT_NE(text.find("\"ShortDword\"=hex(4):01,02,03"), std::string::npos);
    EXPECT_NE(text.find("\"Qword\"=hex(b):01,02,"), std::string::npos);

    const auto parsed = ParseRegFile(text);
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
    const auto parsed = ParseRegFile(text);
    ASSERT_TRUE(parsed);
    ASSERT_EQ(parsed->Keys.size(), 1u);
    const TRegFileKey& key = parsed->Keys[0];
    EXPECT_EQ(key.Name, "HKEY_CURRENT_USER\\Software\\X");
    ASSERT_EQ(key.Values.size(), 4u);
    EXPECT_EQ(key.Values[0], (TRegFileValue{"A", TRegValue::Text("later")}));
    EXPECT_EQ(key.Values[1], (TRegFileValue{"B", TRegValue::Binary({1, 10, 2})}));
    EXPECT_EQ(key.Values[2], (TRegFileValue{"C", TRegValue{REG_EXPAND_SZ, {'A', 0}}}));
    EXPECT_EQ(key.Values[3], (TRegFileValue{"D", TRegValue::Text("q~")}));

    EXPECT_EQ(ParseRegFile("REGEDIT4\n\n[HKEY_CURRENT_USER\\K]\n@=dword:1\n")->Keys[0].Values[0].Value,
              TRegValue::Dword(1));
    // Comments and blank lines before the header, as a help desk writes them.
    const auto commented = ParseRegFile("; classroom set-up\r\n\r\n  ;; by hand\r\n"
                                        "Windows Registry Editor Version 5.00\r\n\r\n"
                                        "[HKEY_CURRENT_USER\\K]\r\n\"A\"=dword:00000001\r\n");
    ASSERT_TRUE(commented);
    EXPECT_EQ(commented->Keys.at(0).Values.at(0), (TRegFileValue{"A", TRegValue::Dword(1)}));
    EXPECT_EQ(ParseRegFile(""), TRegFileDocument{});
    EXPECT_EQ(ParseRegFile(" \r\n\n"), TRegFileDocument{});
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
    };
    for (const auto& text : bad)
        EXPECT_FALSE(ParseRegFile(text)) << text;
}
