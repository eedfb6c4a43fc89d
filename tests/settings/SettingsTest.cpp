#include "platform/settings/MemoryRegistry.h"
#include "settings/SystemTestSettings.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>

void PrintTo(const TSystemTestSettings& s, std::ostream* os) {
    *os << "{out " << s.AudioOutDeviceID << ", in " << s.AudioInDeviceID << ", proxy " << s.UseProxy
        << ", socks " << int(s.SocksVersion) << ", host '" << s.ProxyHost << "', port " << s.ProxyPort
        << ", auth " << s.ProxyAuthentication << ", user '" << s.ProxyUserName << "', password '"
        << s.ProxyPassword << "', out name '" << s.AudioOutDeviceName << "', in name '" << s.AudioInDeviceName
        << "'}";
}

namespace {

constexpr auto HKCU = TRegRoot::CurrentUser;

const TSystemTestSettings FirstRun{0, 0, false, 0, "", 1080, false, "", "", "", ""};

const std::vector<std::string> SaveOrder = {"AudioOutDeviceID",  "AudioInDeviceID", "AudioOutDeviceName",
                                            "AudioInDeviceName", "UseProxy",        "SocksVersion",
                                            "ProxyHost",         "ProxyPort",       "ProxyAuthentication",
                                            "ProxyUserName",     "ProxyPassword"};

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetSettingsRegistry(Registry);
        SystemTestSettings = {};
    }
    // Never fall back to the user's own settings file.
    void TearDown() override { SetSettingsRegistry(std::make_shared<TMemoryRegistry>()); }

    void Store(std::string_view name, const TRegValue& value) {
        Registry->Put(HKCU, SettingsKeyPath, name, value);
    }

    std::vector<std::string> WrittenNames() const {
        std::vector<std::string> names;
        for (const auto& write : Registry->Writes())
            names.push_back(write.Name);
        return names;
    }

    std::shared_ptr<TMemoryRegistry> Registry = std::make_shared<TMemoryRegistry>();
};

} // namespace

TEST_F(SettingsTest, NothingStoredGivesAFirstRunAndCreatesTheKey) {
    ASSERT_FALSE(Registry->HasKey(HKCU, SettingsKeyPath));
    LoadSettings();
    EXPECT_EQ(SystemTestSettings, FirstRun);
    EXPECT_TRUE(Registry->HasKey(HKCU, SettingsKeyPath));
    EXPECT_TRUE(Registry->Writes().empty());
    EXPECT_EQ(Registry->OpenKeys(), 0);
}

TEST_F(SettingsTest, StoredValuesAreLoadedByTheirRules) {
    struct TCase {
        std::string Name;
        TRegValue Stored;
        std::function<void(TSystemTestSettings&)> Expect;
    };
    const std::vector<TCase> cases = {
        {"ProxyPort", TRegValue::Text("8080"), [](auto& s) { s.ProxyPort = 1080; }},
        {"ProxyPort", TRegValue::Dword(-1u), [](auto& s) { s.ProxyPort = 1080; }},
        {"ProxyPort", TRegValue::Dword(-7u), [](auto& s) { s.ProxyPort = -7; }},
        {"ProxyPort", TRegValue::Dword(70000), [](auto& s) { s.ProxyPort = 70000; }},
        {"SocksVersion", TRegValue::Dword(-5u), [](auto& s) { s.SocksVersion = 0; }},
        {"SocksVersion", TRegValue::Dword(0x103), [](auto& s) { s.SocksVersion = 3; }},
        {"AudioInDeviceID", TRegValue::Dword(-3u), [](auto& s) { s.AudioInDeviceID = 0; }},
        {"AudioOutDeviceID", TRegValue::Dword(5), [](auto& s) { s.AudioOutDeviceID = 5; }},
        {"UseProxy", TRegValue::Dword(7), [](auto& s) { s.UseProxy = true; }},
        {"UseProxy", TRegValue::Text("1"), [](auto& s) { s.UseProxy = false; }},
        {"ProxyAuthentication", TRegValue::Binary({1, 0, 0, 0}),
         [](auto& s) { s.ProxyAuthentication = false; }},
        {"ProxyHost", TRegValue::Text("%HOST%", REG_EXPAND_SZ), [](auto& s) { s.ProxyHost = "%HOST%"; }},
        {"ProxyHost", TRegValue::Dword(5), [](auto& s) { s.ProxyHost = ""; }},
        {"ProxyUserName", TRegValue::Text(std::string_view("ab\0cd", 5)),
         [](auto& s) { s.ProxyUserName = "ab"; }},
        // No offsets exist for a stored form longer than 25 bytes.
        {"ProxyPassword", TRegValue::Text(std::string(26, 'x')), [](auto& s) { s.ProxyPassword = ""; }},
    };
    for (const auto& c : cases) {
        Registry = std::make_shared<TMemoryRegistry>();
        SetSettingsRegistry(Registry);
        Store(c.Name, c.Stored);
        LoadSettings();
        TSystemTestSettings expected = FirstRun;
        c.Expect(expected);
        EXPECT_EQ(SystemTestSettings, expected) << c.Name;
    }
}

