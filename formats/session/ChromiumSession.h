#pragma once

#include "formats/session/BrowserSession.h"
#include "formats/session/SnssFile.h"

#include <filesystem>
#include <string_view>
#include <vector>

namespace tessaro {

// The commands of a Chromium Session_* file (SnssFile.h) that say which tabs
// are open and what they show. Payloads are little-endian; SessionID = i32.
//   0   SetTabWindow                 i32 window id, i32 tab id
//   2   SetTabIndexInWindow          i32 tab id, i32 visual index
//   5   TabNavigationPathPrunedFromBack   i32 tab id, i32 count kept (entries >= it go)
//   6   UpdateTabNavigation          a whole base::Pickle:
//                                      u32 payload size, then 4-byte aligned fields
//                                      i32 tab id, i32 navigation index,
//                                      string virtual URL (i32 length + bytes, padded to 4),
//                                      ... (title, page state, more; not read)
//   7   SetSelectedNavigationIndex   i32 tab id, i32 navigation index
//   11  TabNavigationPathPrunedFromFront  i32 tab id, i32 count (first entries go)
//   16  TabClosed                    i32 tab id, ...
//   17  WindowClosed                 i32 window id, ...
//   24  TabNavigationPathPruned      i32 tab id, i32 index, i32 count
// Every other command is passed over. A command whose payload is too short
// for its fields is passed over too.
namespace snss {
constexpr std::uint8_t kSetTabWindow = 0;
constexpr std::uint8_t kSetTabIndexInWindow = 2;
constexpr std::uint8_t kTabNavigationPathPrunedFromBack = 5;
constexpr std::uint8_t kUpdateTabNavigation = 6;
constexpr std::uint8_t kSetSelectedNavigationIndex = 7;
constexpr std::uint8_t kTabNavigationPathPrunedFromFront = 11;
constexpr std::uint8_t kTabClosed = 16;
constexpr std::uint8_t kWindowClosed = 17;
constexpr std::uint8_t kTabNavigationPathPruned = 24;
}  // namespace snss

// Replays the commands into the open windows (in window id order) and their
// tabs (in visual order). A tab's address is its selected navigation, or the
// nearest one after it, as Chromium restores it; tabs without navigations
// and tabs of closed windows are left out.
std::vector<SessionWindow> ReplaySessionCommands(const std::vector<SnssCommand>& commands);

// Reads a Session_* file, clear-text or encrypted with the fallback key.
// A file cut short yields what its complete records say (status Truncated).
SessionReadResult ParseChromiumSessionFile(std::string_view fileBytes);
SessionReadResult ReadChromiumSession(const std::filesystem::path& file);

}  // namespace tessaro
