#include "platform/settings/MemoryRegistry.h"
#include "settings/SystemTestSettings.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>

using namespace tavora;

void PrintTo(const SystemTestSettings& s, std::ostream* os) {
    *os << "{out " << s.audioOutDeviceID << ", in " << s.audioInDeviceID << ", proxy " << s.useProxy
        << ", socks " << int(s.socksVersion) << ", host '" << s.proxyHost << "', port " << s.proxyPort
        << ", auth " << s.proxyAuthentication << ", user '" << s.proxyUserName << "', password '"
        << s.proxyPassword << "', out name '" << s.audioOutDeviceName << "', in name '" << s.audioInDeviceName
        << "'}";
}

namespace {

constexpr auto HKCU = RegRoot::CurrentUser;

const SystemTestSettings FirstRun{0, 0, false, 0, "", 1080, false, "", "", "", ""};

const std::vector<std::string> SaveOrder = {"AudioOutDeviceID",  "AudioInDeviceID", "AudioOutDeviceName",
                                            "AudioInDeviceName", "UseProxy",        "SocksVersion",
                                            "ProxyHost",         "ProxyPort",       "ProxyAuthentication",
                                            "ProxyUserName",     "ProxyPassword"};

class SettingsTest : public ::testing::Test {
protected:
    void store(std::string_view name, const RegValue& value) {
        registry_->put(HKCU, SettingsKeyPath, name, value);
    }

    std::vector<std::string> writtenNames() const {
        std::vector<std::string> names;
        for (const auto& write : registry_->writes())
            names.push_back(write.name);
        return names;
    }

    std::shared_ptr<MemoryRegistry> registry_ = std::make_shared<MemoryRegistry>();
};

} // namespace

TEST_F(SettingsTest, NothingStoredGivesAFirstRunAndCreatesTheKey) {
    ASSERT_FALSE(registry_->hasKey(HKCU, SettingsKeyPath));
    EXPECT_EQ(loadSettings(*registry_), FirstRun);
    EXPECT_TRUE(registry_->hasKey(HKCU, SettingsKeyPath));
    EXPECT_TRUE(registry_->writes().empty());
    EXPECT_EQ(registry_->openKeys(), 0);
}

TEST_F(SettingsTest, StoredValuesAreLoadedByTheirRules) {
    struct Case {
        std::string name;
        RegValue stored;
        std::function<void(SystemTestSettings&)> expect;
    };
    const std::vector<Case> cases = {
        {"ProxyPort", RegValue::text("8080"), [](auto& s) { s.proxyPort = 1080; }},
        {"ProxyPort", RegValue::dword(-1u), [](auto& s) { s.proxyPort = 1080; }},
        {"ProxyPort", RegValue::dword(-7u), [](auto& s) { s.proxyPort = -7; }},
        {"ProxyPort", RegValue::dword(70000), [](auto& s) { s.proxyPort = 70000; }},
        {"SocksVersion", RegValue::dword(-5u), [](auto& s) { s.socksVersion = 0; }},
        {"SocksVersion", RegValue::dword(0x103), [](auto& s) { s.socksVersion = 3; }},
        {"AudioInDeviceID", RegValue::dword(-3u), [](auto& s) { s.audioInDeviceID = 0; }},
        {"AudioOutDeviceID", RegValue::dword(5), [](auto& s) { s.audioOutDeviceID = 5; }},
        {"UseProxy", RegValue::dword(7), [](auto& s) { s.useProxy = true; }},
        {"UseProxy", RegValue::text("1"), [](auto& s) { s.useProxy = false; }},
        {"ProxyAuthentication", RegValue::binary({1, 0, 0, 0}),
         [](auto& s) { s.proxyAuthentication = false; }},
        {"ProxyHost", RegValue::text("%HOST%", REG_EXPAND_SZ), [](auto& s) { s.proxyHost = "%HOST%"; }},
        {"ProxyHost", RegValue::dword(5), [](auto& s) { s.proxyHost = ""; }},
        {"ProxyUserName", RegValue::text(std::string_view("ab\0cd", 5)),
         [](auto& s) { s.proxyUserName = "ab"; }},
        // No offsets exist for a stored form longer than 25 bytes.
        {"ProxyPassword", RegValue::text(std::string(26, 'x')), [](auto& s) { s.proxyPassword = ""; }},
    };
    for (const auto& c : cases) {
        registry_ = std::make_shared<MemoryRegistry>();
        store(c.name, c.stored);
        SystemTestSettings expected = FirstRun;
        c.expect(expected);
        EXPECT_EQ(loadSettings(*registry_), expected) << c.name;
    }
}

