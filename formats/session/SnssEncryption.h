#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tessaro {

// Records of encrypted SNSS files are OSCrypt blobs:
//   +0  3 bytes  "v10" (fixed key) or "v11" (key kept in the desktop keyring)
//   +3  ...      AES-128-CBC ciphertext, PKCS#7 padding, IV = 16 blanks
// Without a keyring Chromium uses the "v10" fallback key
// PBKDF2-HMAC-SHA1(password "peanuts", salt "saltysalt", 1 iteration, 16 bytes).

constexpr std::string_view kOsCryptFallbackPrefix = "v10";
constexpr std::size_t kAesBlockSize = 16;

// The plain text of a blob encrypted with the fallback key; nothing for a blob
// under another key, another prefix, or with bad padding.
std::optional<std::string> DecryptWithFallbackKey(std::string_view blob);

}  // namespace tessaro
