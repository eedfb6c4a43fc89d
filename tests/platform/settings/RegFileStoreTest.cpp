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

namespace fs = std::filesystem;

namespace {

constexpr std::string_view KeyPath = "SOFTWARE\\Norvik\\Tavora Live\\Browser";
constexpr std::string_view Header = "Windows Registry Editor Version 5.00\n";

std::string ReadFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const fs::path& file, std::string_view text) {
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
class TRecordingCalls final : public TRegFileCalls {
public:
    explicit TRecordingCalls(const fs::path& dir) : Dir(fs::canonical(dir)) {}

    ssize_t Write(int fd, const void* data, std::size_t size) override {
        Note("write " + Name(fd));
        return TRegFileCalls::Write(fd, data, size);
    }
    int Fsync(int fd) override {
        Note("fsync " + Name(fd));
        return TRegFileCalls::Fsync(fd);
    }
    int Rename(const char* from, const char* to) override {
        Note("rename " + Name(from) + " " + Name(to));
        return TRegFileCalls::Rename(from, to);
    }

    std::vector<std::string> Calls;

private:
    std::string Name(const fs::path& path) const {
        std::string name = fs::weakly_canonical(path).lexically_relative(Dir).string();
        if (const auto at = name.find(".tmp."); at != std::string::npos)
            name = name.substr(0, at + 5) + "*";
        return name;
    }
    std::string Name(int fd) const { return Name(fs::read_symlink("/proc/self/fd/" + std::to_string(fd))); }
    void Note(std::string call) {
        if (Calls.empty() || Calls.back() != call)
            Calls.push_back(std::move(call));
    }

    fs::path Dir;
};

class RegFileStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "regstore-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        Dir = pattern;
        UserFile = Dir / "config" / "tavora-live" / "user.reg";
        SystemFile = Dir / "etc" / "system.reg";
        Store = std::make_unique<TRegFileStore>(TRegFileStore::TPaths{UserFile, SystemFile});
    }
    void TearDown() override { fs::remove_all(Dir); }

    std::unique_ptr<TRegKey> Open() { return Store->CreateKey(TRegRoot::CurrentUser, KeyPath); }

    std::vector<std::string> FilesBesideUserFile() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(UserFile.parent_path()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path Dir, UserFile, SystemFile;
    std::unique_ptr<TRegFileStore> Store;
};

} // namespace

TEST_F(RegFileStoreTest, FirstOpenCreatesThePrivateFileWithTheKey) {
    ASSERT_TRUE(Open());
    EXPECT_EQ(ReadFile(UserFile),
              std::string(Header) + "\n[HKEY_CURRENT_USER\\SOFTWARE\\Norvik\\Tavora Live\\Browser]\n");
    EXPECT_EQ(Mode(UserFile), 0600u);
    EXPECT_EQ(Mode(Dir / "config"), 0700u);
    EXPECT_EQ(Mode(UserFile.parent_path()), 0700u);

    ASSERT_TRUE(Store->CreateKey(TRegRoot::LocalMachine, "SOFTWARE\\Other"));
    EXPECT_EQ(ReadFile(SystemFile), std::string(Header) + "\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\n");
    EXPECT_EQ(ReadFile(UserFile).find("Other"), std::string::npos);

    EXPECT_FALSE(Store->CreateKey(TRegRoot::CurrentUser, "A\\\\B"));
    EXPECT_FALSE(Store->CreateKey(TRegRoot::CurrentUser, "A\nB"));
}

