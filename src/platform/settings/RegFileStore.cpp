#include "platform/settings/RegFileStore.h"

#include "platform/settings/RegFile.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

struct TRegFileStore::TState {
    TPaths Paths;
    TFaultHook FaultHook;
    TNoticeHandler Notice;
    std::shared_ptr<TRegFileCalls> Calls = std::make_shared<TRegFileCalls>();

    mutable std::mutex ErrorMutex;
    std::string LastError;

    // Records the error of a refused open or write; errno names it.
    void Refused(std::string_view what = {}) {
        const std::string reason = std::string(what) + std::strerror(errno);
        const std::lock_guard lock(ErrorMutex);
        LastError = reason;
    }
};

ssize_t TRegFileCalls::Write(int fd, const void* data, std::size_t size) {
    return ::write(fd, data, size);
}

int TRegFileCalls::Fsync(int fd) {
    return ::fsync(fd);
}

int TRegFileCalls::Rename(const char* from, const char* to) {
    return ::rename(from, to);
}

namespace {

using TState = TRegFileStore::TState;

class TFd {
public:
    explicit TFd(int fd) : Fd(fd) {}
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    ~TFd() {
        // Cleanup keeps errno: it names why the operation that left early failed.
        const int error = errno;
        if (Fd >= 0)
            ::close(Fd);
        errno = error;
    }
    int Get() const { return Fd; }
    explicit operator bool() const { return Fd >= 0; }
    // Closes now, reporting the result: a failed close can mean lost data.
    bool Close() { return ::close(std::exchange(Fd, -1)) == 0; }

private:
    int Fd;
};

// Removes a file on scope exit unless released.
class TUnlinkGuard {
public:
    explicit TUnlinkGuard(std::string path) : Path(std::move(path)) {}
    TUnlinkGuard(const TUnlinkGuard&) = delete;
    TUnlinkGuard& operator=(const TUnlinkGuard&) = delete;
    ~TUnlinkGuard() {
        const int error = errno;
        if (!Path.empty())
            ::unlink(Path.c_str());
        errno = error;
    }
    void Release() { Path.clear(); }

private:
    std::string Path;
};

bool Step(const TState& state, TRegWriteStep step) {
    if (!state.FaultHook)
        return true;
    if (const int error = state.FaultHook(step)) {
        errno = error;
        return false;
    }
    return true;
}

} // namespace

TRegFileRead ReadRegFileText(const fs::path& file, std::string& text) {
    text.clear();
    TFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd)
        return errno == ENOENT || errno == ENOTDIR ? TRegFileRead::Missing : TRegFileRead::Failed;
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
        if (n == 0)
            return TRegFileRead::Ok;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return TRegFileRead::Failed;
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
}

namespace {

bool WriteAll(TRegFileCalls& calls, int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = calls.Write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool MakeDirectories(const fs::path& dir) {
    fs::path partial;
    for (const auto& part : dir) {
        partial /= part;
        if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    struct stat st {};
    return ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool SyncDirectory(TRegFileCalls& calls, const fs::path& dir) {
    TFd fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd)
        return false;
    // Some file systems cannot sync a directory; their renames are as durable as they get.
    return calls.Fsync(fd.Get()) == 0 || errno == EINVAL || errno == ENOTSUP;
}

// The file a change replaces: `file` itself, or the file that the symbolic
// link `file` finally names (relative links count from their own directory);
// a link to a missing file names the file to create. Replacing the link by a
// regular file would cut it from the file it shares.
bool ResolveLinks(const fs::path& file, fs::path& target) {
    target = file;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(target.c_str(), &st) != 0)
            return errno == ENOENT;
        if (!S_ISLNK(st.st_mode))
            return true;
        char buffer[PATH_MAX];
        const ssize_t n = ::readlink(target.c_str(), buffer, sizeof buffer);
        if (n < 0)
            return false;
        if (static_cast<std::size_t>(n) == sizeof buffer) {
            errno = ENAMETOOLONG;
            return false;
        }
        const fs::path next(std::string(buffer, static_cast<std::size_t>(n)));
        target = next.is_absolute() ? next : target.parent_path() / next;
    }
    errno = ELOOP;
    return false;
}

// Only a writer holding the lock has a temporary file, so under the lock every
// one of them is left over from a crash.
void RemoveStaleTemporaries(const fs::path& dir, const std::string& prefix) {
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->path().filename().string().starts_with(prefix))
            ::unlink(it->path().c_str());
    }
}

