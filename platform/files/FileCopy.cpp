#include "platform/files/FileCopy.h"

#include "platform/core/Descriptor.h"
#include "platform/files/AtomicFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tessaro {

namespace {

FileCopyResult CopyBytes(int from, AtomicFile& to, const std::function<bool()>& keepGoing)
{
    std::vector<char> buffer(kFileCopyBlockBytes);
    for (;;) {
        if (keepGoing && !keepGoing())
            return FileCopyResult::Stopped;
        const ssize_t got = ::read(from, buffer.data(), buffer.size());
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return FileCopyResult::WriteFailed;
        }
        if (got == 0)
            return FileCopyResult::Copied;
        if (!to.Write(buffer.data(), static_cast<std::size_t>(got)))
            return FileCopyResult::WriteFailed;
    }
}

}  // namespace

FileCopyResult CopyFileReplacing(const std::string& source, const std::string& target,
                                 const std::function<bool()>& keepGoing)
{
    // Non-blocking, so a source swapped for a FIFO since it was listed is
    // refused here by its type instead of holding the copy (and its stop).
    Descriptor from(::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    struct stat info {};
    if (!from.Valid() || ::fstat(from.Get(), &info) != 0 || !S_ISREG(info.st_mode))
        return FileCopyResult::SourceUnreadable;

    AtomicFile to(target);
    if (!to.Open())
        return FileCopyResult::TargetUnwritable;
    // An uncommitted AtomicFile removes its temporary file when it goes.
    if (const FileCopyResult copied = CopyBytes(from.Get(), to, keepGoing); copied != FileCopyResult::Copied)
        return copied;
    if (keepGoing && !keepGoing())
        return FileCopyResult::Stopped;
    if (!to.Commit())
        return to.LastFailure() == AtomicFile::Failure::Replace ? FileCopyResult::ReplaceFailed
                                                                : FileCopyResult::WriteFailed;
    return FileCopyResult::Copied;
}

}  // namespace tessaro
