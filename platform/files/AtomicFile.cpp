#include "platform/files/AtomicFile.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace tessaro {

namespace {

// Names tried before giving up on a folder where every one is taken.
constexpr int kMaxNameAttempts = 16;
// A file synced before its rename is written behind in windows of this size:
// the disk is asked for each window once it is full and the window before
// it is waited for, so no wait on the way, nor the sync at the end, covers
// more than two windows however large the file. A job's stop is then never
// held up for long by a large file.
constexpr off_t kWriteBehindBytes = off_t(8) << 20;

std::string RandomTag()
{
    static thread_local std::mt19937 generator{std::random_device{}()};
    char text[9];
    std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(generator()));
    return text;
}

}  // namespace

AtomicFile::AtomicFile(std::string target, Sync sync) : target_(std::move(target)), sync_(sync)
{
}

AtomicFile::~AtomicFile()
{
    Discard();
}

bool AtomicFile::Fail(Failure failure, const std::string& what, int error)
{
    failure_ = failure;
    error_ = what + ": " + std::error_code(error, std::generic_category()).message();
    return false;
}

bool AtomicFile::Open()
{
    // The system reads a path up to its first NUL: "/home/u/.bashrc\0.swf"
    // would replace "/home/u/.bashrc".
    if (target_.find('\0') != std::string::npos)
        return Fail(Failure::Create, "a file name holds a NUL", EINVAL);
    const auto slash = target_.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : target_.substr(0, slash + 1);
    for (int attempt = 0; attempt < kMaxNameAttempts; ++attempt) {
        temporary_ = folder + ".tessaro-" + RandomTag() + ".part";
        fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ >= 0)
            return true;
        if (errno != EEXIST)
            break;
    }
    const int error = errno;
    temporary_.clear();
    return Fail(Failure::Create, "cannot create a file in " + (folder.empty() ? std::string(".") : folder), error);
}

bool AtomicFile::Write(const char* data, std::size_t size)
{
    if (fd_ < 0)
        return Fail(Failure::Write, "cannot write " + target_, EBADF);
    while (size > 0) {
        const ssize_t written = ::write(fd_, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return Fail(Failure::Write, "cannot write " + temporary_, errno);
        }
        data += written;
        size -= static_cast<std::size_t>(written);
        written_ += written;
    }
    if (sync_ == Sync::BeforeRename && written_ - windowStart_ >= kWriteBehindBytes) {
        // Best effort: the sync at Commit reports what failed.
        if (windowStart_ > 0)
            (void)::sync_file_range(fd_, 0, windowStart_,
                                    SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
        (void)::sync_file_range(fd_, windowStart_, written_ - windowStart_, SYNC_FILE_RANGE_WRITE);
        windowStart_ = written_;
    }
    return true;
}

bool AtomicFile::SetPermissions(mode_t mode)
{
    if (fd_ < 0 || ::fchmod(fd_, mode) != 0)
        return Fail(Failure::Write, "cannot set the permissions of " + target_, fd_ < 0 ? EBADF : errno);
    return true;
}

bool AtomicFile::Commit()
{
    if (fd_ < 0)
        return Fail(Failure::Write, "cannot save " + target_, EBADF);
    // Synced before the rename, so after a crash the target holds the old
    // bytes or the new ones, never an empty file. A file system that cannot
    // sync (EINVAL) is written as it is.
    const int synced = sync_ == Sync::Later || ::fdatasync(fd_) == 0 || errno == EINVAL ? 0 : errno;
    // A full disk may show only when the last blocks are flushed at close.
    const int closed = ::close(fd_) == 0 ? 0 : errno;
    fd_ = -1;
    if (synced != 0 || closed != 0) {
        Discard();
        return Fail(Failure::Write, "cannot write " + target_, synced != 0 ? synced : closed);
    }
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
        const int error = errno;
        Discard();
        return Fail(Failure::Replace, "cannot save " + target_, error);
    }
    temporary_.clear();
    return true;
}

void AtomicFile::Discard()
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
        temporary_.clear();
    }
}

bool SyncFileSystemOf(const std::string& folder)
{
    if (folder.find('\0') != std::string::npos)
        return false;
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::syncfs(fd) == 0;
    ::close(fd);
    return synced;
}

}  // namespace tessaro
