#include "platform/core/RegularFile.h"

#include <algorithm>
#include <cerrno>
#include <unistd.h>

namespace tessaro {

const char* ToString(RegularFileResult result)
{
    switch (result) {
        case RegularFileResult::Ok:
            return "ok";
        case RegularFileResult::Missing:
            return "missing";
        case RegularFileResult::NotRegular:
            return "not a regular file";
        case RegularFileResult::TooLarge:
            return "too large";
        case RegularFileResult::Failed:
            return "failed";
    }
    return "?";
}

RegularFileResult OpenFailure(int error)
{
    if (error == ENOENT || error == ENOTDIR)
        return RegularFileResult::Missing;
    return error == ELOOP || error == ENXIO ? RegularFileResult::NotRegular : RegularFileResult::Failed;
}

RegularFileResult OpenRegularFile(const char* path, OpenedFile& file, int folderFd)
{
    file = OpenedFile();
    Descriptor fd(::openat(folderFd, path, kOutsideFileOpenFlags));
    if (!fd.Valid())
        return OpenFailure(errno);
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0)
        return RegularFileResult::Failed;
    if (!S_ISREG(info.st_mode))
        return RegularFileResult::NotRegular;
    file.fd = std::move(fd);
    file.size = static_cast<std::uint64_t>(info.st_size);
    file.modifiedNs = std::int64_t(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
    return RegularFileResult::Ok;
}

bool ReadExactly(int fd, std::uint64_t offset, char* out, std::size_t length)
{
    std::size_t done = 0;
    while (done < length) {
        const ssize_t got = ::pread(fd, out + done, length - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        done += static_cast<std::size_t>(got);
    }
    return true;
}

RegularFileResult ReadRegularFile(const std::filesystem::path& path, std::size_t maxBytes, std::string& bytes)
{
    bytes.clear();
    OpenedFile file;
    if (const RegularFileResult opened = OpenRegularFile(path.c_str(), file); opened != RegularFileResult::Ok)
        return opened;
    // One byte past the bound tells a file that is too long from one that fits.
    const std::size_t want = maxBytes + 1;
    bytes.resize(static_cast<std::size_t>(std::min<std::uint64_t>(file.size + 1, want)));
    std::size_t done = 0;
    while (done < want) {
        if (done == bytes.size())
            bytes.resize(std::min(want, bytes.size() * 2 + 4096));
        const ssize_t got = ::read(file.fd.Get(), bytes.data() + done, bytes.size() - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            bytes.clear();
            return RegularFileResult::Failed;
        }
        if (got == 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    bytes.resize(std::min(done, maxBytes));
    return done > maxBytes ? RegularFileResult::TooLarge : RegularFileResult::Ok;
}

}  // namespace tessaro