TEST_F(RegFileStoreTest, ValuesPersistAndNamesIgnoreCase) {
    const TRegValue text = TRegValue::Text("proxy \"one\"\xff");
    const TRegValue blob = TRegValue::Binary({0, 1, 2, 3, 4, 5, 6, 7});
    {
        auto key = Open();
        ASSERT_TRUE(key);
        ASSERT_TRUE(key->SetValue("ProxyPort", TRegValue::Dword(1080)));
        ASSERT_TRUE(key->SetValue("ProxyHost", text));
        ASSERT_TRUE(key->SetValue("Blob", blob));
        ASSERT_TRUE(key->SetValue("PROXYPORT", TRegValue::Dword(8080)));
        TRegValue read;
        ASSERT_EQ(key->QueryValue("proxyport", read), TRegStatus::Ok);
        EXPECT_EQ(read, TRegValue::Dword(8080));
    }
    TRegFileStore fresh({UserFile, SystemFile});
    auto key = fresh.CreateKey(TRegRoot::CurrentUser, "software\\NORVIK\\tavora live\\browser");
    ASSERT_TRUE(key);
    TRegValue read;
    EXPECT_EQ(key->QueryValue("ProxyHost", read), TRegStatus::Ok);
    EXPECT_EQ(read, text);
    EXPECT_EQ(key->QueryValue("blob", read), TRegStatus::Ok);
    EXPECT_EQ(read, blob);
    EXPECT_EQ(key->QueryValue("Missing", read), TRegStatus::NotFound);

    const std::string file = ReadFile(UserFile);
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
    WriteFile(UserFile, original);
    auto expected = ParseRegFile(original);
    ASSERT_TRUE(expected);
    expected->Keys[1].SetValue("ProxyPort", TRegValue::Dword(3128));
    expected->Keys[1].SetValue("ProxyHost", TRegValue::Text("h"));

    auto key = Open();
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->SetValue("ProxyPort", TRegValue::Dword(3128)));
    ASSERT_TRUE(key->SetValue("ProxyHost", TRegValue::Text("h")));
    EXPECT_EQ(ParseRegFile(ReadFile(UserFile)), expected);
    EXPECT_EQ(Mode(UserFile), 0600u);
}

// Several values are one replacement of the file, and its bytes are synced
// before the rename makes them the file, the folder after it.
TEST_F(RegFileStoreTest, ValuesAreStoredAsOneSyncedReplacement) {
    auto key = Open();
    ASSERT_TRUE(key);
    auto calls = std::make_shared<TRecordingCalls>(UserFile.parent_path());
    Store->SetFileCalls(calls);
    const std::vector<TRegNamedValue> values = {{"UseProxy", TRegValue::Dword(1)},
                                                {"ProxyHost", TRegValue::Text("h")},
                                                {"ProxyPort", TRegValue::Dword(81)}};
    EXPECT_EQ(key->SetValues(values), 3u);
    EXPECT_EQ(calls->Calls, (std::vector<std::string>{"write user.reg.tmp.*", "fsync user.reg.tmp.*",
                                                      "rename user.reg.tmp.* user.reg", "fsync ."}));
    const auto document = ParseRegFile(ReadFile(UserFile));
    ASSERT_TRUE(document);
    EXPECT_EQ(document->Keys.at(0).Values, values);

    calls->Calls.clear();
    EXPECT_EQ(key->SetValues(values), 3u);
    EXPECT_TRUE(calls->Calls.empty()) << "values as stored need no new file";
}

// A help desk may link the settings file to a shared one: the link stays,
// and the file it names is replaced in its own folder.
TEST_F(RegFileStoreTest, LinkedFileStaysALinkAndItsTargetIsWritten) {
    const fs::path shared = Dir / "shared" / "classroom.reg";
    WriteFile(shared, std::string(Header) + "\n[HKEY_CURRENT_USER\\Software\\Client]\n\"Room\"=\"12\"\n");
    fs::create_directories(UserFile.parent_path());
    fs::create_symlink("../../shared/classroom.reg", UserFile);

    auto key = Open();
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->SetValue("ProxyPort", TRegValue::Dword(3128)));
    EXPECT_TRUE(fs::is_symlink(UserFile));
    EXPECT_EQ(fs::read_symlink(UserFile), "../../shared/classroom.reg");
    const std::string text = ReadFile(shared);
    EXPECT_NE(text.find("\"ProxyPort\"=dword:00000c38"), std::string::npos) << text;
    EXPECT_NE(text.find("\"Room\"=\"12\""), std::string::npos) << text;
    EXPECT_EQ(FilesBesideUserFile(), std::vector<std::string>{"user.reg"});
    std::vector<std::string> besideShared;
    for (const auto& entry : fs::directory_iterator(shared.parent_path()))
        besideShared.push_back(entry.path().filename().string());
    std::sort(besideShared.begin(), besideShared.end());
    EXPECT_EQ(besideShared, (std::vector<std::string>{"classroom.reg", "classroom.reg.lock"}));

    // A link to a file not there yet names the file to create.
    fs::remove(shared);
    ASSERT_TRUE(Open());
    EXPECT_TRUE(fs::is_symlink(UserFile));
    EXPECT_TRUE(fs::is_regular_file(shared));
}

