#pragma once

#include "platform/core/Descriptor.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tessaro {

// Random read access to the bytes of one cache file. The readers see files
// through this so the same parsing runs over a file on disk and over bytes in
// memory (tests, fuzzing), and so a reader never reads more than it needs.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t Size() const = 0;
    // Reads exactly length bytes at offset into out; false when the range lies
    // beyond the end or the read fails.
    virtual bool Read(std::uint64_t offset, std::size_t length, std::string& out) const = 0;
    // The bytes in place, without a copy, when the source holds them in
    // memory; empty when it does not or the range lies beyond the end.
    virtual std::optional<std::string_view> View(std::uint64_t, std::size_t) const { return std::nullopt; }
    // The same into the caller's memory: many pieces read through one buffer.
    virtual bool ReadInto(std::uint64_t offset, std::size_t length, char* out) const;
    // The open file the bytes are read from, for reads batched with others
    // (BatchedReads); -1 when there is none.
    virtual int FileDescriptor() const { return -1; }
};

class MemoryByteSource : public ByteSource {
public:
    explicit MemoryByteSource(std::string_view bytes) : bytes_(bytes) {}
    std::uint64_t Size() const override { return bytes_.size(); }
    bool Read(std::uint64_t offset, std::size_t length, std::string& out) const override;
    std::optional<std::string_view> View(std::uint64_t offset, std::size_t length) const override
    {
        if (offset > bytes_.size() || length > bytes_.size() - offset)
            return std::nullopt;
        return bytes_.substr(offset, length);
    }

private:
    std::string_view bytes_;
};

// A file's size and modification time, enough to tell that it changed.
struct FileStamp {
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0;
    bool operator==(const FileStamp&) const = default;
};

// A regular file opened read-only (OpenRegularFile: never a link, a FIFO, a
// device); its size is taken once at opening, so a file that a browser
// appends to meanwhile is read as it was. Cache readers look at a file's start and end many times in
// small pieces, so the first and last few KiB are read once and kept.
class FileByteSource : public ByteSource {
public:
    explicit FileByteSource(const std::filesystem::path& path);
    // name inside the open folder folderFd: a walk over many files of one
    // folder does not look the whole path up again for each.
    FileByteSource(int folderFd, const char* name);
    ~FileByteSource() override;
    FileByteSource(const FileByteSource&) = delete;
    FileByteSource& operator=(const FileByteSource&) = delete;

    bool IsOpen() const { return fd_.Valid(); }
    int FileDescriptor() const override { return fd_.Get(); }
    std::uint64_t Size() const override { return size_; }
    // Size and modification time as the open file had them.
    FileStamp Stamp() const { return {size_, modifiedNs_}; }
    bool Read(std::uint64_t offset, std::size_t length, std::string& out) const override;
    // Past the windows: for a whole file read at once, or a window of it,
    // into memory that need not be cleared first.
    bool ReadInto(std::uint64_t offset, std::size_t length, char* out) const override;

private:
    static constexpr std::size_t kWindow = 4096;
    bool ReadDirect(std::uint64_t offset, std::size_t length, std::string& out) const;
    bool FromWindow(std::string& window, bool& loaded, std::uint64_t start, std::uint64_t offset, std::size_t length,
                    std::string& out) const;

    Descriptor fd_;
    std::uint64_t size_ = 0;
    std::int64_t modifiedNs_ = 0;
    mutable std::string head_, tail_;
    mutable bool headLoaded_ = false, tailLoaded_ = false;
};

}  // namespace tessaro
