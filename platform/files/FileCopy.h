#pragma once

#include <string>

namespace tessaro {

enum class FileCopyResult {
    Copied,
    SourceUnreadable,  // missing, not a regular file, or not readable
    TargetUnwritable,  // no file can be made in the target's folder
    WriteFailed,       // reading or writing broke off (a full disk, an I/O error)
    ReplaceFailed,     // the finished copy could not take the target's place
};

// Copies source to target, replacing a target that exists, through an
// AtomicFile: a failed copy never leaves a partial or emptied target, nor the
// temporary file.
FileCopyResult CopyFileReplacing(const std::string& source, const std::string& target);

}  // namespace tessaro
