#include "platform/settings/RegFileStore.h"
#include "platform/settings/RegFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tavora;

namespace fs = std::filesystem;

namespace {

constexpr std::string_view KeyPath = "SOFTWARE\\Norvik\\Tavora Live\\Browser";
constexpr std::string_view Header = "Windows Registry Editor Version 5.00\n";

std::string readFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const fs::path& file, std::string_view text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

unsigned Mode(const fs::path& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

// The calls that make a write durable, recorded as "<call> <file>" with the
// file named relative to the settings folder (a temporary file's random part
// as "*"; the folder itself as "."). Repeated writes to one file count once.
class RecordingCalls final : public RegFileCalls {
public:
    explicit RecordingCalls(const fs::path& dir) : dir_(fs::canonical(dir)) {}

    ssize_t write(int fd, const void* data, std::size_t size) override {
        note("write " + name(fd));
        return RegFileCalls::write(fd, data, size);
    }
    int fsync(int fd) override {
        note("fsync " + name(fd));
        return RegFileCalls::fsync(fd);
    }
    int rename(const char* from, const char* to) override {
        note("rename " + name(from) + " " + name(to));
        return RegFileCalls::rename(from, to);
    }

    std::vector<std::string> calls;

private:
    std::string name(const fs::path& path) const {
        std::string name = fs::weakly_canonical(path).lexically_relative(dir_).string();
        if (const auto at = name.find(".tmp."); at != std::string::npos)
            name = name.substr(0, at + 5) + "*";
        return name;
    }
    std::string name(int fd) const { return name(fs::read_symlink("/proc/self/fd/" + std::to_string(fd))); }
    void note(std::string call) {
        if (calls.empty() || calls.back() != call)
            calls.push_back(std::move(call));
    }

    fs::path dir_;
};

class RegFileStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "regstore-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        userFile_ = dir_ / "config" / "tavora-live" / "user.reg";
        systemFile_ = dir_ / "etc" / "system.reg";
        store_ = std::make_unique<RegFileStore>(RegFileStore::Paths{userFile_, systemFile_});
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::unique_ptr<RegKey> open() { return store_->createKey(RegRoot::CurrentUser, KeyPath); }

    std::vector<std::string> filesBesideUserFile() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(userFile_.parent_path()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path dir_, userFile_, systemFile_;
    std::unique_ptr<RegFileStore> store_;
};

} // namespace

TEST_F(RegFileStoreTest, FirstOpenCreatesThePrivateFileWithTheKey) {
    ASSERT_TRUE(open());
    EXPECT_EQ(readFile(userFile_),
              std::string(Header) + "\n[HKEY_CURRENT_USER\\SOFTWARE\\Norvik\\Tavora Live\\Browser]\n");
    EXPECT_EQ(Mode(userFile_), 0600u);
    EXPECT_EQ(Mode(dir_ / "config"), 0700u);
    EXPECT_EQ(Mode(userFile_.parent_path()), 0700u);

    ASSERT_TRUE(store_->createKey(RegRoot::LocalMachine, "SOFTWARE\\Other"));
    EXPECT_EQ(readFile(systemFile_), std::string(Header) + "\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\n");
    EXPECT_EQ(readFile(userFile_).find("Other"), std::string::npos);

    EXPECT_FALSE(store_->createKey(RegRoot::CurrentUser, "A\\\\B"));
    EXPECT_FALSE(store_->createKey(RegRoot::CurrentUser, "A\nB"));
}

TEST_F(RegFileStoreTest, ValuesPersistAndNamesIgnoreCase) {
    const RegValue text = RegValue::text("proxy \"one\"\xff");
    const RegValue blob = RegValue::binary({0, 1, 2, 3, 4, 5, 6, 7});
    {
        auto key = open();
        ASSERT_TRUE(key);
        ASSERT_TRUE(key->setValue("ProxyPort", RegValue::dword(1080)));
        ASSERT_TRUE(key->setValue("ProxyHost", text));
        ASSERT_TRUE(key->setValue("Blob", blob));
        ASSERT_TRUE(key->setValue("PROXYPORT", RegValue::dword(8080)));
        RegValue read;
        ASSERT_EQ(key->queryValue("proxyport", read), RegStatus::Ok);
        EXPECT_EQ(read, RegValue::dword(8080));
    }
    RegFileStore fresh({userFile_, systemFile_});
    auto key = fresh.createKey(RegRoot::CurrentUser, "software\\NORVIK\\tavora live\\browser");
    ASSERT_TRUE(key);
    RegValue read;
    EXPECT_EQ(key->queryValue("ProxyHost", read), RegStatus::Ok);
    EXPECT_EQ(read, text);
    EXPECT_EQ(key->queryValue("blob", read), RegStatus::Ok);
    EXPECT_EQ(read, blob);
    EXPECT_EQ(key->queryValue("Missing", read), RegStatus::NotFound);

    const std::string file = readFile(userFile_);
    EXPECT_NE(file.find("\"ProxyPort\"=dword:00001f90\n"), std::string::npos) << file;
    EXPECT_EQ(file.find("software"), std::string::npos) << "the first spelling is kept";
}

TEST_F(RegFileStoreTest, KeepsEveryOtherKeyAndValue) {
    const std::string original = "Windows Registry Editor Version 5.00\r\n\r\n"
                                 "[HKEY_CURRENT_USER\\Software\\Client]\r\n"
                                 "\"Servers\"=hex(7):61,00,62,00,00\r\n"
                                 "\"Count\"=hex(b):01,00,00,00,00,00,00,00\r\n"
                                 "@=\"client default\"\r\n"
                                 "\r\n"
                                 "[HKEY_CURRENT_USER\\SOFTWARE\\Norvik\\Tavora Live\\Browser]\r\n"
                                 "\"ClientOnly\"=\"kept\"\r\n"
                                 "\"ProxyPort\"=dword:00000438\r\n"
                                 "\r\n"
                                 "[HKEY_LOCAL_MACHINE\\Foreign]\r\n"
                                 "\"X\"=hex:01\r\n";
    writeFile(userFile_, original);
    fs::permissions(userFile_, fs::perms(0640));
    auto expected = parseRegFile(original);
    ASSERT_TRUE(expected);
    expected->keys[1].setValue("ProxyPort", RegValue::dword(3128));
    expected->keys[1].setValue("ProxyHost", RegValue::text("h"));

    auto key = open();
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->setValue("ProxyPort", RegValue::dword(3128)));
    ASSERT_TRUE(key->setValue("ProxyHost", RegValue::text("h")));
    EXPECT_EQ(parseRegFile(readFile(userFile_)), expected);
    EXPECT_EQ(Mode(userFile_), 0640u) << "a file replaced keeps its mode";
}