TEST_F(RegFileStoreTest, UnreadableFileIsKeptAsideBeforeItIsReplaced) {
    const std::string garbage("not a registry file\0\xff\n[HKEY_CURRENT_USER\\X]\n", 44);
    WriteFile(UserFile, garbage);
    std::vector<std::string> notices;
    Store->SetNoticeHandler([&](const std::string& notice) { notices.push_back(notice); });

    auto key = Open();
    ASSERT_TRUE(key);
    TRegValue read;
    EXPECT_EQ(key->QueryValue("ProxyPort", read), TRegStatus::NotFound);
    const auto names = FilesBesideUserFile();
    ASSERT_EQ(names.size(), 3u); // user.reg, user.reg.corrupt-..., user.reg.lock
    EXPECT_TRUE(names[1].starts_with("user.reg.corrupt-")) << names[1];
    EXPECT_EQ(ReadFile(UserFile.parent_path() / names[1]), garbage);
    EXPECT_EQ(Mode(UserFile.parent_path() / names[1]), 0600u);
    EXPECT_EQ(notices.size(), 1u);
    EXPECT_TRUE(ParseRegFile(ReadFile(UserFile))->FindKey(RegKeyFullName(TRegRoot::CurrentUser, KeyPath)));

    ASSERT_TRUE(Open());
    EXPECT_EQ(FilesBesideUserFile().size(), 3u) << "a readable file is not kept aside again";

    // A second bad file, within the same second as likely as not, is kept
    // beside the first one, never over it.
    WriteFile(UserFile, "garbage 2");
    ASSERT_TRUE(Open());
    const auto after = FilesBesideUserFile();
    std::vector<std::string> kept;
    for (const std::string& name : after)
        if (name.starts_with("user.reg.corrupt-"))
            kept.push_back(ReadFile(UserFile.parent_path() / name));
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(kept, (std::vector<std::string>{"garbage 2", garbage}));
}

TEST_F(RegFileStoreTest, UnreadableFileIsNotReplacedWhenItCannotBeKeptAside) {
    WriteFile(UserFile, "garbage");
    Store->SetFaultHook([](TRegWriteStep step) { return step == TRegWriteStep::SetAside ? EIO : 0; });
    EXPECT_FALSE(Open());
    EXPECT_EQ(Store->Location(TRegRoot::CurrentUser), UserFile.string());
    EXPECT_NE(Store->LastError().find("could not be kept aside"), std::string::npos) << Store->LastError();
    EXPECT_EQ(ReadFile(UserFile), "garbage");
    EXPECT_EQ(FilesBesideUserFile(), (std::vector<std::string>{"user.reg", "user.reg.lock"}));
}

