#pragma once

#include "platform/core/RegularFile.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string_view>

namespace tessaro {

// The bytes of one archive file read front to back: a file on disk, a zip
// entry, bytes in memory (tests, fuzzing). An archive is never held whole.
class ArchiveInput {
public:
    virtual ~ArchiveInput() = default;
    // Reads at most capacity bytes into buffer; got is 0 at the end. False
    // when the read failed.
    virtual bool Read(char* buffer, std::size_t capacity, std::size_t& got) = 0;
    // How many bytes the input holds in all; lengths read from it are
    // checked against this before they are used.
    virtual std::uint64_t Size() const = 0;
    // Passes over count bytes; false when fewer were there. A file seeks.
    virtual bool Skip(std::uint64_t count);
};

class MemoryArchiveInput : public ArchiveInput {
public:
    explicit MemoryArchiveInput(std::string_view bytes) : bytes_(bytes) {}
    bool Read(char* buffer, std::size_t capacity, std::size_t& got) override;
    std::uint64_t Size() const override { return bytes_.size(); }
    bool Skip(std::uint64_t count) override;

private:
    std::string_view bytes_;
};

// A regular file, opened as other programs' files are (never a link, a FIFO
// or a device); its size is taken at opening.
class FileArchiveInput : public ArchiveInput {
public:
    explicit FileArchiveInput(const std::filesystem::path& path);
    bool IsOpen() const { return file_.fd.Valid(); }
    const OpenedFile& File() const { return file_; }
    bool Read(char* buffer, std::size_t capacity, std::size_t& got) override;
    std::uint64_t Size() const override { return file_.size; }
    bool Skip(std::uint64_t count) override;

private:
    OpenedFile file_;
    std::uint64_t position_ = 0;
};

}  // namespace tessaro
