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

namespace tavora {

namespace fs = std::filesystem;

struct RegFileStore::State {
    Paths paths;
    FaultHook faultHook;
    NoticeHandler notice;
    std::shared_ptr<RegFileCalls> calls = std::make_shared<RegFileCalls>();

    mutable std::mutex errorMutex;
    std::string lastError;

    // Records the error of a refused open or write; errno names it.
    void refused(std::string_view what = {}) {
        const std::string reason = std::string(what) + std::strerror(errno);
        const std::lock_guard lock(errorMutex);
        lastError = reason;
    }
};

ssize_t RegFileCalls::write(int fd, const void* data, std::size_t size) {
    return ::write(fd, data, size);
}

int RegFileCalls::fsync(int fd) {
    return ::fsync(fd);
}

int RegFileCalls::rename(const char* from, const char* to) {
    return ::rename(from, to);
}

namespace {

using State = RegFileStore::State;

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        // Cleanup keeps errno: it names why the operation that left early failed.
        const int error = errno;
        if (fd_ >= 0)
            ::close(fd_);
        errno = error;
    }
    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    // Closes now, reporting the result: a failed close can mean lost data.
    bool close() { return ::close(std::exchange(fd_, -1)) == 0; }

private:
    int fd_;
};

// Removes a file on scope exit unless released.
class UnlinkGuard {
public:
    explicit UnlinkGuard(std::string path) : path_(std::move(path)) {}
    UnlinkGuard(const UnlinkGuard&) = delete;
    UnlinkGuard& operator=(const UnlinkGuard&) = delete;
    ~UnlinkGuard() {
        const int error = errno;
        if (!path_.empty())
            ::unlink(path_.c_str());
        errno = error;
    }
    void release() { path_.clear(); }

private:
    std::string path_;
};

bool step(const State& state, RegWriteStep step) {
    if (!state.faultHook)
        return true;
    if (const int error = state.faultHook(step)) {
        errno = error;
        return false;
    }
    return true;
}

} // namespace

RegFileRead readRegFileText(const fs::path& file, std::string& text) {
    text.clear();
    Fd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd)
        return errno == ENOENT || errno == ENOTDIR ? RegFileRead::Missing : RegFileRead::Failed;
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n == 0)
            return RegFileRead::Ok;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return RegFileRead::Failed;
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
}