TEST_F(SettingsTest, RefusedReadsAndAnUnopenableKeyGiveDefaults) {
    Store("ProxyPort", TRegValue::Dword(3128));
    Store("ProxyHost", TRegValue::Text("proxy"));
    Registry->RefuseRead("ProxyPort");
    LoadSettings();
    EXPECT_EQ(SystemTestSettings.ProxyPort, 1080);
    EXPECT_EQ(SystemTestSettings.ProxyHost, "proxy");

    Registry->RefuseOpen(true);
    LoadSettings();
    EXPECT_EQ(SystemTestSettings, FirstRun);
}

TEST_F(SettingsTest, SaveWritesElevenValuesInOrderAndLoadReadsThemBack) {
    const TSystemTestSettings saved{2,
                                    1,
                                    true,
                                    3,
                                    "proxy.local",
                                    3128,
                                    true,
                                    "jo",
                                    "s3cret\xc3\xa9",
                                    "alsa_output.usb-Headset-00.analog-stereo",
                                    "alsa_input.pci-0000_00_1f.3"};
    SystemTestSettings = saved;
    SaveSettings();
    EXPECT_EQ(WrittenNames(), SaveOrder);
    EXPECT_EQ(Registry->Get(HKCU, SettingsKeyPath, "SocksVersion"), TRegValue::Dword(3));
    EXPECT_EQ(Registry->Get(HKCU, SettingsKeyPath, "UseProxy"), TRegValue::Dword(1));
    EXPECT_EQ(Registry->Get(HKCU, SettingsKeyPath, "ProxyHost"), TRegValue::Text("proxy.local"));
    EXPECT_EQ(Registry->Get(HKCU, SettingsKeyPath, "AudioInDeviceName"),
              TRegValue::Text("alsa_input.pci-0000_00_1f.3"));
    EXPECT_EQ(Registry->Get(HKCU, SettingsKeyPath, "ProxyPassword"),
              TRegValue::Text(ScramblePassword(saved.ProxyPassword)));
    EXPECT_EQ(Registry->OpenKeys(), 0);

    SystemTestSettings = {};
    LoadSettings();
    EXPECT_EQ(SystemTestSettings, saved);
}

TEST_F(SettingsTest, RefusedWriteStopsTheSaveAndNamesTheValue) {
    for (std::size_t refused : {std::size_t{0}, std::size_t{4}, std::size_t{8}}) {
        Registry = std::make_shared<TMemoryRegistry>();
        SetSettingsRegistry(Registry);
        Registry->RefuseWrite(SaveOrder[refused]);
        try {
            SaveSettings();
            ADD_FAILURE() << "no error for " << SaveOrder[refused];
        } catch (const ERegistryError& e) {
            EXPECT_STREQ(e.what(), ("Failed to set data for '" + SaveOrder[refused] + "'").c_str());
            EXPECT_EQ(e.Stored, std::vector<std::string>(SaveOrder.begin(), SaveOrder.begin() + refused));
            EXPECT_EQ(e.NotStored, std::vector<std::string>(SaveOrder.begin() + refused, SaveOrder.end()));
            const std::string text = SaveFailureText(e);
            EXPECT_TRUE(text.starts_with("The settings cannot be saved.")) << text;
            EXPECT_EQ(text.find("Stored: AudioOutDeviceID") != std::string::npos, refused > 0) << text;
        }
        EXPECT_EQ(WrittenNames(), std::vector<std::string>(SaveOrder.begin(), SaveOrder.begin() + refused));
    }
}

