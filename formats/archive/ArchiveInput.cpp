#include "formats/archive/ArchiveInput.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace tessaro {

bool ArchiveInput::Skip(std::uint64_t count)
{
    std::array<char, 64 * 1024> scratch;
    while (count > 0) {
        std::size_t got = 0;
        if (!Read(scratch.data(), static_cast<std::size_t>(std::min<std::uint64_t>(count, scratch.size())), got) ||
            got == 0)
            return false;
        count -= got;
    }
    return true;
}

bool MemoryArchiveInput::Read(char* buffer, std::size_t capacity, std::size_t& got)
{
    got = std::min(capacity, bytes_.size());
    std::memcpy(buffer, bytes_.data(), got);
    bytes_.remove_prefix(got);
    return true;
}

bool MemoryArchiveInput::Skip(std::uint64_t count)
{
    if (count > bytes_.size()) {
        bytes_ = {};
        return false;
    }
    bytes_.remove_prefix(static_cast<std::size_t>(count));
    return true;
}

FileArchiveInput::FileArchiveInput(const std::filesystem::path& path)
{
    OpenRegularFile(path.c_str(), file_);
}

bool FileArchiveInput::Read(char* buffer, std::size_t capacity, std::size_t& got)
{
    got = 0;
    if (!IsOpen())
        return false;
    // Not past the size taken at opening: a file that grows meanwhile is
    // read as it was.
    capacity = static_cast<std::size_t>(std::min<std::uint64_t>(capacity, file_.size - position_));
    while (capacity > 0) {
        const ssize_t read = ::read(file_.fd.Get(), buffer, capacity);
        if (read < 0 && errno == EINTR)
            continue;
        if (read < 0)
            return false;
        got = static_cast<std::size_t>(read);
        break;
    }
    position_ += got;
    return true;
}

bool FileArchiveInput::Skip(std::uint64_t count)
{
    if (!IsOpen() || count > file_.size - position_)
        return false;
    if (::lseek(file_.fd.Get(), static_cast<off_t>(position_ + count), SEEK_SET) < 0)
        return false;
    position_ += count;
    return true;
}

}  // namespace tessaro