namespace {

bool writeAll(RegFileCalls& calls, int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = calls.write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool makeDirectories(const fs::path& dir) {
    fs::path partial;
    for (const auto& part : dir) {
        partial /= part;
        if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    struct stat st {};
    return ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool syncDirectory(RegFileCalls& calls, const fs::path& dir) {
    Fd fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd)
        return false;
    // Some file systems cannot sync a directory; their renames are as durable as they get.
    return calls.fsync(fd.get()) == 0 || errno == EINVAL || errno == ENOTSUP;
}

// The file a change replaces: `file` itself, or the file that the symbolic
// link `file` finally names (relative links count from their own directory);
// a link to a missing file names the file to create. Replacing the link by a
// regular file would cut it from the file it shares.
bool resolveLinks(const fs::path& file, fs::path& target) {
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
void removeStaleTemporaries(const fs::path& dir, const std::string& prefix) {
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->path().filename().string().starts_with(prefix))
            ::unlink(it->path().c_str());
    }
}

bool keepAside(const State& state, const fs::path& file, std::string_view text) {
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%S", &local);
    const std::string base = file.string() + ".corrupt-" + stamp;
    for (int n = 1; n < 1000; ++n) {
        const std::string name = n == 1 ? base : base + "-" + std::to_string(n);
        Fd fd(::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (!fd) {
            if (errno == EEXIST)
                continue;
            return false;
        }
        UnlinkGuard guard(name);
        if (!writeAll(*state.calls, fd.get(), text) || state.calls->fsync(fd.get()) != 0 || !fd.close() ||
            !syncDirectory(*state.calls, file.parent_path()))
            return false;
        guard.release();
        if (state.notice)
            state.notice("The settings file " + file.string() + " could not be read; it was kept as " + name);
        return true;
    }
    return false;
}

// Gives a replacement the owner of the file it replaces as far as the process
// may: root both user and group, a member of the file's group the group.
void keepOwner(int fd, const struct stat& existing) {
    if (existing.st_uid == ::geteuid() && existing.st_gid == ::getegid())
        return;
    if (::fchown(fd, existing.st_uid, existing.st_gid) != 0 &&
        ::fchown(fd, static_cast<uid_t>(-1), existing.st_gid) != 0) {
        // Not permitted: the file becomes the process's own, with the old mode.
    }
}

bool replaceFile(const State& state, const fs::path& file, std::string_view text) {
    if (!step(state, RegWriteStep::CreateTemp))
        return false;
    // The replacement keeps the mode of the file it replaces, and its owner
    // where the process may set that: a file shared with others (through a
    // link, say) stays readable to them. A new file is private.
    struct stat existing {};
    const bool replacing = ::stat(file.c_str(), &existing) == 0 && S_ISREG(existing.st_mode);
    std::string temporary = file.string() + ".tmp.XXXXXX";
    Fd fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!fd)
        return false;
    UnlinkGuard guard(temporary);
    if (replacing)
        keepOwner(fd.get(), existing);
    if (::fchmod(fd.get(), replacing ? existing.st_mode & 07777 : 0600) != 0)
        return false;
    if (!step(state, RegWriteStep::Write) || !writeAll(*state.calls, fd.get(), text))
        return false;
    if (!step(state, RegWriteStep::Sync) || state.calls->fsync(fd.get()) != 0 || !fd.close())
        return false;
    if (!step(state, RegWriteStep::Rename) || state.calls->rename(temporary.c_str(), file.c_str()) != 0)
        return false;
    guard.release();
    // The new content is in place but not yet durable: still a failure to report.
    return step(state, RegWriteStep::SyncDir) && syncDirectory(*state.calls, file.parent_path());
}

// Runs `change` on the file's current document under the lock and writes the
// document back when `change` answers that it changed it. `result` receives
// the document as it now stands. A refusal is recorded in the state.
template <typename TChange>
bool updateFile(State& state, const fs::path& configured, TChange change, RegFileDocument& result) {
    fs::path file;
    if (!makeDirectories(configured.parent_path()) || !resolveLinks(configured, file) ||
        !step(state, RegWriteStep::Lock)) {
        state.refused();
        return false;
    }
    Fd lock(::open((file.string() + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!lock) {
        state.refused();
        return false;
    }
    while (::flock(lock.get(), LOCK_EX) != 0) {
        if (errno != EINTR) {
            state.refused();
            return false;
        }
    }
    removeStaleTemporaries(file.parent_path(), file.filename().string() + ".tmp.");

    std::string text;
    if (readRegFileText(file, text) == RegFileRead::Failed) {
        state.refused();
        return false;
    }
    auto document = parseRegFile(text);
    bool changed = false;
    if (!document) {
        if (!step(state, RegWriteStep::SetAside) || !keepAside(state, file, text)) {
            state.refused("the file cannot be read as settings, and a copy of it could not be kept aside: ");
            return false;
        }
        document.emplace();
        changed = true;
    }
    changed = change(*document) || changed;
    if (changed && !replaceFile(state, file, formatRegFile(*document))) {
        state.refused();
        return false;
    }
    result = std::move(*document);
    return true;
}

class FileKey final : public RegKey {
public:
    FileKey(std::shared_ptr<State> state, fs::path file, RegFileKey snapshot)
        : state_(std::move(state)), file_(std::move(file)), snapshot_(std::move(snapshot)) {}

    RegStatus queryValue(std::string_view name, RegValue& value) override {
        const RegValue* found = snapshot_.findValue(name);
        if (!found)
            return RegStatus::NotFound;
        value = *found;
        return RegStatus::Ok;
    }

    bool setValue(std::string_view name, const RegValue& value) override {
        const RegNamedValue one{std::string(name), value};
        return setValues({&one, 1}) == 1;
    }

    // One replacement of the file for all the values: all of them or none.
    std::size_t setValues(std::span<const RegNamedValue> values) override {
        RegFileDocument now;
        const bool stored = updateFile(
            *state_, file_,
            [&](RegFileDocument& document) {
                RegFileKey& key = document.obtainKey(snapshot_.name);
                bool changed = false;
                for (const RegNamedValue& v : values) {
                    const RegValue* old = key.findValue(v.name);
                    if (old && *old == v.value)
                        continue;
                    key.setValue(v.name, v.value);
                    changed = true;
                }
                return changed;
            },
            now);
        if (!stored)
            return 0;
        snapshot_ = *now.findKey(snapshot_.name);
        return values.size();
    }

private:
    std::shared_ptr<State> state_;
    fs::path file_;
    RegFileKey snapshot_;
};

std::string passwdHome() {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found ||
        !found->pw_dir)
        return {};
    return found->pw_dir;
}

} // namespace

RegFileStore::Paths RegFileStore::defaultPaths() {
    fs::path config;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/') {
        config = xdg;
    } else {
        const char* home = std::getenv("HOME");
        const std::string dir = home && home[0] == '/' ? std::string(home) : passwdHome();
        if (!dir.empty())
            config = fs::path(dir) / ".config";
    }
    return {config.empty() ? fs::path() : config / "tavora-live" / "user.reg", "/etc/tavora-live/system.reg"};
}

RegFileStore::RegFileStore(Paths paths) : state_(std::make_shared<State>()) {
    state_->paths = std::move(paths);
}

void RegFileStore::setFaultHook(FaultHook hook) {
    state_->faultHook = std::move(hook);
}

void RegFileStore::setNoticeHandler(NoticeHandler handler) {
    state_->notice = std::move(handler);
}

void RegFileStore::setFileCalls(std::shared_ptr<RegFileCalls> calls) {
    state_->calls = std::move(calls);
}

std::string RegFileStore::location(RegRoot root) const {
    return (root == RegRoot::CurrentUser ? state_->paths.currentUser : state_->paths.localMachine).string();
}

std::string RegFileStore::lastError() const {
    const std::lock_guard lock(state_->errorMutex);
    return state_->lastError;
}

std::unique_ptr<RegKey> RegFileStore::createKey(RegRoot root, std::string_view path) {
    const fs::path& file =
        root == RegRoot::CurrentUser ? state_->paths.currentUser : state_->paths.localMachine;
    if (file.empty() || !file.has_parent_path()) {
        const std::lock_guard lock(state_->errorMutex);
        state_->lastError = "no folder for the settings is known (HOME is not set)";
        return nullptr;
    }
    if (!isValidRegKeyPath(path))
        return nullptr;
    const std::string fullName = regKeyFullName(root, path);

    std::string text;
    const RegFileRead read = readRegFileText(file, text);
    if (read == RegFileRead::Failed) {
        state_->refused();
        return nullptr;
    }
    if (read == RegFileRead::Ok) {
        if (const auto document = parseRegFile(text)) {
            if (const RegFileKey* key = document->findKey(fullName))
                return std::make_unique<FileKey>(state_, file, *key);
        }
    }

    RegFileDocument now;
    const bool created = updateFile(
        *state_, file,
        [&](RegFileDocument& document) {
            if (document.findKey(fullName))
                return false;
            document.obtainKey(fullName);
            return true;
        },
        now);
    if (!created)
        return nullptr;
    return std::make_unique<FileKey>(state_, file, *now.findKey(fullName));
}

} // namespace tavora