TEST_F(SettingsTest, PasswordsScrambleAsTheClientUnscramblesThem) {
    // The stored form the classroom client reads: byte i of L plus offset L + i.
    EXPECT_EQ(ScramblePassword("secret"), "]GZnT_");
    EXPECT_EQ(UnscramblePassword("]GZnT_"), "secret");
    EXPECT_EQ(ScramblePassword(""), "");

    std::uint32_t seed = 1;
    for (std::size_t length = 0; length <= MaxPasswordLength; ++length) {
        for (int round = 0; round < 20; ++round) {
            std::string password;
            for (std::size_t i = 0; i < length; ++i) {
                seed = seed * 1103515245 + 12345;
                password += static_cast<char>(0x20 + (seed >> 16) % 0xe0); // printable or non-ASCII
            }
            const std::string scrambled = ScramblePassword(password);
            ASSERT_EQ(scrambled.size(), length);
            EXPECT_EQ(scrambled.find('\0'), std::string::npos);
            EXPECT_EQ(UnscramblePassword(scrambled), password);
        }
    }
}

// Storing such a password would cut it; the participant is told instead.
TEST_F(SettingsTest, UnstorablePasswordIsRefusedAfterTheOtherValues) {
    for (std::size_t length = 1; length <= MaxPasswordLength; ++length) {
        for (std::size_t i = 1; i <= length; ++i) {
            std::string password(length, 'a');
            password[i - 1] = static_cast<char>(-PasswordKeyTable[length + i - 1] & 0xff);
            EXPECT_THROW(ScramblePassword(password), EPasswordNotStorable) << length << " " << i;
        }
    }

    Store("ProxyPassword", TRegValue::Text(ScramblePassword("old")));
    SystemTestSettings = {1, 1, true, 3, "proxy", 1080, true, "user", std::string(26, 'p'), "spk2", "mic"};
    try {
        SaveSettings();
        ADD_FAILURE() << "a 26-byte password was stored";
    } catch (const EPasswordNotStorable& e) {
        EXPECT_STREQ(e.what(), "The proxy password is longer than 25 bytes and cannot be stored.");
        EXPECT_EQ(e.NotStored, std::vector<std::string>{"ProxyPassword"});
        EXPECT_NE(SaveFailureText(e).find("The other settings were saved"), std::string::npos);
    }
    EXPECT_EQ(WrittenNames(), std::vector<std::string>(SaveOrder.begin(), SaveOrder.end() - 1));
    SystemTestSettings = {};
    LoadSettings();
    EXPECT_EQ(SystemTestSettings.ProxyPassword, "old");
    EXPECT_EQ(SystemTestSettings.ProxyUserName, "user");
    EXPECT_EQ(SystemTestSettings.AudioOutDeviceName, "spk2");
}

TEST_F(SettingsTest, TypedValuesUseTheirRegistryTypes) {
    const auto write = [](std::string_view name, TRegistryValue v) {
        WriteRegistryValue("K", name, v, true);
    };
    const auto read = [](std::string_view name, ValueKind kind) {
        return ReadRegistryValue("K", name, kind, true);
    };
    write("I8", std::int8_t{-5});
    write("U8", std::uint8_t{200});
    write("I16", std::int16_t{-300});
    write("U16", std::uint16_t{65535});
    write("D", 3.25);
    EXPECT_EQ(Registry->Get(HKCU, "K", "I8"), TRegValue::Dword(0xfffffffb));
    EXPECT_EQ(Registry->Get(HKCU, "K", "U8"), TRegValue::Dword(200));
    EXPECT_EQ(Registry->Get(HKCU, "K", "U16"), TRegValue::Dword(65535));
    EXPECT_EQ(Registry->Get(HKCU, "K", "D")->Type, REG_BINARY);
    EXPECT_EQ(read("I8", ValueKind::Int8), TRegistryValue(std::int8_t{-5}));
    EXPECT_EQ(read("I16", ValueKind::Int16), TRegistryValue(std::int16_t{-300}));
    EXPECT_EQ(read("U16", ValueKind::UInt16), TRegistryValue(std::uint16_t{65535}));
    EXPECT_EQ(read("D", ValueKind::Double), TRegistryValue(3.25));

    Registry->Put(HKCU, "K", "Short", TRegValue::Binary({0, 0, 0, 0}));
    EXPECT_EQ(read("Short", ValueKind::Double), TRegistryValue(-1.0));
    EXPECT_EQ(read("D", ValueKind::Int32), TRegistryValue(std::int32_t{-1}));
    EXPECT_EQ(read("Missing", ValueKind::Double), TRegistryValue(-1.0));

    WriteRegistryValue("K", "Machine", true, false);
    EXPECT_EQ(Registry->Get(TRegRoot::LocalMachine, "K", "Machine"), TRegValue::Dword(1));
    EXPECT_FALSE(Registry->Get(HKCU, "K", "Machine"));

    Registry->RefuseOpen(true);
    EXPECT_THROW(write("I8", std::int8_t{1}), ERegistryError);
}
