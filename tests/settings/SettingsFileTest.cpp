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

using namespace tavora;

namespace fs = std::filesystem;

namespace {

std::string readFile(const fs::path& file) {
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
        dir_ = pattern;
        userFile_ = dir_ / "tavora-live" / "user.reg";
        store_ = std::make_shared<RegFileStore>(RegFileStore::Paths{userFile_, dir_ / "system.reg"});
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path dir_, userFile_;
    std::shared_ptr<RegFileStore> store_;
};

const SystemTestSettings Old{1, 2, true, 3, "old.proxy", 1080, true, "ann", "old-pw", "spk1", "mic1"};
const SystemTestSettings New{3, 4, false, 1, "new.proxy", 3128, false, "bob", "new-pw", "spk2", "mic2"};

} // namespace

TEST_F(SettingsFileTest, SavedSettingsAreTheDocumentedLines) {
    EXPECT_EQ(loadSettings(*store_).proxyPort, 1080);
    EXPECT_EQ(readFile(userFile_), "Windows Registry Editor Version 5.00\n\n"
                                  "[HKEY_CURRENT_USER\\SOFTWARE\\Norvik\\Tavora Live\\Browser]\n");

    const SystemTestSettings saved{
        1,        2,     true,       3,        "proxy \"one\"",
        1080,     false, "\xe9mile", "secret", "alsa_output.usb-0d8c_USB_Sound-00.analog-stereo",
        "pipesrc"};
    saveSettings(saved, *store_);
    EXPECT_EQ(readFile(userFile_),
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
    EXPECT_EQ(loadSettings(*store_), saved);
}

TEST_F(SettingsFileTest, CorruptFileGivesDefaultsAndIsKeptAside) {
    fs::create_directories(userFile_.parent_path());
    std::ofstream(userFile_) << "\"ProxyPort\"=dword:00000c38\n";
    EXPECT_EQ(loadSettings(*store_).proxyPort, 1080);
    int kept = 0;
    for (const auto& entry : fs::directory_iterator(userFile_.parent_path()))
        kept += entry.path().filename().string().starts_with("user.reg.corrupt-") &&
                readFile(entry.path()) == "\"ProxyPort\"=dword:00000c38\n";
    EXPECT_EQ(kept, 1);
}

// Files a help desk prepared -- by hand with comments before the header, or
// exported by the registry editor (UTF-16LE, CRLF) -- are read, never kept
// aside; a save keeps their other keys, writes text as text, and reads back.
TEST_F(SettingsFileTest, FilesAHelpDeskPreparedAreReadNotKeptAside) {
    SystemTestSettings byHand;
    byHand.useProxy = true;
    byHand.proxyHost = "127.0.0.3";
    byHand.proxyPort = 1080;
    const struct {
        std::string text;
        SystemTestSettings Read;
        std::vector<std::string> saved; // lines of the file after a save
    } files[] = {
        {"; Classroom proxy, set up by the help desk\n\n"
         "Windows Registry Editor Version 5.00\n\n"
         "[HKEY_CURRENT_USER\\SOFTWARE\\Norvik\\Tavora Live\\Browser]\n"
         "\"UseProxy\"=dword:00000001\n\"ProxyHost\"=\"127.0.0.3\"\n"
         "\n[HKEY_CURRENT_USER\\Software\\Client]\n\"Room\"=\"12\"\n",
         byHand,
         {"\"Room\"=\"12\"\n"}},
        {readFile(TAVORA_TEST_SETTINGS_DIR "/registry-editor-export-utf16.reg"),
         {1, 0, true, 3, "proxy.schule-müller.de", 1080, true, "jürgen", "", "", ""},
         {"\"ProxyHost\"=\"proxy.schule-müller.de\"\n", "\"ProxyUserName\"=\"jürgen\"\n"}},
    };
    fs::create_directories(userFile_.parent_path());
    for (const auto& file : files) {
        std::ofstream(userFile_, std::ios::binary) << file.text;
        const SystemTestSettings loaded = loadSettings(*store_);
        EXPECT_EQ(loaded, file.Read) << file.text;
        saveSettings(loaded, *store_);
        for (const auto& entry : fs::directory_iterator(userFile_.parent_path()))
            EXPECT_FALSE(entry.path().filename().string().starts_with("user.reg.corrupt-")) << entry.path();
        const std::string saved = readFile(userFile_);
        for (const std::string& line : file.saved)
            EXPECT_NE(saved.find(line), std::string::npos) << line << " in\n" << saved;
        EXPECT_EQ(loadSettings(*store_), file.Read) << saved;
    }
}

// A save killed at any instant leaves the nine values of one save, never
// some new and others old.
TEST_F(SettingsFileTest, SaveKilledAtAnyInstantLeavesOneWholeRecord) {
    saveSettings(Old, *store_);
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
                    saveSettings(n % 2 ? Old : New, *store_);
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

        const SystemTestSettings loaded = loadSettings(*store_);
        ASSERT_TRUE(loaded == Old || loaded == New) << "round " << round << ":\n" << readFile(userFile_);
    }
}

// A folder that refuses writes: the save says where and why, and the file
// keeps every value saved before.
TEST_F(SettingsFileTest, RefusedSaveSaysWhereAndWhyAndStoresNothing) {
    saveSettings(Old, *store_);
    const std::string before = readFile(userFile_);
    store_->setFaultHook([](RegWriteStep step) { return step == RegWriteStep::CreateTemp ? EROFS : 0; });
    try {
        saveSettings(New, *store_);
        FAIL() << "a refused save reported no error";
    } catch (const RegistryError& e) {
        EXPECT_EQ(saveFailureText(e), "The settings cannot be saved to " + userFile_.string() +
                                          ": Read-only file system. None of them were stored; the settings "
                                          "saved before stay.");
    }
    EXPECT_EQ(readFile(userFile_), before);
}
