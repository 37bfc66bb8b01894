#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tessaro {

// The rules of the address strip that need no window: which addresses of the
// open browser windows are listed, and what opening a typed address announces.

// An open window's address is listed unless it is empty or names a local
// file or folder ("file://" anywhere, in any letter case).
bool IsListedWindowAddress(std::string_view address);

// The status text that announces opening the typed address, or nothing when
// the address is refused silently (empty, "file://" anywhere in any case, or a
// local file named without it: NamesLocalFile).
// An address without "http://" is announced with "http:// " in front.
std::optional<std::string> OpeningStatusText(std::string_view address);

}  // namespace tessaro
