#include "platform/core/BatchedReads.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <liburing.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaro {

namespace {

constexpr std::uint64_t kCloseTag = ~std::uint64_t(0);
// Waits that bring nothing (the kernel busy) before a ring is given up.
constexpr int kMaxIdleWaits = 1000;

void ReadStartPlainly(int folderFd, FileStart& start)
{
    start.size = 0;
    start.got = 0;
    OpenedFile file;
    start.result = OpenRegularFile(start.name, file, folderFd);
    if (start.result != RegularFileResult::Ok)
        return;
    start.size = file.size;
    start.got = static_cast<std::size_t>(std::min<std::uint64_t>(start.length, file.size));
    if (!ReadExactly(file.fd.Get(), 0, start.out, start.got)) {
        start.result = RegularFileResult::Failed;
        start.got = 0;
    }
}

}  // namespace

struct BatchedReads::Ring {
    io_uring ring{};
    bool ready = false;
    ~Ring()
    {
        if (ready)
            io_uring_queue_exit(&ring);
    }

    // Submits what is queued and takes expected completions; false when the
    // ring failed on the way.
    template <typename Take>
    bool Complete(std::size_t expected, Take&& take)
    {
        std::size_t taken = 0;
        for (int idle = 0; taken < expected && idle < kMaxIdleWaits;) {
            const int result = io_uring_submit_and_wait(&ring, 1);
            if (result < 0 && result != -EINTR && result != -EAGAIN && result != -EBUSY)
                return false;
            io_uring_cqe* cqe = nullptr;
            unsigned head = 0, seen = 0;
            io_uring_for_each_cqe(&ring, head, cqe)
            {
                take(cqe->user_data, cqe->res);
                ++seen;
            }
            io_uring_cq_advance(&ring, seen);
            taken += seen;
            idle = seen == 0 ? idle + 1 : 0;
        }
        return taken == expected;
    }
};

BatchedReads::BatchedReads(bool useRing)
{
    if (!useRing)
        return;
    auto ring = std::make_unique<Ring>();
    // Refused where io_uring is turned off or filtered (containers): the
    // plain calls then.
    if (io_uring_queue_init(static_cast<unsigned>(kBatchReads), &ring->ring, 0) != 0)
        return;
    ring->ready = true;
    ring_ = std::move(ring);
}

BatchedReads::~BatchedReads() = default;

void BatchedReads::ReadStarts(int folderFd, std::span<FileStart> starts)
{
    for (std::size_t from = 0; from < starts.size(); from += kBatchFiles) {
        const std::span<FileStart> batch = starts.subspan(from, std::min(kBatchFiles, starts.size() - from));
        if (ring_ && ReadStartsOnRing(folderFd, batch))
            continue;
        ring_.reset();
        for (FileStart& start : batch)
            ReadStartPlainly(folderFd, start);
    }
}

void BatchedReads::ReadAt(std::span<FileRead> reads)
{
    for (std::size_t from = 0; from < reads.size(); from += kBatchReads) {
        const std::span<FileRead> batch = reads.subspan(from, std::min(kBatchReads, reads.size() - from));
        if (ring_ && ReadAtOnRing(batch))
            continue;
        ring_.reset();
        for (FileRead& read : batch)
            read.read = ReadExactly(read.fd, read.offset, read.out, read.length);
    }
}

bool BatchedReads::ReadAtOnRing(std::span<FileRead> batch)
{
    io_uring* ring = &ring_->ring;
    for (std::size_t at = 0; at < batch.size(); ++at) {
        batch[at].read = false;
        io_uring_sqe* sqe = io_uring_get_sqe(ring);  // the ring has room for a whole batch
        io_uring_prep_read(sqe, batch[at].fd, batch[at].out, static_cast<unsigned>(batch[at].length), batch[at].offset);
        io_uring_sqe_set_data64(sqe, at);
    }
    std::size_t done = 0;
    const bool completed = ring_->Complete(batch.size(), [&](std::uint64_t at, int result) {
        if (at >= batch.size())
            return;
        ++done;
        batch[at].read = result >= 0 && static_cast<std::size_t>(result) == batch[at].length;
    });
    // A read the ring cut short is read again plainly: a short read of a
    // regular file is the end of the file, or one to finish.
    for (FileRead& read : batch) {
        if (completed && !read.read)
            read.read = ReadExactly(read.fd, read.offset, read.out, read.length);
    }
    return completed && done == batch.size();
}

bool BatchedReads::ReadStartsOnRing(int folderFd, std::span<FileStart> batch)
{
    io_uring* ring = &ring_->ring;
    std::array<int, kBatchFiles> fds{};
    fds.fill(-1);
    for (std::size_t at = 0; at < batch.size(); ++at) {
        batch[at].result = RegularFileResult::Failed;
        batch[at].size = 0;
        batch[at].got = 0;
        io_uring_sqe* sqe = io_uring_get_sqe(ring);  // the ring has room for two per file
        io_uring_prep_openat(sqe, folderFd, batch[at].name, kOutsideFileOpenFlags, 0);
        io_uring_sqe_set_data64(sqe, at);
    }
    const bool opened = ring_->Complete(batch.size(), [&](std::uint64_t at, int result) {
        if (at >= batch.size())
            return;
        if (result >= 0)
            fds[at] = result;
        else
            batch[at].result = OpenFailure(-result);
    });
    if (!opened) {
        for (const int fd : fds) {
            if (fd >= 0)
                ::close(fd);
        }
        return false;
    }
    // The type on the open descriptor, as OpenRegularFile checks it; then
    // the reads, each followed by its file's close whatever the read gave.
    std::size_t queued = 0;
    std::array<bool, kBatchFiles> pending{};
    for (std::size_t at = 0; at < batch.size(); ++at) {
        if (fds[at] < 0)
            continue;
        FileStart& start = batch[at];
        struct stat info {};
        if (::fstat(fds[at], &info) != 0)
            start.result = RegularFileResult::Failed;
        else if (!S_ISREG(info.st_mode))
            start.result = RegularFileResult::NotRegular;
        else {
            start.size = static_cast<std::uint64_t>(info.st_size);
            start.got = static_cast<std::size_t>(std::min<std::uint64_t>(start.length, start.size));
            start.result = RegularFileResult::Ok;
        }
        if (start.result == RegularFileResult::Ok && start.got > 0) {
            io_uring_sqe* read = io_uring_get_sqe(ring);
            io_uring_prep_read(read, fds[at], start.out, static_cast<unsigned>(start.got), 0);
            io_uring_sqe_set_data64(read, at);
            read->flags |= IOSQE_IO_HARDLINK;
            pending[at] = true;
            ++queued;
        }
        io_uring_sqe* close = io_uring_get_sqe(ring);
        io_uring_prep_close(close, fds[at]);
        io_uring_sqe_set_data64(close, kCloseTag);
        ++queued;
    }
    // A ring that fails here may have closes in flight: descriptors whose
    // close did not run are left open rather than closed twice, and the
    // batch is read again plainly.
    const bool allRead = ring_->Complete(queued, [&](std::uint64_t at, int result) {
        if (at >= batch.size() || !pending[at])
            return;
        pending[at] = false;
        if (result < 0 || static_cast<std::size_t>(result) != batch[at].got) {
            batch[at].result = RegularFileResult::Failed;  // shrunk under us or an I/O error
            batch[at].got = 0;
        }
    });
    return allRead && std::none_of(pending.begin(), pending.end(), [](bool waiting) { return waiting; });
}

}  // namespace tessaro
