#pragma once

#include "formats/session/BrowserSession.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tessaro {

// Chromium's SNSS command files (<profile>/Sessions/Session_<time>, Tabs_<time>;
// the encrypted copies in Sessions_Encrypted/). All integers little-endian.
//   +0  4 bytes  "SNSS"
//   +4  i32      version: 3 = clear-text records, 5 = each record encrypted
//   +8  records up to the end of the file
// Version 3 record:
//   +0  u16      size = 1 + payload length (0 ends the file)
//   +2  u8       command id
//   +3  payload  size - 1 bytes
// Version 5 record:
//   +0  u32      size of the blob (0 ends the file)
//   +4  blob     an OSCrypt blob (SnssEncryption.h) that decrypts to
//                u8 command id + payload
// A browser appends records as it goes, so a record cut short by the end of
// the file ends the list; the records before it stand.

constexpr std::string_view kSnssMagic = "SNSS";
constexpr std::size_t kSnssHeaderSize = 8;
constexpr std::int32_t kSnssClearTextVersion = 3;
constexpr std::int32_t kSnssEncryptedVersion = 5;

struct SnssCommand {
    std::uint8_t id = 0;
    std::string payload;
};

struct SnssReadResult {
    // Ok; Empty, Truncated (header or last record cut short), BadMagic,
    // UnsupportedVersion, BadContent (an encrypted record that decrypts to
    // nothing), UnknownKey (a record under a key other than the fallback key).
    SessionReadStatus status = SessionReadStatus::Ok;
    std::int32_t version = 0;
    std::vector<SnssCommand> commands;  // those read before any fault
};

SnssReadResult ParseSnss(std::string_view file);

}  // namespace tessaro
