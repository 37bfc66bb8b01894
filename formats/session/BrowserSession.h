#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tessaro {

// What a browser's session file says about its open windows: the address each
// tab shows, window by window, tab by tab.
struct SessionTab {
    std::string address;  // UTF-8; empty when the tab's current entry could not be read
};

struct SessionWindow {
    std::vector<SessionTab> tabs;
};

// One result per way a session file can be bad.
enum class SessionReadStatus {
    Ok,
    Missing,             // no such file, or not a regular file
    Unreadable,          // the file could not be opened or read
    TooLarge,            // larger than any session file a browser writes
    Empty,               // zero bytes
    BadMagic,            // not the format's signature
    UnsupportedVersion,  // a version this reader does not know
    Truncated,           // ends inside a header or a record
    BadCompression,      // the compressed block does not decode to the declared size
    BadContent,          // decoded, but not the expected structure
    UnknownKey,          // encrypted with a key other than the platform's fallback key
};

const char* SessionReadStatusName(SessionReadStatus status);

struct SessionReadResult {
    SessionReadStatus status = SessionReadStatus::Ok;
    std::vector<SessionWindow> windows;
};

constexpr std::size_t kMaxSessionFileBytes = 64u << 20;

// Reads a whole file of a browser profile, refusing one beyond kMaxSessionFileBytes.
SessionReadStatus ReadSessionFile(const std::filesystem::path& file, std::string& bytes);

}  // namespace tessaro
