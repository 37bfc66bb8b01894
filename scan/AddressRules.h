#pragma once

#include <string>
#include <string_view>

namespace tessaro {

// The text rules that make a movie reference found in a page absolute.
// Plain string rules on UTF-16 text, not a general URL resolver.

// Trims leading and trailing blanks (U+0020 only) and encodes the inner ones
// as "%20"; a text of blanks only becomes empty.
std::u16string EncodeSpaces(std::u16string_view text);

// Makes reference absolute against the address of the document it stands in.
std::u16string ResolveAddress(std::u16string_view pageAddress, std::u16string_view reference);

}  // namespace tessaro
