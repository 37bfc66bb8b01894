#pragma once

#include "formats/urlcache/ByteSource.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

namespace tessaro {

// A piece of a cache file to read, and what it is to its reader.
struct FilePiece {
    const ByteSource* source = nullptr;
    std::uint64_t offset = 0;
    std::uint32_t length = 0;
    std::size_t tag = 0;
};

// Pieces longer than this are not read here: their readers read them alone.
constexpr std::uint32_t kMaxPieceBytes = 64 * 1024;

// Reads many small pieces of a few large files, each file front to back, the
// way a browser's block files are best read: pieces that lie close together
// are read with the bytes between them, in windows of at most 1 MiB through
// one buffer per thread. A byte is read at most twice however the pieces lie
// or overlap, and the memory taken is one window per thread. take(piece,
// bytes) gets each piece's bytes, or nothing when they lie past the file's
// end, are too long or cannot be read; on `threads` threads at once, each
// taking a run of the pieces in file order (so take writes only what is the
// piece's own). Pieces not reached once cancelled is set are not taken.
// Each thread, when no piece is left to read, calls then() once: work that
// can share the threads (then divides it among its callers).
using TakePiece = std::function<void(const FilePiece&, std::optional<std::string_view>)>;
void ReadPieces(std::vector<FilePiece> pieces, const TakePiece& take, int threads = 1,
                const std::atomic<bool>* cancelled = nullptr, const std::function<void()>& then = nullptr);

}  // namespace tessaro
