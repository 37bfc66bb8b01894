#include "formats/session/SnssFile.h"

#include "formats/session/SnssEncryption.h"
#include "platform/core/ByteOrder.h"

#include <cstring>

namespace tessaro {

namespace {

void ReadClearTextRecords(std::string_view file, SnssReadResult& result)
{
    std::size_t at = kSnssHeaderSize;
    while (at < file.size()) {
        if (file.size() - at < 2) {
            result.status = SessionReadStatus::Truncated;
            return;
        }
        const std::size_t size = LoadLe16(file.data() + at);
        if (size == 0)
            return;
        if (file.size() - at - 2 < size) {
            result.status = SessionReadStatus::Truncated;
            return;
        }
        result.commands.push_back(
            {static_cast<std::uint8_t>(file[at + 2]), std::string(file.substr(at + 3, size - 1))});
        at += 2 + size;
    }
}

void ReadEncryptedRecords(std::string_view file, SnssReadResult& result)
{
    std::size_t at = kSnssHeaderSize;
    while (at < file.size()) {
        if (file.size() - at < 4) {
            result.status = SessionReadStatus::Truncated;
            return;
        }
        const std::size_t size = LoadLe32(file.data() + at);
        if (size == 0)
            return;
        if (file.size() - at - 4 < size) {
            result.status = SessionReadStatus::Truncated;
            return;
        }
        const std::string_view blob = file.substr(at + 4, size);
        const std::optional<std::string> plain = DecryptWithFallbackKey(blob);
        if (!blob.starts_with(kOsCryptFallbackPrefix)) {
            // Under a keyring's key: nothing of this file can be read.
            result.status = SessionReadStatus::UnknownKey;
            result.commands.clear();
            return;
        }
        if (!plain || plain->empty()) {
            result.status = SessionReadStatus::BadContent;
            return;
        }
        result.commands.push_back({static_cast<std::uint8_t>((*plain)[0]), plain->substr(1)});
        at += 4 + size;
    }
}

}  // namespace

SnssReadResult ParseSnss(std::string_view file)
{
    SnssReadResult result;
    if (file.empty()) {
        result.status = SessionReadStatus::Empty;
        return result;
    }
    if (file.size() < kSnssHeaderSize) {
        result.status = file.starts_with(kSnssMagic.substr(0, file.size())) ? SessionReadStatus::Truncated
                                                                            : SessionReadStatus::BadMagic;
        return result;
    }
    if (file.substr(0, kSnssMagic.size()) != kSnssMagic) {
        result.status = SessionReadStatus::BadMagic;
        return result;
    }
    result.version = static_cast<std::int32_t>(LoadLe32(file.data() + 4));
    if (result.version == kSnssClearTextVersion)
        ReadClearTextRecords(file, result);
    else if (result.version == kSnssEncryptedVersion)
        ReadEncryptedRecords(file, result);
    else
        result.status = SessionReadStatus::UnsupportedVersion;
    return result;
}

}  // namespace tessaro
