#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace tessaro {

enum class FileCopyResult {
    Copied,
    SourceUnreadable,  // missing, not a regular file, or not readable
    TargetUnwritable,  // no file can be made in the target's folder
    WriteFailed,       // reading or writing broke off (a full disk, an I/O error)
    ReplaceFailed,     // the finished copy could not take the target's place
    Stopped,           // keepGoing said no before the copy took the target's place
};

// The copy reads and writes this much at a time, and asks keepGoing before each block.
inline constexpr std::size_t kFileCopyBlockBytes = 64 * 1024;

// Copies source to target, replacing a target that exists, through an
// AtomicFile: a failed or stopped copy never leaves a partial or emptied
// target, nor the temporary file. keepGoing, when given, is asked before every
// block and once more before the target is replaced; false stops the copy, so
// a large file can be given up within one block.
FileCopyResult CopyFileReplacing(const std::string& source, const std::string& target,
                                 const std::function<bool()>& keepGoing = {});

}  // namespace tessaro
