// Files that only ever appear complete: written under a temporary name beside the final
// one, synced, then renamed over it.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

namespace zeprix::core {

// The temporary name of a file being written: the final name with this suffix, in the
// same directory (so that the rename is atomic).
inline constexpr const char* kIncompleteSuffix = ".incomplete";

// Writes `name` atomically. The constructor opens name + kIncompleteSuffix ("w" truncates,
// "a" continues a temporary file kept by an earlier run, and keeps it as Keep() does);
// Commit flushes, syncs, closes and
// renames it over `name`, so that a reader sees either the previous file or the complete new
// one. An object destroyed without Commit, an early end of the program and a signal that
// ends it (SIGINT, SIGTERM, SIGHUP, SIGPIPE) remove the temporary file, unless Keep() was
// called: then it stays under its temporary name for a later run to continue.
//
// Errors are the machine's, not the program's: a file that cannot be created or written
// (full disk, file-size limit, read-only directory) ends the program with a message naming
// the file and the system's reason, and the previous `name` is left untouched.
class AtomicFile {
public:
    AtomicFile(std::string name, const char* mode);
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;
    ~AtomicFile();

    std::FILE* get() const { return f_; }
    const std::string& name() const { return name_; }
    const std::string& tempName() const { return temp_; }

    // Flushes the stream and checks every write so far; a failure ends the program.
    void Flush();
    // Flush, sync, close and rename over name(); a failure ends the program.
    void Commit();
    // From now on a failure keeps the temporary file (it holds work of earlier runs).
    void Keep() { keep_ = 1; }
    // Closes the temporary file (after a check) and keeps it for a later run.
    void CloseAndKeep();

private:
    [[noreturn]] void Fail(const char* what, int err);
    static void RemoveTemp(void* self);

    std::string name_, temp_;
    std::FILE* f_ = nullptr;
    int hook_ = -1;
    volatile int keep_ = 0;
};

// Makes renames and removals in the directory durable (fsync of the directory); best
// effort, since a directory that cannot be synced changes nothing about the files' contents.
void SyncDirectory(const std::string& dir = ".");

// Files that an early end of the program (a fatal error, a signal that ends it) must not
// leave behind: the exit hook unlinks them. With removeWhenDestroyed, destroying the object
// removes them too (the normal path gave up on them) unless Release() was called first.
class FilesRemovedOnExit {
public:
    FilesRemovedOnExit(std::vector<std::string> files, bool removeWhenDestroyed);
    FilesRemovedOnExit(const FilesRemovedOnExit&) = delete;
    FilesRemovedOnExit& operator=(const FilesRemovedOnExit&) = delete;
    ~FilesRemovedOnExit();

    const std::string& operator[](std::size_t k) const { return files_[k]; }
    // The files now belong elsewhere (renamed into place): nothing is removed any more.
    void Release();

private:
    static void RemoveAll(void* self);  // async-signal-safe: unlink only

    std::vector<std::string> files_;
    bool removeWhenDestroyed_;
    int hook_ = -1;
};

}  // namespace zeprix::core
