#include "platform/files/FileCopy.h"

#include <cerrno>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/core/Descriptor.h"
#include "platform/files/AtomicFile.h"

namespace tessaro {

namespace {

bool CopyBytes(int from, AtomicFile& to)
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
        if (!to.Write(buffer.data(), static_cast<std::size_t>(got)))
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

    AtomicFile to(target);
    if (!to.Open())
        return FileCopyResult::TargetUnwritable;
    if (!CopyBytes(from.Get(), to))
        return FileCopyResult::WriteFailed;
    if (!to.Commit())
        return to.LastFailure() == AtomicFile::Failure::Replace ? FileCopyResult::ReplaceFailed
                                                                : FileCopyResult::WriteFailed;
    return FileCopyResult::Copied;
}

}  // namespace tessaro
