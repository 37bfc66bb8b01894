#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace tessaro {

enum class ArchivedResourceResult {
    Found,
    NotRecorded,  // no whole successful response for that address
    TooLarge,     // recorded, but its body passes the limit
    NotAnArchive,
};

// The body a web archive recorded for an address (compared as written), for
// a file a movie loads: the first whole successful response or resource
// record of it, its chunked transfer and content coding undone, at most
// limit bytes. A revisit counts as the record it points at.
ArchivedResourceResult ReadArchivedResource(const std::filesystem::path& archive, std::string_view address,
                                            std::uint64_t limit, std::string& body,
                                            const std::atomic<bool>* cancelled = nullptr);

}  // namespace tessaro
