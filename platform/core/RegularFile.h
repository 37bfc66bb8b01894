#pragma once

#include "platform/core/Descriptor.h"

#include <cstddef>
#include <cstdint>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>

namespace tessaro {

// Files other programs write (cache entries, session files, profile lists,
// instance files) are opened only through here. The open never waits (a FIFO
// or a device put where a file was expected opens without a writer and is
// then refused), a link in the file's place is not followed, the descriptor
// is not inherited, and the type is checked on the open descriptor, so the
// file read is the file checked.

enum class RegularFileResult {
    Ok,
    Missing,     // no such file (or a folder on its path is missing)
    NotRegular,  // a link, a folder, a FIFO, a device, a socket
    TooLarge,    // longer than asked for
    Failed,      // could not be opened or read
};

const char* ToString(RegularFileResult result);

struct OpenedFile {
    Descriptor fd;
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0;
};

// How every outside file is opened, and what a failed open's errno means.
constexpr int kOutsideFileOpenFlags = O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY;
RegularFileResult OpenFailure(int error);

// Opens path (relative to folderFd when it is not absolute) for reading.
RegularFileResult OpenRegularFile(const char* path, OpenedFile& file, int folderFd = AT_FDCWD);

// Reads exactly length bytes at offset of an open file; false when the file
// ends first (shrunk under us) or a read fails.
bool ReadExactly(int fd, std::uint64_t offset, char* out, std::size_t length);

// Reads the whole file, at most maxBytes; the length is what the reads give,
// not what the size said (a browser may be rewriting the file). TooLarge:
// bytes holds the first maxBytes.
RegularFileResult ReadRegularFile(const std::filesystem::path& path, std::size_t maxBytes, std::string& bytes);

}  // namespace tessaro
