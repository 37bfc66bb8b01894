#include "platform/urlcache/ByteSource.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaro {

bool MemoryByteSource::Read(std::uint64_t offset, std::size_t length, std::string& out) const
{
    if (offset > bytes_.size() || length > bytes_.size() - offset)
        return false;
    out.assign(bytes_.data() + offset, length);
    return true;
}

FileByteSource::FileByteSource(const std::filesystem::path& path)
{
    Open(AT_FDCWD, path.c_str(), 0);
}

FileByteSource::FileByteSource(int folderFd, const char* name)
{
    Open(folderFd, name, O_NOFOLLOW);
}

void FileByteSource::Open(int folderFd, const char* path, int flags)
{
    // O_NONBLOCK: opening a FIFO would otherwise wait for a writer for ever.
    fd_ = ::openat(folderFd, path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | flags);
    if (fd_ < 0)
        return;
    struct stat info {};
    if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd_);
        fd_ = -1;
        return;
    }
    size_ = static_cast<std::uint64_t>(info.st_size);
    modifiedNs_ = std::int64_t(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
}

FileByteSource::~FileByteSource()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool FileByteSource::Read(std::uint64_t offset, std::size_t length, std::string& out) const
{
    if (fd_ < 0 || offset > size_ || length > size_ - offset)
        return false;
    const std::uint64_t window = size_ < kWindow ? size_ : kWindow;
    if (offset + length <= window)
        return FromWindow(head_, headLoaded_, 0, offset, length, out);
    if (offset >= size_ - window)
        return FromWindow(tail_, tailLoaded_, size_ - window, offset, length, out);
    return ReadDirect(offset, length, out);
}

bool FileByteSource::FromWindow(std::string& window, bool& loaded, std::uint64_t start, std::uint64_t offset,
                                std::size_t length, std::string& out) const
{
    if (!loaded) {
        const std::size_t size = static_cast<std::size_t>(size_ - start < kWindow ? size_ - start : kWindow);
        if (!ReadDirect(start, size, window))
            return false;
        loaded = true;
    }
    out.assign(window, static_cast<std::size_t>(offset - start), length);
    return true;
}

bool FileByteSource::ReadDirect(std::uint64_t offset, std::size_t length, std::string& out) const
{
    out.resize(length);
    std::size_t done = 0;
    while (done < length) {
        const ssize_t got = ::pread(fd_, out.data() + done, length - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;  // shrunk under us or an I/O error
        done += static_cast<std::size_t>(got);
    }
    return true;
}

}  // namespace tessaro