// Several values are one replacement of the file, and its bytes are synced
// before the rename makes them the file, the folder after it.
TEST_F(RegFileStoreTest, ValuesAreStoredAsOneSyncedReplacement) {
    auto key = open();
    ASSERT_TRUE(key);
    auto calls = std::make_shared<RecordingCalls>(userFile_.parent_path());
    store_->setFileCalls(calls);
    const std::vector<RegNamedValue> values = {{"UseProxy", RegValue::dword(1)},
                                                {"ProxyHost", RegValue::text("h")},
                                                {"ProxyPort", RegValue::dword(81)}};
    EXPECT_EQ(key->setValues(values), 3u);
    EXPECT_EQ(calls->calls, (std::vector<std::string>{"write user.reg.tmp.*", "fsync user.reg.tmp.*",
                                                      "rename user.reg.tmp.* user.reg", "fsync ."}));
    const auto document = parseRegFile(readFile(userFile_));
    ASSERT_TRUE(document);
    EXPECT_EQ(document->keys.at(0).values, values);

    calls->calls.clear();
    EXPECT_EQ(key->setValues(values), 3u);
    EXPECT_TRUE(calls->calls.empty()) << "values as stored need no new file";
}

// A help desk may link the settings file to a shared one: the link stays,
// and the file it names is replaced in its own folder.
TEST_F(RegFileStoreTest, LinkedFileStaysALinkAndItsTargetIsWritten) {
    const fs::path shared = dir_ / "shared" / "classroom.reg";
    writeFile(shared, std::string(Header) + "\n[HKEY_CURRENT_USER\\Software\\Client]\n\"Room\"=\"12\"\n");
    fs::create_directories(userFile_.parent_path());
    fs::create_symlink("../../shared/classroom.reg", userFile_);
    // Shared with the others who read it, owned (where the test may) by another user.
    fs::permissions(shared, fs::perms(0644));
    const bool root = ::geteuid() == 0;
    ASSERT_TRUE(!root || ::chown(shared.c_str(), 65534, 65534) == 0);

    auto key = open();
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->setValue("ProxyPort", RegValue::dword(3128)));
    EXPECT_TRUE(fs::is_symlink(userFile_));
    EXPECT_EQ(fs::read_symlink(userFile_), "../../shared/classroom.reg");
    struct stat st {};
    ASSERT_EQ(::stat(shared.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    EXPECT_EQ(st.st_uid, root ? 65534u : ::geteuid());
    const std::string text = readFile(shared);
    EXPECT_NE(text.find("\"ProxyPort\"=dword:00000c38"), std::string::npos) << text;
    EXPECT_NE(text.find("\"Room\"=\"12\""), std::string::npos) << text;
    EXPECT_EQ(filesBesideUserFile(), std::vector<std::string>{"user.reg"});
    std::vector<std::string> besideShared;
    for (const auto& entry : fs::directory_iterator(shared.parent_path()))
        besideShared.push_back(entry.path().filename().string());
    std::sort(besideShared.begin(), besideShared.end());
    EXPECT_EQ(besideShared, (std::vector<std::string>{"classroom.reg", "classroom.reg.lock"}));

    // A link to a file not there yet names the file to create.
    fs::remove(shared);
    ASSERT_TRUE(open());
    EXPECT_TRUE(fs::is_symlink(userFile_));
    EXPECT_TRUE(fs::is_regular_file(shared));
}

TEST_F(RegFileStoreTest, UnreadableFileIsKeptAsideBeforeItIsReplaced) {
    const std::string garbage("not a registry file\0\xff\n[HKEY_CURRENT_USER\\X]\n", 44);
    writeFile(userFile_, garbage);
    std::vector<std::string> notices;
    store_->setNoticeHandler([&](const std::string& notice) { notices.push_back(notice); });

    auto key = open();
    ASSERT_TRUE(key);
    RegValue read;
    EXPECT_EQ(key->queryValue("ProxyPort", read), RegStatus::NotFound);
    const auto names = filesBesideUserFile();
    ASSERT_EQ(names.size(), 3u); // user.reg, user.reg.corrupt-..., user.reg.lock
    EXPECT_TRUE(names[1].starts_with("user.reg.corrupt-")) << names[1];
    EXPECT_EQ(readFile(userFile_.parent_path() / names[1]), garbage);
    EXPECT_EQ(Mode(userFile_.parent_path() / names[1]), 0600u);
    EXPECT_EQ(notices.size(), 1u);
    EXPECT_TRUE(parseRegFile(readFile(userFile_))->findKey(regKeyFullName(RegRoot::CurrentUser, KeyPath)));

    ASSERT_TRUE(open());
    EXPECT_EQ(filesBesideUserFile().size(), 3u) << "a readable file is not kept aside again";

    // A second bad file, within the same second as likely as not, is kept
    // beside the first one, never over it.
    writeFile(userFile_, "garbage 2");
    ASSERT_TRUE(open());
    const auto after = filesBesideUserFile();
    std::vector<std::string> kept;
    for (const std::string& name : after)
        if (name.starts_with("user.reg.corrupt-"))
            kept.push_back(readFile(userFile_.parent_path() / name));
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(kept, (std::vector<std::string>{"garbage 2", garbage}));
}

TEST_F(RegFileStoreTest, UnreadableFileIsNotReplacedWhenItCannotBeKeptAside) {
    writeFile(userFile_, "garbage");
    store_->setFaultHook([](RegWriteStep step) { return step == RegWriteStep::SetAside ? EIO : 0; });
    EXPECT_FALSE(open());
    EXPECT_EQ(store_->location(RegRoot::CurrentUser), userFile_.string());
    EXPECT_NE(store_->lastError().find("could not be kept aside"), std::string::npos) << store_->lastError();
    EXPECT_EQ(readFile(userFile_), "garbage");
    EXPECT_EQ(filesBesideUserFile(), (std::vector<std::string>{"user.reg", "user.reg.lock"}));
}

TEST_F(RegFileStoreTest, RefusedWriteStepLeavesTheOldFile) {
    auto key = open();
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->setValue("V", RegValue::dword(1)));
    const std::string before = readFile(userFile_);
    std::uint32_t next = 2;
    for (auto failing : {RegWriteStep::Lock, RegWriteStep::CreateTemp, RegWriteStep::Write,
                         RegWriteStep::Sync, RegWriteStep::Rename}) {
        store_->setFaultHook([=](RegWriteStep step) { return step == failing ? ENOSPC : 0; });
        EXPECT_FALSE(key->setValue("V", RegValue::dword(next++))) << static_cast<int>(failing);
        EXPECT_EQ(store_->lastError(), std::strerror(ENOSPC)); // the system's reason, for the message
        EXPECT_EQ(readFile(userFile_), before);
        EXPECT_EQ(filesBesideUserFile(), (std::vector<std::string>{"user.reg", "user.reg.lock"}));
    }
    // Once renamed the value is visible, but not known to be durable: still reported.
    store_->setFaultHook([](RegWriteStep step) { return step == RegWriteStep::SyncDir ? EIO : 0; });
    EXPECT_FALSE(key->setValue("V", RegValue::dword(99)));
    EXPECT_NE(readFile(userFile_).find("dword:00000063"), std::string::npos);
}

