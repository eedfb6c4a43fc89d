#pragma once

// The registry kept in registry files (format: RegFile.h), one file per root.
//
// Reading takes no lock: the file is only ever replaced whole, by rename, so a
// reader sees either the old or the new file. Every change is a full
// read-modify-write under an exclusive flock on "<file>.lock" (a separate file,
// never deleted, so that the lock outlives the renames): read the current file,
// change one key (setValues: all its values at once), write a temporary file
// "<file>.tmp.XXXXXX" (mode 0600) in the same directory, fsync it, rename it
// over the file, fsync the directory. A crash at any instant leaves the old or
// the new file; temporary files left by a crash are removed by the next
// writer. Missing directories are created with mode 0700. Every other key and
// value of the file, of any type, is written back unchanged, always as UTF-8
// (RegFile.h): a file read as UTF-16 is UTF-8 after its first change.
//
// When the file is a symbolic link (a help desk may link it to a shared file),
// a change replaces the file the link names, in that file's own directory and
// with the lock beside it; the link itself stays.
//
// A file that cannot be parsed reads as an empty registry. Before the first
// write over it, it is copied byte for byte to "<file>.corrupt-<local time>"
// (with "-2", "-3", ... when that name is taken); if the copy cannot be made,
// the write is refused and the file is left alone.

#include "platform/settings/Registry.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <sys/types.h>

namespace tavora {

// The steps of a write, in order, for failure injection in tests.
enum class RegWriteStep { Lock, SetAside, CreateTemp, Write, Sync, Rename, SyncDir };

// The system calls that put a write's bytes in place and make them durable.
// Tests replace them to watch their order; each answers as the system call
// of its name does.
class RegFileCalls {
public:
    virtual ~RegFileCalls() = default;
    virtual ssize_t write(int fd, const void* data, std::size_t size);
    virtual int fsync(int fd);
    virtual int rename(const char* from, const char* to);
};

// Reads a registry file whole, following links. Missing when there is no
// such file (or folder); Failed, with errno set, when it cannot be read (a
// folder in its place, say).
enum class RegFileRead { Ok, Missing, Failed };
RegFileRead readRegFileText(const std::filesystem::path& file, std::string& text);

class RegFileStore final : public Registry {
public:
    struct Paths {
        std::filesystem::path currentUser;  // HKEY_CURRENT_USER
        std::filesystem::path localMachine; // HKEY_LOCAL_MACHINE
    };

    // $XDG_CONFIG_HOME/tavora-live/user.reg (when XDG_CONFIG_HOME is an
    // absolute path, else ~/.config/tavora-live/user.reg) and
    // /etc/tavora-live/system.reg.
    static Paths defaultPaths();

    explicit RegFileStore(Paths paths);

    std::unique_ptr<RegKey> createKey(RegRoot root, std::string_view path) override;
    // The root's file, as configured (a link is named as the link).
    std::string location(RegRoot root) const override;
    // The system's text for the error of the last refused open or write.
    std::string lastError() const override;

    // Called before each step of a write; a non-zero result is taken as the
    // errno of that step failing. Set it before the store is used.
    using FaultHook = std::function<int(RegWriteStep)>;
    void setFaultHook(FaultHook hook);
    // Set it before the store is used.
    void setFileCalls(std::shared_ptr<RegFileCalls> calls);

    // Told (in English, for a log) when an unreadable file was kept aside.
    using NoticeHandler = std::function<void(const std::string&)>;
    void setNoticeHandler(NoticeHandler handler);

    struct State;

private:
    std::shared_ptr<State> state_;
};

} // namespace tavora
