#include "formats/session/BrowserSession.h"

#include "platform/core/RegularFile.h"

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
    switch (ReadRegularFile(file, kMaxSessionFileBytes, bytes)) {
        case RegularFileResult::Ok:
            return bytes.empty() ? SessionReadStatus::Empty : SessionReadStatus::Ok;
        case RegularFileResult::Missing:
        case RegularFileResult::NotRegular:
            bytes.clear();
            return SessionReadStatus::Missing;
        case RegularFileResult::TooLarge:
            bytes.clear();
            return SessionReadStatus::TooLarge;
        case RegularFileResult::Failed:
            break;
    }
    bytes.clear();
    return SessionReadStatus::Unreadable;
}

}  // namespace tessaro