TEST_F(RegFileStoreTest, WriterKilledBeforeRenameLeavesTheOldFileAndNoLitter) {
    ASSERT_TRUE(open()->setValue("V", RegValue::text("old")));
    const std::string before = readFile(userFile_);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        store_->setFaultHook([](RegWriteStep step) {
            if (step == RegWriteStep::Rename)
                ::raise(SIGKILL);
            return 0;
        });
        open()->setValue("V", RegValue::text("new"));
        ::_exit(1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(readFile(userFile_), before);
    EXPECT_EQ(filesBesideUserFile().size(), 3u) << "the killed writer's temporary file";

    ASSERT_TRUE(open()->setValue("V", RegValue::text("newer")));
    EXPECT_EQ(filesBesideUserFile(), (std::vector<std::string>{"user.reg", "user.reg.lock"}));
}

// A writer killed at random instants of many writes: the file always reads
// whole, as one of the states it was written in.
TEST_F(RegFileStoreTest, WriterKilledAtAnyInstantLeavesAWholeFile) {
    std::srand(12345);
    for (int round = 0; round < 20; ++round) {
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(ready[0]);
            for (std::uint32_t n = 1;; ++n) {
                const std::size_t size = 1 + (n * 37 + round) % 500;
                open()->setValue("Blob", RegValue::binary(std::vector<std::uint8_t>(size, size & 0xff)));
                if (n == 1 && ::write(ready[1], "r", 1) != 1)
                    ::_exit(1);
            }
        }
        ::close(ready[1]);
        char byte;
        ASSERT_EQ(::read(ready[0], &byte, 1), 1);
        ::close(ready[0]);
        ::usleep(static_cast<useconds_t>(std::rand() % 4000));
        ::kill(child, SIGKILL);
        ASSERT_EQ(::waitpid(child, nullptr, 0), child);

        const auto document = parseRegFile(readFile(userFile_));
        ASSERT_TRUE(document) << "round " << round;
        const RegFileKey* key = document->findKey(regKeyFullName(RegRoot::CurrentUser, KeyPath));
        ASSERT_TRUE(key);
        const RegValue* blob = key->findValue("Blob");
        ASSERT_TRUE(blob);
        EXPECT_EQ(blob->data, std::vector<std::uint8_t>(blob->data.size(), blob->data.size() & 0xff));
        EXPECT_EQ(Mode(userFile_), 0600u);
    }
}

