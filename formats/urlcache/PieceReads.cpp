#include "formats/urlcache/PieceReads.h"

#include "platform/core/BatchedReads.h"

#include <algorithm>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace tessaro {

namespace {

constexpr std::uint64_t kWindowBytes = std::uint64_t(1) << 20;
// Bytes between two pieces cost less to read than a call of their own; a
// read batched with others costs less than a call (BatchedReads).
constexpr std::uint64_t kJoinedGapBytes = 16 * 1024;
constexpr std::uint64_t kBatchedJoinedGapBytes = 4 * 1024;
constexpr std::size_t kRunsPerThread = 4;

bool Fits(const FilePiece& piece)
{
    return piece.source != nullptr && piece.length <= kMaxPieceBytes && piece.offset <= piece.source->Size() &&
           piece.length <= piece.source->Size() - piece.offset;
}

// What a thread reads through, both taken only once a file not held in
// memory is read: one window's worth of memory, and a ring for batched reads.
struct ThreadReads {
    std::unique_ptr<char[]> buffer;
    std::unique_ptr<BatchedReads> batched;
    bool triedBatched = false;

    char* Buffer()
    {
        if (!buffer)
            buffer.reset(new char[kWindowBytes]);
        return buffer.get();
    }
    BatchedReads* Batched()
    {
        if (!triedBatched) {
            triedBatched = true;
            batched = std::make_unique<BatchedReads>();
            if (!batched->UsesRing())
                batched.reset();
        }
        return batched.get();
    }
};

// The pieces [first, last) and the bytes they lie in, from start.
struct Window {
    const FilePiece* first = nullptr;
    const FilePiece* last = nullptr;
    std::uint64_t start = 0;
    std::size_t length = 0;
    std::optional<std::string_view> bytes;
    char* out = nullptr;   // where it is read to, when it is not in memory
    bool batched = false;  // read with the others through the ring
};

void ReadRun(const FilePiece* begin, const FilePiece* end, const TakePiece& take, const std::atomic<bool>* cancelled,
             ThreadReads& reads)
{
    std::vector<Window> windows;
    std::vector<FileRead> batch;
    for (const FilePiece* piece = begin; piece != end;) {
        if (cancelled != nullptr && cancelled->load(std::memory_order_relaxed))
            return;
        // Windows up to a buffer's worth, each a piece and those after it
        // that lie close enough and end inside it; a window that cannot go
        // through the ring is read alone.
        windows.clear();
        std::size_t used = 0;
        while (piece != end && windows.size() < BatchedReads::kBatchReads) {
            if (!Fits(*piece)) {
                take(*piece, std::nullopt);
                ++piece;
                continue;
            }
            Window window{piece, piece + 1, piece->offset, 0, std::nullopt, nullptr, false};
            window.batched = piece->source->FileDescriptor() >= 0 && reads.Batched() != nullptr;
            const std::uint64_t gap = window.batched ? kBatchedJoinedGapBytes : kJoinedGapBytes;
            std::uint64_t stop = piece->offset + piece->length;
            for (; window.last != end && window.last->source == piece->source && Fits(*window.last) &&
                   window.last->offset <= stop + gap &&
                   window.last->offset + window.last->length <= window.start + kWindowBytes;
                 ++window.last)
                stop = std::max(stop, window.last->offset + window.last->length);
            window.length = static_cast<std::size_t>(stop - window.start);
            window.bytes = piece->source->View(window.start, window.length);
            if (!window.bytes) {
                if (used + window.length > kWindowBytes)
                    break;  // read what is gathered first
                window.out = reads.Buffer() + used;
                used += window.length;
            }
            windows.push_back(window);
            piece = window.last;
            if (window.out != nullptr && !window.batched)
                break;
        }
        batch.clear();
        for (Window& window : windows) {
            if (window.out != nullptr && window.batched)
                batch.push_back({window.first->source->FileDescriptor(), window.start, window.length, window.out});
            else if (window.out != nullptr && window.first->source->ReadInto(window.start, window.length, window.out))
                window.bytes = std::string_view(window.out, window.length);
        }
        if (!batch.empty())
            reads.Batched()->ReadAt(batch);
        std::size_t next = 0;
        for (Window& window : windows) {
            if (window.out != nullptr && window.batched && batch[next++].read)
                window.bytes = std::string_view(window.out, window.length);
            for (const FilePiece* each = window.first; each != window.last; ++each) {
                if (window.bytes)
                    take(*each,
                         window.bytes->substr(static_cast<std::size_t>(each->offset - window.start), each->length));
                else
                    take(*each, std::nullopt);
            }
        }
    }
}

}  // namespace

void ReadPieces(std::vector<FilePiece> pieces, const TakePiece& take, int threads, const std::atomic<bool>* cancelled,
                const std::function<void()>& then)
{
    std::sort(pieces.begin(), pieces.end(), [](const FilePiece& a, const FilePiece& b) {
        if (a.source != b.source)
            return std::less<>()(a.source, b.source);
        return a.offset != b.offset ? a.offset < b.offset : a.length < b.length;
    });
    // The pieces are cut into runs of about equal count, taken by whichever
    // thread is free, so a thread whose runs read faster takes more of them
    // and of the work that follows. A run starts a window of its own, so a
    // cut costs at most one more read.
    const std::size_t workers = std::size_t(std::max(threads, 1));
    const std::size_t runs =
        std::clamp<std::size_t>(workers == 1 ? 1 : workers * kRunsPerThread, 1, 1 + pieces.size() / 1024);
    const std::size_t share = (pieces.size() + runs - 1) / runs;
    std::atomic<std::size_t> nextRun{0};
    const auto work = [&] {
        ThreadReads reads;
        for (std::size_t run; (run = nextRun.fetch_add(1)) < runs;) {
            const std::size_t from = std::min(pieces.size(), run * share), to = std::min(pieces.size(), from + share);
            ReadRun(pieces.data() + from, pieces.data() + to, take, cancelled, reads);
        }
        if (then)
            then();
    };
    std::vector<std::jthread> helpers;
    for (std::size_t helper = 1; helper < (then ? workers : std::min(workers, runs)); ++helper)
        helpers.emplace_back(work);
    work();
}

}  // namespace tessaro