bool KeepAside(const TState& state, const fs::path& file, std::string_view text) {
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%S", &local);
    const std::string base = file.string() + ".corrupt-" + stamp;
    for (int n = 1; n < 1000; ++n) {
        const std::string name = n == 1 ? base : base + "-" + std::to_string(n);
        TFd fd(::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (!fd) {
            if (errno == EEXIST)
                continue;
            return false;
        }
        TUnlinkGuard guard(name);
        if (!WriteAll(*state.Calls, fd.Get(), text) || state.Calls->Fsync(fd.Get()) != 0 || !fd.Close() ||
            !SyncDirectory(*state.Calls, file.parent_path()))
            return false;
        guard.Release();
        if (state.Notice)
            state.Notice("The settings file " + file.string() + " could not be read; it was kept as " + name);
        return true;
    }
    return false;
}

bool ReplaceFile(const TState& state, const fs::path& file, std::string_view text) {
    if (!Step(state, TRegWriteStep::CreateTemp))
        return false;
    std::string temporary = file.string() + ".tmp.XXXXXX";
    TFd fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!fd)
        return false;
    TUnlinkGuard guard(temporary);
    if (::fchmod(fd.Get(), 0600) != 0)
        return false;
    if (!Step(state, TRegWriteStep::Write) || !WriteAll(*state.Calls, fd.Get(), text))
        return false;
    if (!Step(state, TRegWriteStep::Sync) || state.Calls->Fsync(fd.Get()) != 0 || !fd.Close())
        return false;
    if (!Step(state, TRegWriteStep::Rename) || state.Calls->Rename(temporary.c_str(), file.c_str()) != 0)
        return false;
    guard.Release();
    // The new content is in place but not yet durable: still a failure to report.
    return Step(state, TRegWriteStep::SyncDir) && SyncDirectory(*state.Calls, file.parent_path());
}

// Runs `change` on the file's current document under the lock and writes the
// document back when `change` answers that it changed it. `result` receives
// the document as it now stands. A refusal is recorded in the state.
template <typename TChange>
bool UpdateFile(TState& state, const fs::path& configured, TChange change, TRegFileDocument& result) {
    fs::path file;
    if (!MakeDirectories(configured.parent_path()) || !ResolveLinks(configured, file) ||
        !Step(state, TRegWriteStep::Lock)) {
        state.Refused();
        return false;
    }
    TFd lock(::open((file.string() + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!lock) {
        state.Refused();
        return false;
    }
    while (::flock(lock.Get(), LOCK_EX) != 0) {
        if (errno != EINTR) {
            state.Refused();
            return false;
        }
    }
    RemoveStaleTemporaries(file.parent_path(), file.filename().string() + ".tmp.");

    std::string text;
    if (ReadRegFileText(file, text) == TRegFileRead::Failed) {
        state.Refused();
        return false;
    }
    auto document = ParseRegFile(text);
    bool changed = false;
    if (!document) {
        if (!Step(state, TRegWriteStep::SetAside) || !KeepAside(state, file, text)) {
            state.Refused("the file cannot be read as settings, and a copy of it could not be kept aside: ");
            return false;
        }
        document.emplace();
        changed = true;
    }
    changed = change(*document) || changed;
    if (changed && !ReplaceFile(state, file, FormatRegFile(*document))) {
        state.Refused();
        return false;
    }
    result = std::move(*document);
    return true;
}

class TFileKey final : public TRegKey {
public:
    TFileKey(std::shared_ptr<TState> state, fs::path file, TRegFileKey snapshot)
        : State(std::move(state)), File(std::move(file)), Snapshot(std::move(snapshot)) {}

    TRegStatus QueryValue(std::string_view name, TRegValue& value) override {
        const TRegValue* found = Snapshot.FindValue(name);
        if (!found)
            return TRegStatus::NotFound;
        value = *found;
        return TRegStatus::Ok;
    }

    bool SetValue(std::string_view name, const TRegValue& value) override {
        const TRegNamedValue one{std::string(name), value};
        return SetValues({&one, 1}) == 1;
    }

    // One replacement of the file for all the values: all of them or none.
    std::size_t SetValues(std::span<const TRegNamedValue> values) override {
        TRegFileDocument now;
        const bool stored = UpdateFile(
            *State, File,
            [&](TRegFileDocument& document) {
                TRegFileKey& key = document.ObtainKey(Snapshot.Name);
                bool changed = false;
                for (const TRegNamedValue& v : values) {
                    const TRegValue* old = key.FindValue(v.Name);
                    if (old && *old == v.Value)
                        continue;
                    key.SetValue(v.Name, v.Value);
                    changed = true;
                }
                return changed;
            },
            now);
        if (!stored)
            return 0;
        Snapshot = *now.FindKey(Snapshot.Name);
        return values.size();
    }

private:
    std::shared_ptr<TState> State;
    fs::path File;
    TRegFileKey Snapshot;
};

std::string PasswdHome() {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found ||
        !found->pw_dir)
        return {};
    return found->pw_dir;
}

} // namespace

