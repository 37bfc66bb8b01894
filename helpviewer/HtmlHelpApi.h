#pragma once

#include <cstdint>

// The calling convention shared by the program and the help viewer library:
// the viewer exports one C entry point that takes the caller's window, the
// help file, a command and its data, and returns the help window it shows.

namespace tessaro {

// A native window id, as QWidget::winId() gives it; 0 for "no window".
using HelpWindowHandle = std::uintptr_t;

using HtmlHelpEntry = HelpWindowHandle (*)(HelpWindowHandle window, const char* file, std::uint32_t command,
                                           std::uint32_t data);

inline constexpr const char* kHtmlHelpEntryName = "HtmlHelpA";

// Command values of the help call.
inline constexpr std::uint32_t HH_DISPLAY_TOC = 0x0001;
inline constexpr std::uint32_t HH_CLOSE_ALL = 0x0012;

}  // namespace tessaro
