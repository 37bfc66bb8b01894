#include "platform/files/FileCopy.h"

#include <cerrno>
#include <cstdio>
#include <random>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaro {

namespace {

// Closes a descriptor on every way out; Release() hands it over.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    int Release()
    {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

std::string FolderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A new, empty file of our own in folder; its name goes to tempPath. The name
// is short so a long target name cannot push it past the name limit.
int CreateTempFile(const std::string& folder, std::string& tempPath)
{
    thread_local std::mt19937 random{std::random_device{}()};
    const std::string prefix = (folder == "/" ? "" : folder) + "/.tessaro-copy-";
    for (int attempt = 0; attempt < 32; ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "%08x.part", static_cast<unsigned>(random()));
        tempPath = prefix + suffix;
        const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

bool WriteAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

bool CopyBytes(int from, int to)
{
    std::vector<char> buffer(64 * 1024);
    for (;;) {
        const ssize_t got = ::read(from, buffer.data(), buffer.size());
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (got == 0)
            return true;
        if (!WriteAll(to, buffer.data(), static_cast<std::size_t>(got)))
            return false;
    }
}

}  // namespace

FileCopyResult CopyFileReplacing(const std::string& source, const std::string& target)
{
    Descriptor from(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (!from.Valid() || ::fstat(from.Get(), &info) != 0 || !S_ISREG(info.st_mode))
        return FileCopyResult::SourceUnreadable;

    std::string tempPath;
    Descriptor to(CreateTempFile(FolderOf(target), tempPath));
    if (!to.Valid())
        return FileCopyResult::TargetUnwritable;

    const bool copied = CopyBytes(from.Get(), to.Get());
    // A full disk may show only when the last blocks are flushed at close.
    const bool closed = ::close(to.Release()) == 0;
    if (!copied || !closed) {
        ::unlink(tempPath.c_str());
        return FileCopyResult::WriteFailed;
    }
    if (::rename(tempPath.c_str(), target.c_str()) != 0) {
        ::unlink(tempPath.c_str());
        return FileCopyResult::ReplaceFailed;
    }
    return FileCopyResult::Copied;
}

}  // namespace tessaro
