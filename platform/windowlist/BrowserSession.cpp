#include "platform/windowlist/BrowserSession.h"

#include <fstream>
#include <system_error>

namespace tessaro {

const char* SessionReadStatusName(SessionReadStatus status)
{
    switch (status) {
        case SessionReadStatus::Ok:
            return "ok";
        case SessionReadStatus::Missing:
            return "missing";
        case SessionReadStatus::Unreadable:
            return "unreadable";
        case SessionReadStatus::TooLarge:
            return "too large";
        case SessionReadStatus::Empty:
            return "empty";
        case SessionReadStatus::BadMagic:
            return "bad magic";
        case SessionReadStatus::UnsupportedVersion:
            return "unsupported version";
        case SessionReadStatus::Truncated:
            return "truncated";
        case SessionReadStatus::BadCompression:
            return "bad compression";
        case SessionReadStatus::BadContent:
            return "bad content";
        case SessionReadStatus::UnknownKey:
            return "unknown key";
    }
    return "unknown";
}

SessionReadStatus ReadSessionFile(const std::filesystem::path& file, std::string& bytes)
{
    bytes.clear();
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error))
        return SessionReadStatus::Missing;
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return SessionReadStatus::Unreadable;
    // Read by blocks rather than trusting the size: a browser may be rewriting the file.
    char block[64 * 1024];
    while (in) {
        in.read(block, sizeof block);
        bytes.append(block, static_cast<std::size_t>(in.gcount()));
        if (bytes.size() > kMaxSessionFileBytes) {
            bytes.clear();
            return SessionReadStatus::TooLarge;
        }
    }
    if (in.bad())
        return SessionReadStatus::Unreadable;
    return bytes.empty() ? SessionReadStatus::Empty : SessionReadStatus::Ok;
}

}  // namespace tessaro