TEST_F(RegFileStoreTest, ConcurrentWritersLoseNoValue) {
    ASSERT_TRUE(open());
    std::vector<pid_t> children;
    for (char writer : {'A', 'B', 'C'}) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (std::uint32_t i = 0; i < 30; ++i) {
                if (!open()->setValue(std::string(1, writer) + std::to_string(i), RegValue::dword(i)))
                    ::_exit(1);
            }
            ::_exit(0);
        }
        children.push_back(child);
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const auto document = parseRegFile(readFile(userFile_));
    ASSERT_TRUE(document);
    EXPECT_EQ(document->keys.at(0).values.size(), 90u);
}

TEST(RegFileStorePaths, FollowTheXdgConfigDirectory) {
    const char* savedXdg = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = savedXdg ? savedXdg : "";
    ::setenv("XDG_CONFIG_HOME", "/srv/conf", 1);
    EXPECT_EQ(RegFileStore::defaultPaths().currentUser, "/srv/conf/tavora-live/user.reg");
    ::setenv("XDG_CONFIG_HOME", "relative/conf", 1); // not absolute: ignored, as the convention says
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') {
        EXPECT_EQ(RegFileStore::defaultPaths().currentUser, fs::path(home) / ".config/tavora-live/user.reg");
    }
    EXPECT_EQ(RegFileStore::defaultPaths().localMachine, "/etc/tavora-live/system.reg");
    if (savedXdg)
        ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
}
