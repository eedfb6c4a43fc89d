// The settings on the registry file that the classroom client reads.

#include "platform/settings/RegFileStore.h"
#include "settings/SystemTestSettings.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <random>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

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
        Store = std::make_shared<TRegFileStore>(TRegFileStore::TPaths{UserFile, Dir / "system.reg"});
        SetSettingsRegistry(Store);
        SystemTestSettings = {};
    }
    void TearDown() override {
        SetSettingsRegistry(std::make_shared<TRegFileStore>(TRegFileStore::TPaths{}));
        fs::remove_all(Dir);
    }

    fs::path Dir, UserFile;
    std::shared_ptr<TRegFileStore> Store;
};

const TSystemTestSettings Old{1, 2, true, 3, "old.proxy", 1080, true, "ann", "old-pw", "spk1", "mic1"};
const TSystemTestSettings New{3, 4, false, 1, "new.proxy", 3128, false, "bob", "new-pw", "spk2", "mic2"};

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

TEST_F(SettingsFileTest, CommentsBeforeTheHeaderAreReadNotKeptAside) {
    fs::create_directories(UserFile.parent_path());
    std::ofstream(UserFile) << "; Classroom proxy, set up by the help desk\n\n"
                               "Windows Registry Editor Version 5.00\n\n"
                               "[HKEY_CURRENT_USER\\SOFTWARE\\Norvik\\Tavora Live\\Browser]\n"
                               "\"UseProxy\"=dword:00000001\n\"ProxyHost\"=\"127.0.0.3\"\n"
                               "\n[HKEY_CURRENT_USER\\Software\\Client]\n\"Room\"=\"12\"\n";
    LoadSettings();
    EXPECT_TRUE(SystemTestSettings.UseProxy);
    EXPECT_EQ(SystemTestSettings.ProxyHost, "127.0.0.3");
    SaveSettings();
    for (const auto& entry : fs::directory_iterator(UserFile.parent_path()))
        EXPECT_FALSE(entry.path().filename().string().starts_with("user.reg.corrupt-")) << entry.path();
    EXPECT_NE(ReadFile(UserFile).find("\"Room\"=\"12\""), std::string::npos);
}

// A save killed at any instant leaves the nine values of one save, never
// some new and others old.
TEST_F(SettingsFileTest, SaveKilledAtAnyInstantLeavesOneWholeRecord) {
    SystemTestSettings = Old;
    SaveSettings();
    std::mt19937 random(20261208);
    for (int round = 0; round < 300; ++round) {
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(ready[0]);
            try {
                for (int n = 0;; ++n) {
                    SystemTestSettings = n % 2 ? Old : New;
                    SaveSettings();
                    if (n == 0 && ::write(ready[1], "r", 1) != 1)
                        ::_exit(1);
                }
            } catch (...) {
                ::_exit(2);
            }
        }
        ::close(ready[1]);
        char byte;
        ASSERT_EQ(::read(ready[0], &byte, 1), 1) << "the child's first save failed";
        ::close(ready[0]);
        ::usleep(std::uniform_int_distribution<useconds_t>(0, 3000)(random));
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << "round " << round;

        SystemTestSettings = {};
        LoadSettings();
        ASSERT_TRUE(SystemTestSettings == Old || SystemTestSettings == New) << "round " << round << ":\n"
                                                                            << ReadFile(UserFile);
    }
}

// A folder that refuses writes: the save says where and why, and the file
// keeps every value saved before.
TEST_F(SettingsFileTest, RefusedSaveSaysWhereAndWhyAndStoresNothing) {
    SystemTestSettings = Old;
    SaveSettings();
    const std::string before = ReadFile(UserFile);
    Store->SetFaultHook([](TRegWriteStep step) { return step == TRegWriteStep::CreateTemp ? EROFS : 0; });
    SystemTestSettings = New;
    try {
        SaveSettings();
        FAIL() << "a refused save reported no error";
    } catch (const ERegistryError& e) {
        EXPECT_EQ(SaveFailureText(e), "The settings cannot be saved to " + UserFile.string() +
                                          ": Read-only file system. None of them were stored; the settings "
                                          "saved before stay.");
    }
    EXPECT_EQ(ReadFile(UserFile), before);
}
