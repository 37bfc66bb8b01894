#pragma once

#include <cstddef>
#include <string>
#include <sys/types.h>

namespace tessaro {

// A file that takes its target's place whole or not at all: the bytes go to a
// temporary file in the target's folder, which is synced and renamed onto the
// target only on Commit(), so a reader of the target sees the old file or the
// whole new one. A file never committed is removed. The temporary name is
// short and our own: QSaveFile names it after the target, which fails for a
// target whose name is already at the file system's length limit.
class AtomicFile {
public:
    enum class Failure {
        None,
        Create,   // no file can be made in the target's folder
        Write,    // writing, syncing or closing broke off (a full disk, an I/O error)
        Replace,  // the finished file could not take the target's place
    };

    // When the file's bytes reach the disk: before it takes the target's
    // place, or later, when the caller syncs the whole file system before it
    // relies on the file (many files written in a row, then one sync).
    enum class Sync { BeforeRename, Later };

    explicit AtomicFile(std::string target, Sync sync = Sync::BeforeRename);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // False (Create) for a target holding a NUL, which the system would cut
    // there and so write another file.
    bool Open();
    bool Write(const char* data, std::size_t size);
    // Gives the file exactly these permission bits, whatever the umask.
    bool SetPermissions(mode_t mode);
    // Syncs (unless later) and closes the file and renames it onto the target.
    bool Commit();
    // Closes and removes the temporary file; the target is left as it was.
    void Discard();

    Failure LastFailure() const { return failure_; }
    // What failed, with the system's reason.
    const std::string& Error() const { return error_; }

private:
    bool Fail(Failure failure, const std::string& what, int error);

    std::string target_;
    Sync sync_;
    std::string temporary_;
    int fd_ = -1;
    off_t written_ = 0;
    off_t windowStart_ = 0;  // where the window being written behind begins
    Failure failure_ = Failure::None;
    std::string error_;
};

// Flushes the file system that holds folder, for files written with
// AtomicFile::Sync::Later; false when it could not.
bool SyncFileSystemOf(const std::string& folder);

}  // namespace tessaro
