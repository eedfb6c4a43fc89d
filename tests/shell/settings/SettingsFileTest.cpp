// The settings on the registry file that the classroom client reads.

#include "platform/settings/RegFileStore.h"
#include "shell/settings/SystemTestSettings.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class SettingsFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "settings-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        Dir = pattern;
        UserFile = Dir / "tavora-live" / "user.reg";
        SetSettingsRegistry(
            std::make_shared<TRegFileStore>(TRegFileStore::TPaths{UserFile, Dir / "system.reg"}));
        SystemTestSettings = {};
    }
    void TearDown() override {
        SetSettingsRegistry(std::make_shared<TRegFileStore>(TRegFileStore::TPaths{}));
        fs::remove_all(Dir);
    }

    fs::path Dir, UserFile;
};

} // namespace

TEST_F(SettingsFileTest, SavedSettingsAreTheDocumentedLines) {
    LoadSettings();
    EXPECT_EQ(SystemTestSettings.ProxyPort, 1080);
    EXPECT_EQ(ReadFile(UserFile), "Windows Registry Editor Version 5.00\n\n"
                                  "[HKEY_CURRENT_USER\\SOFTWARE\\Norvik\\Tavora Live\\Browser]\n");

    const TSystemTestSettings saved{
        1,        2,     true,       3,        "proxy \"one\"",
        1080,     false, "\xe9mile", "secret", "alsa_output.usb-0d8c_USB_Sound-00.analog-stereo",
        "pipesrc"};
    SystemTestSettings = saved;
    SaveSettings();
    EXPECT_EQ(ReadFile(UserFile),
              "Windows Registry Editor Version 5.00\n\n"
              "[HKEY_CURRENT_USER\\SOFTWARE\\Norvik\\Tavora Live\\Browser]\n"
              "\"AudioOutDeviceID\"=dword:00000001\n"
              "\"AudioInDeviceID\"=dword:00000002\n"
              "\"AudioOutDeviceName\"=\"alsa_output.usb-0d8c_USB_Sound-00.analog-stereo\"\n"
              "\"AudioInDeviceName\"=\"pipesrc\"\n"
              "\"UseProxy\"=dword:00000001\n"
              "\"SocksVersion\"=dword:00000003\n"
              "\"ProxyHost\"=\"proxy \\\"one\\\"\"\n"
              "\"ProxyPort\"=dword:00000438\n"
              "\"ProxyAuthentication\"=dword:00000000\n"
              "\"ProxyUserName\"=\"\\xe9mile\"\n"
              "\"ProxyPassword\"=\"]GZnT_\"\n");
    SystemTestSettings = {};
    LoadSettings();
    EXPECT_EQ(SystemTestSettings, saved);
}

TEST_F(SettingsFileTest, CorruptFileGivesDefaultsAndIsKeptAside) {
    fs::create_directories(UserFile.parent_path());
    std::ofstream(UserFile) << "\"ProxyPort\"=dword:00000c38\n";
    LoadSettings();
    EXPECT_EQ(SystemTestSettings.ProxyPort, 1080);
    int kept = 0;
    for (const auto& entry : fs::directory_iterator(UserFile.parent_path()))
        kept += entry.path().filename().string().starts_with("user.reg.corrupt-") &&
                ReadFile(entry.path()) == "\"ProxyPort\"=dword:00000c38\n";
    EXPECT_EQ(kept, 1);
}