TEST_F(RegFileStoreTest, RefusedWriteStepLeavesTheOldFile) {
    auto key = Open();
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->SetValue("V", TRegValue::Dword(1)));
    const std::string before = ReadFile(UserFile);
    std::uint32_t next = 2;
    for (auto failing : {TRegWriteStep::Lock, TRegWriteStep::CreateTemp, TRegWriteStep::Write,
                         TRegWriteStep::Sync, TRegWriteStep::Rename}) {
        Store->SetFaultHook([=](TRegWriteStep step) { return step == failing ? ENOSPC : 0; });
        EXPECT_FALSE(key->SetValue("V", TRegValue::Dword(next++))) << static_cast<int>(failing);
        EXPECT_EQ(Store->LastError(), std::strerror(ENOSPC)); // the system's reason, for the message
        EXPECT_EQ(ReadFile(UserFile), before);
        EXPECT_EQ(FilesBesideUserFile(), (std::vector<std::string>{"user.reg", "user.reg.lock"}));
    }
    // Once renamed the value is visible, but not known to be durable: still reported.
    Store->SetFaultHook([](TRegWriteStep step) { return step == TRegWriteStep::SyncDir ? EIO : 0; });
    EXPECT_FALSE(key->SetValue("V", TRegValue::Dword(99)));
    EXPECT_NE(ReadFile(UserFile).find("dword:00000063"), std::string::npos);
}

TEST_F(RegFileStoreTest, WriterKilledBeforeRenameLeavesTheOldFileAndNoLitter) {
    ASSERT_TRUE(Open()->SetValue("V", TRegValue::Text("old")));
    const std::string before = ReadFile(UserFile);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        Store->SetFaultHook([](TRegWriteStep step) {
            if (step == TRegWriteStep::Rename)
                ::raise(SIGKILL);
            return 0;
        });
        Open()->SetValue("V", TRegValue::Text("new"));
        ::_exit(1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(ReadFile(UserFile), before);
    EXPECT_EQ(FilesBesideUserFile().size(), 3u) << "the killed writer's temporary file";

    ASSERT_TRUE(Open()->SetValue("V", TRegValue::Text("newer")));
    EXPECT_EQ(FilesBesideUserFile(), (std::vector<std::string>{"user.reg", "user.reg.lock"}));
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
                Open()->SetValue("Blob", TRegValue::Binary(std::vector<std::uint8_t>(size, size & 0xff)));
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

        const auto document = ParseRegFile(ReadFile(UserFile));
        ASSERT_TRUE(document) << "round " << round;
        const TRegFileKey* key = document->FindKey(RegKeyFullName(TRegRoot::CurrentUser, KeyPath));
        ASSERT_TRUE(key);
        const TRegValue* blob = key->FindValue("Blob");
        ASSERT_TRUE(blob);
        EXPECT_EQ(blob->Data, std::vector<std::uint8_t>(blob->Data.size(), blob->Data.size() & 0xff));
        EXPECT_EQ(Mode(UserFile), 0600u);
    }
}

TEST_F(RegFileStoreTest, ConcurrentWritersLoseNoValue) {
    ASSERT_TRUE(Open());
    std::vector<pid_t> children;
    for (char writer : {'A', 'B', 'C'}) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (std::uint32_t i = 0; i < 30; ++i) {
                if (!Open()->SetValue(std::string(1, writer) + std::to_string(i), TRegValue::Dword(i)))
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
    const auto document = ParseRegFile(ReadFile(UserFile));
    ASSERT_TRUE(document);
    EXPECT_EQ(document->Keys.at(0).Values.size(), 90u);
}

TEST(RegFileStorePaths, FollowTheXdgConfigDirectory) {
    const char* savedXdg = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = savedXdg ? savedXdg : "";
    ::setenv("XDG_CONFIG_HOME", "/srv/conf", 1);
    EXPECT_EQ(TRegFileStore::DefaultPaths().CurrentUser, "/srv/conf/tavora-live/user.reg");
    ::setenv("XDG_CONFIG_HOME", "relative/conf", 1); // not absolute: ignored, as the convention says
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') {
        EXPECT_EQ(TRegFileStore::DefaultPaths().CurrentUser, fs::path(home) / ".config/tavora-live/user.reg");
    }
    EXPECT_EQ(TRegFileStore::DefaultPaths().LocalMachine, "/etc/tavora-live/system.reg");
    if (savedXdg)
        ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
}
