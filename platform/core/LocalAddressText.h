#pragma once

#include <string_view>

namespace tessaro {

// Whether a typed address names a local file although it does not spell
// "file://": "file:" as its scheme in any letter case ("file:/etc/passwd") or
// a path with no scheme ("/etc/passwd", "~/page.html"), blanks before it
// aside. Neither is ever opened.
bool NamesLocalFile(std::string_view text);

}  // namespace tessaro