TEST_F(SettingsTest, RefusedReadsAndAnUnopenableKeyGiveDefaults) {
    store("ProxyPort", RegValue::dword(3128));
    store("ProxyHost", RegValue::text("proxy"));
    registry_->refuseRead("ProxyPort");
    const SystemTestSettings loaded = loadSettings(*registry_);
    EXPECT_EQ(loaded.proxyPort, 1080);
    EXPECT_EQ(loaded.proxyHost, "proxy");

    registry_->refuseOpen(true);
    EXPECT_EQ(loadSettings(*registry_), FirstRun);
}

TEST_F(SettingsTest, SaveWritesElevenValuesInOrderAndLoadReadsThemBack) {
    const SystemTestSettings saved{2,
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
    saveSettings(saved, *registry_);
    EXPECT_EQ(writtenNames(), SaveOrder);
    EXPECT_EQ(registry_->get(HKCU, SettingsKeyPath, "SocksVersion"), RegValue::dword(3));
    EXPECT_EQ(registry_->get(HKCU, SettingsKeyPath, "UseProxy"), RegValue::dword(1));
    EXPECT_EQ(registry_->get(HKCU, SettingsKeyPath, "ProxyHost"), RegValue::text("proxy.local"));
    EXPECT_EQ(registry_->get(HKCU, SettingsKeyPath, "AudioInDeviceName"),
              RegValue::text("alsa_input.pci-0000_00_1f.3"));
    EXPECT_EQ(registry_->get(HKCU, SettingsKeyPath, "ProxyPassword"),
              RegValue::text(scramblePassword(saved.proxyPassword)));
    EXPECT_EQ(registry_->openKeys(), 0);

    EXPECT_EQ(loadSettings(*registry_), saved);
}

TEST_F(SettingsTest, RefusedWriteStopsTheSaveAndNamesTheValue) {
    for (std::size_t refused : {std::size_t{0}, std::size_t{4}, std::size_t{8}}) {
        registry_ = std::make_shared<MemoryRegistry>();
        registry_->refuseWrite(SaveOrder[refused]);
        try {
            saveSettings({}, *registry_);
            ADD_FAILURE() << "no error for " << SaveOrder[refused];
        } catch (const RegistryError& e) {
            EXPECT_STREQ(e.what(), ("Failed to set data for '" + SaveOrder[refused] + "'").c_str());
            EXPECT_EQ(e.stored, std::vector<std::string>(SaveOrder.begin(), SaveOrder.begin() + refused));
            EXPECT_EQ(e.notStored, std::vector<std::string>(SaveOrder.begin() + refused, SaveOrder.end()));
            const std::string text = saveFailureText(e);
            EXPECT_TRUE(text.starts_with("The settings cannot be saved.")) << text;
            EXPECT_EQ(text.find("Stored: AudioOutDeviceID") != std::string::npos, refused > 0) << text;
        }
        EXPECT_EQ(writtenNames(), std::vector<std::string>(SaveOrder.begin(), SaveOrder.begin() + refused));
    }
}

TEST_F(SettingsTest, PasswordsScrambleAsTheClientUnscramblesThem) {
    // The stored form the classroom client reads: byte i of L plus offset L + i.
    EXPECT_EQ(scramblePassword("secret"), "]GZnT_");
    EXPECT_EQ(unscramblePassword("]GZnT_"), "secret");
    EXPECT_EQ(scramblePassword(""), "");

    std::uint32_t seed = 1;
    for (std::size_t length = 0; length <= MaxPasswordLength; ++length) {
        for (int round = 0; round < 20; ++round) {
            std::string password;
            for (std::size_t i = 0; i < length; ++i) {
                seed = seed * 1103515245 + 12345;
                password += static_cast<char>(0x20 + (seed >> 16) % 0xe0); // printable or non-ASCII
            }
            const std::string scrambled = scramblePassword(password);
            ASSERT_EQ(scrambled.size(), length);
            EXPECT_EQ(scrambled.find('\0'), std::string::npos);
            EXPECT_EQ(unscramblePassword(scrambled), password);
        }
    }
}

// Storing such a password would cut it; the participant is told instead.
TEST_F(SettingsTest, UnstorablePasswordIsRefusedAfterTheOtherValues) {
    for (std::size_t length = 1; length <= MaxPasswordLength; ++length) {
        for (std::size_t i = 1; i <= length; ++i) {
            std::string password(length, 'a');
            password[i - 1] = static_cast<char>(-PasswordKeyTable[length + i - 1] & 0xff);
            EXPECT_THROW(scramblePassword(password), PasswordNotStorableError) << length << " " << i;
        }
    }

    store("ProxyPassword", RegValue::text(scramblePassword("old")));
    try {
        saveSettings({1, 1, true, 3, "proxy", 1080, true, "user", std::string(26, 'p'), "spk2", "mic"},
                     *registry_);
        ADD_FAILURE() << "a 26-byte password was stored";
    } catch (const PasswordNotStorableError& e) {
        EXPECT_STREQ(e.what(), "The proxy password is longer than 25 bytes and cannot be stored.");
        EXPECT_EQ(e.notStored, std::vector<std::string>{"ProxyPassword"});
        EXPECT_NE(saveFailureText(e).find("The other settings were saved"), std::string::npos);
    }
    EXPECT_EQ(writtenNames(), std::vector<std::string>(SaveOrder.begin(), SaveOrder.end() - 1));
    const SystemTestSettings loaded = loadSettings(*registry_);
    EXPECT_EQ(loaded.proxyPassword, "old");
    EXPECT_EQ(loaded.proxyUserName, "user");
    EXPECT_EQ(loaded.audioOutDeviceName, "spk2");
}

TEST_F(SettingsTest, TypedValuesUseTheirRegistryTypes) {
    const auto write = [this](std::string_view name, RegistryValue v) {
        writeRegistryValue(*registry_, "K", name, v, true);
    };
    const auto read = [this](std::string_view name, ValueKind kind) {
        return readRegistryValue(*registry_, "K", name, kind, true);
    };
    write("I8", std::int8_t{-5});
    write("U8", std::uint8_t{200});
    write("I16", std::int16_t{-300});
    write("U16", std::uint16_t{65535});
    write("D", 3.25);
    EXPECT_EQ(registry_->get(HKCU, "K", "I8"), RegValue::dword(0xfffffffb));
    EXPECT_EQ(registry_->get(HKCU, "K", "U8"), RegValue::dword(200));
    EXPECT_EQ(registry_->get(HKCU, "K", "U16"), RegValue::dword(65535));
    EXPECT_EQ(registry_->get(HKCU, "K", "D")->type, REG_BINARY);
    EXPECT_EQ(read("I8", ValueKind::Int8), RegistryValue(std::int8_t{-5}));
    EXPECT_EQ(read("I16", ValueKind::Int16), RegistryValue(std::int16_t{-300}));
    EXPECT_EQ(read("U16", ValueKind::UInt16), RegistryValue(std::uint16_t{65535}));
    EXPECT_EQ(read("D", ValueKind::Double), RegistryValue(3.25));

    registry_->put(HKCU, "K", "Short", RegValue::binary({0, 0, 0, 0}));
    EXPECT_EQ(read("Short", ValueKind::Double), RegistryValue(-1.0));
    EXPECT_EQ(read("D", ValueKind::Int32), RegistryValue(std::int32_t{-1}));
    EXPECT_EQ(read("Missing", ValueKind::Double), RegistryValue(-1.0));

    writeRegistryValue(*registry_, "K", "Machine", true, false);
    EXPECT_EQ(registry_->get(RegRoot::LocalMachine, "K", "Machine"), RegValue::dword(1));
    EXPECT_FALSE(registry_->get(HKCU, "K", "Machine"));

    registry_->refuseOpen(true);
    EXPECT_THROW(write("I8", std::int8_t{1}), RegistryError);
}
