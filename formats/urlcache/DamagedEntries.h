#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tessaro {

// The entries of one cache that were damaged: how many, and the first one's
// file (relative to the cache's folder) and why. It holds one entry's words
// whatever the cache holds, so a cache of damaged entries costs no more.
//
// Damage is what the browser would call damage too. A file that vouches for
// itself (a simple-cache end record, a cache2 trailer) or an index that
// vouches for an entry (a block-file entry in the normal state, an old
// Firefox map record, an Internet Explorer URL record) and then names bytes
// its file does not hold, a wrong magic or a wrong CRC is damage. An entry
// file whose closing record is not written yet is being written; an entry
// evicted, doomed, not HTTP, of a version or key this reader does not take,
// or with ranges not fetched yet is not for us. Neither is damage.
struct DamagedEntries {
    // Counted up to this; past it the count says "at least".
    static constexpr std::uint64_t kMaxCounted = 1'000'000;

    std::uint64_t count = 0;
    std::string firstFile;
    std::string firstReason;

    // A name is kept to this many bytes.
    static constexpr std::size_t kMaxNameBytes = 255;

    void Note(const std::string& file, const std::string& reason)
    {
        // The name may come from the damaged index itself: text, no control bytes.
        if (count == 0) {
            firstFile = file.substr(0, kMaxNameBytes);
            for (char& c : firstFile)
                if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
                    c = '?';
            firstReason = reason;
        }
        if (count < kMaxCounted)
            ++count;
    }

    // "3 damaged entries, the first <file>: <reason>"; empty when none.
    std::string Text() const
    {
        if (count == 0)
            return {};
        const std::string how = count == 1 ? "1 damaged entry, "
                                           : (count >= kMaxCounted ? "at least " : "") + std::to_string(count) +
                                                 " damaged entries, the first ";
        return how + firstFile + ": " + firstReason;
    }
};

}  // namespace tessaro
