#pragma once

#include "platform/core/RegularFile.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace tessaro {

// The first bytes of one file of a folder, and what reading them gave.
struct FileStart {
    const char* name = nullptr;  // inside the folder
    std::size_t length = 0;      // bytes wanted from the start
    char* out = nullptr;         // room for length bytes
    RegularFileResult result = RegularFileResult::Failed;
    std::uint64_t size = 0;  // the open file's size, when Ok
    std::size_t got = 0;     // bytes in out: length, or the whole of a shorter file
};

// A piece of a file open for reading, and whether all of it came.
struct FileRead {
    int fd = -1;
    std::uint64_t offset = 0;
    std::size_t length = 0;
    char* out = nullptr;  // room for length bytes
    bool read = false;
};

// Many small reads at once. Where the kernel lets this process use io_uring,
// a batch goes in with one system call: on a virtual machine a system call
// costs more than opening a file or reading a few KiB. Else each read is a
// call of its own; the results are the same. One per thread.
class BatchedReads {
public:
    explicit BatchedReads(bool useRing = true);
    ~BatchedReads();
    BatchedReads(const BatchedReads&) = delete;
    BatchedReads& operator=(const BatchedReads&) = delete;

    bool UsesRing() const { return ring_ != nullptr; }

    // Each file opened as OpenRegularFile opens one (its type checked on the
    // open descriptor, so the file read is the file checked), its first
    // bytes read and closed again.
    void ReadStarts(int folderFd, std::span<FileStart> starts);
    void ReadAt(std::span<FileRead> reads);

    // What a ring takes at once: files, or reads.
    static constexpr std::size_t kBatchFiles = 64;
    static constexpr std::size_t kBatchReads = 2 * kBatchFiles;

private:
    struct Ring;
    bool ReadStartsOnRing(int folderFd, std::span<FileStart> batch);
    bool ReadAtOnRing(std::span<FileRead> batch);
    std::unique_ptr<Ring> ring_;
};

}  // namespace tessaro