TRegFileStore::TPaths TRegFileStore::DefaultPaths() {
    fs::path config;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/') {
        config = xdg;
    } else {
        const char* home = std::getenv("HOME");
        const std::string dir = home && home[0] == '/' ? std::string(home) : PasswdHome();
        if (!dir.empty())
            config = fs::path(dir) / ".config";
    }
    return {config.empty() ? fs::path() : config / "tavora-live" / "user.reg", "/etc/tavora-live/system.reg"};
}

TRegFileStore::TRegFileStore(TPaths paths) : State(std::make_shared<TState>()) {
    State->Paths = std::move(paths);
}

void TRegFileStore::SetFaultHook(TFaultHook hook) {
    State->FaultHook = std::move(hook);
}

void TRegFileStore::SetNoticeHandler(TNoticeHandler handler) {
    State->Notice = std::move(handler);
}

void TRegFileStore::SetFileCalls(std::shared_ptr<TRegFileCalls> calls) {
    State->Calls = std::move(calls);
}

std::string TRegFileStore::Location(TRegRoot root) const {
    return (root == TRegRoot::CurrentUser ? State->Paths.CurrentUser : State->Paths.LocalMachine).string();
}

std::string TRegFileStore::LastError() const {
    const std::lock_guard lock(State->ErrorMutex);
    return State->LastError;
}

std::unique_ptr<TRegKey> TRegFileStore::CreateKey(TRegRoot root, std::string_view path) {
    const fs::path& file =
        root == TRegRoot::CurrentUser ? State->Paths.CurrentUser : State->Paths.LocalMachine;
    if (file.empty() || !file.has_parent_path()) {
        const std::lock_guard lock(State->ErrorMutex);
        State->LastError = "no folder for the settings is known (HOME is not set)";
        return nullptr;
    }
    if (!IsValidRegKeyPath(path))
        return nullptr;
    const std::string fullName = RegKeyFullName(root, path);

    std::string text;
    const TRegFileRead read = ReadRegFileText(file, text);
    if (read == TRegFileRead::Failed) {
        State->Refused();
        return nullptr;
    }
    if (read == TRegFileRead::Ok) {
        if (const auto document = ParseRegFile(text)) {
            if (const TRegFileKey* key = document->FindKey(fullName))
                return std::make_unique<TFileKey>(State, file, *key);
        }
    }

    TRegFileDocument now;
    const bool created = UpdateFile(
        *State, file,
        [&](TRegFileDocument& document) {
            if (document.FindKey(fullName))
                return false;
            document.ObtainKey(fullName);
            return true;
        },
        now);
    if (!created)
        return nullptr;
    return std::make_unique<TFileKey>(State, file, *now.FindKey(fullName));
}
