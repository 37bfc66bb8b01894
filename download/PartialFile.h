#pragma once

#include <cstddef>
#include <string>

namespace tessaro {

// A file written under a temporary name in the target's own folder and moved
// onto the target in one rename once it is complete, so a reader of the
// target sees either the old file or the whole new one. A file never
// committed is removed.
class PartialFile {
public:
    explicit PartialFile(std::string target);
    ~PartialFile();
    PartialFile(const PartialFile&) = delete;
    PartialFile& operator=(const PartialFile&) = delete;

    bool Open();
    bool Write(const char* data, std::size_t size);
    // Closes the file and renames it onto the target.
    bool Commit();
    // Closes and removes the temporary file; the target is left as it was.
    void Discard();

    const std::string& TemporaryPath() const { return temporary_; }
    // What failed, with the system's reason.
    const std::string& Error() const { return error_; }

private:
    bool Fail(const std::string& what, int error);

    std::string target_;
    std::string temporary_;
    int fd_ = -1;
    std::string error_;
};

}  // namespace tessaro
