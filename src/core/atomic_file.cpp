// Files that only ever appear complete: temporary name, sync, rename.
#include "core/atomic_file.hpp"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/fatal.hpp"

namespace zeprix::core {

namespace {

// The directory part of a path ("." for a bare name), for the sync that makes the rename
// itself durable.
std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

AtomicFile::AtomicFile(std::string name, const char* mode)
    : name_(std::move(name)), temp_(name_ + kIncompleteSuffix) {
    // A file continued ("a") holds the work of earlier runs: kept from the first moment,
    // so that no signal between the opening and the caller's Keep() can remove it.
    if (mode[0] == 'a') keep_ = 1;
    // The ending signals wait while the file is created and its removal registered: one
    // arriving in between would leave the temporary file behind.
    sigset_t ending, previous;
    sigemptyset(&ending);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaddset(&ending, sig);
    sigprocmask(SIG_BLOCK, &ending, &previous);
    f_ = std::fopen(temp_.c_str(), mode);
    const int err = errno;
    if (f_) hook_ = OnProgramExit(RemoveTemp, this);
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    if (!f_) Fail("cannot be created", err);
}

AtomicFile::~AtomicFile() {
    if (f_) std::fclose(f_);
    if (hook_ >= 0) {
        RemoveExitHook(hook_);
        if (!keep_) std::remove(temp_.c_str());
    }
}

// Runs from the exit hooks, possibly inside a signal handler: unlink only.
void AtomicFile::RemoveTemp(void* self) {
    const AtomicFile* a = static_cast<const AtomicFile*>(self);
    if (!a->keep_) ::unlink(a->temp_.c_str());
}

void AtomicFile::Fail(const char* what, int err) {
    UserError("Error, the file " + name_ + " " + what + " (" + std::strerror(err) +
              ").\nNothing was replaced: check the free space and the permissions of this "
              "directory, then run the program again.");
}

void AtomicFile::Flush() {
    // A write that failed inside an earlier fprintf left its reason in errno (nothing
    // between the writes touches it); EIO when none is known.
    if (std::fflush(f_) != 0 || std::ferror(f_)) Fail("could not be written", errno ? errno : EIO);
}

void AtomicFile::CloseAndKeep() {
    Keep();
    Flush();
    std::FILE* f = f_;
    f_ = nullptr;
    if (std::fclose(f) != 0) Fail("could not be written", errno);
}

void AtomicFile::Commit() {
    errno = 0;
    Flush();
    if (::fsync(::fileno(f_)) != 0) Fail("could not be written", errno);
    std::FILE* f = f_;
    f_ = nullptr;
    if (std::fclose(f) != 0) Fail("could not be written", errno);
    if (std::rename(temp_.c_str(), name_.c_str()) != 0) Fail("could not be put in place", errno);
    RemoveExitHook(hook_);
    hook_ = -1;
    SyncDirectory(DirectoryOf(name_));  // the rename itself made durable
}

void SyncDirectory(const std::string& dir) {
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

FilesRemovedOnExit::FilesRemovedOnExit(std::vector<std::string> files, bool removeWhenDestroyed)
    : files_(std::move(files)), removeWhenDestroyed_(removeWhenDestroyed) {
    hook_ = OnProgramExit(RemoveAll, this);
}

FilesRemovedOnExit::~FilesRemovedOnExit() {
    if (hook_ < 0) return;
    RemoveExitHook(hook_);
    if (removeWhenDestroyed_) RemoveAll(this);
}

void FilesRemovedOnExit::Release() {
    if (hook_ >= 0) RemoveExitHook(hook_);
    hook_ = -1;
}

void FilesRemovedOnExit::RemoveAll(void* self) {
    for (const std::string& f : static_cast<FilesRemovedOnExit*>(self)->files_) ::unlink(f.c_str());
}

}  // namespace zeprix::core
