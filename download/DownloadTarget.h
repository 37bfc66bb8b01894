#pragma once

#include <string>

namespace tessaro {

// The file a movie address is saved as: saveFolder (which ends with "/")
// followed by the address's text after the last "/" before its first ".swf",
// up to and including that ".swf", case kept and nothing unescaped. Empty
// when the address holds neither "http://" nor "https://" (in any case), or no
// ".swf". The name is at most 1024 characters long, ".swf" included; an
// address with no "/" before its ".swf" gives the text from its start.
// Empty too when the address holds a control character (a NUL, ESC, a line
// end, DEL, U+0080 to U+009F), or the folder a NUL.
std::string DownloadTargetName(const std::string& address, const std::string& saveFolder);

}  // namespace tessaro
