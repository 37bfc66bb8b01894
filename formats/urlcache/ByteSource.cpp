#include "formats/urlcache/ByteSource.h"

#include "platform/core/RegularFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace tessaro {

bool ByteSource::ReadInto(std::uint64_t offset, std::size_t length, char* out) const
{
    std::string bytes;
    if (!Read(offset, length, bytes))
        return false;
    std::memcpy(out, bytes.data(), length);
    return true;
}

bool MemoryByteSource::Read(std::uint64_t offset, std::size_t length, std::string& out) const
{
    if (offset > bytes_.size() || length > bytes_.size() - offset)
        return false;
    out.assign(bytes_.data() + offset, length);
    return true;
}

FileByteSource::FileByteSource(const std::filesystem::path& path) : FileByteSource(AT_FDCWD, path.c_str())
{
}

FileByteSource::FileByteSource(int folderFd, const char* name)
{
    OpenedFile file;
    if (OpenRegularFile(name, file, folderFd) != RegularFileResult::Ok)
        return;
    fd_ = std::move(file.fd);
    size_ = file.size;
    modifiedNs_ = file.modifiedNs;
}

FileByteSource::~FileByteSource() = default;

bool FileByteSource::Read(std::uint64_t offset, std::size_t length, std::string& out) const
{
    if (!fd_.Valid() || offset > size_ || length > size_ - offset)
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
    return ReadInto(offset, length, out.data());
}

bool FileByteSource::ReadInto(std::uint64_t offset, std::size_t length, char* out) const
{
    if (!fd_.Valid() || offset > size_ || length > size_ - offset)
        return false;
    return ReadExactly(fd_.Get(), offset, out, length);
}

}  // namespace tessaro
