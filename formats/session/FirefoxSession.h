#pragma once

#include "formats/session/BrowserSession.h"

#include <filesystem>
#include <string_view>

namespace tessaro {

// Firefox's session store: a mozLz40 file (see MozLz4.h) holding UTF-8 JSON.
// The parts read here:
//   {
//     "windows": [                      open windows, in window order
//       { "tabs": [                     tabs of the window, in tab order
//           { "entries": [ {"url": "..."}, ... ],   the tab's history
//             "index": n }              1-based index of the current entry
//         ] }
//     ]
//   }
// A tab without "index" shows its last entry. While Firefox runs the file is
// <profile>/sessionstore-backups/recovery.jsonlz4 (previous copy: recovery.baklz4).

// Reads the JSON text of a decoded session store. A tab whose current entry
// is missing or has no text "url" keeps an empty address.
SessionReadResult ParseFirefoxSessionJson(std::string_view json);

// Reads a whole session store file (mozLz40 + JSON).
SessionReadResult ParseFirefoxSessionFile(std::string_view fileBytes);
SessionReadResult ReadFirefoxSession(const std::filesystem::path& file);

}  // namespace tessaro
