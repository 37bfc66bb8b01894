#pragma once

#include <charconv>
#include <string>
#include <string_view>

namespace tessaro {

// Letter case rules of the program's texts: only the letters A to Z are
// folded, whatever the bytes around them.

char LowerAscii(char c);
std::string LowerAscii(std::string_view text);
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);
bool StartsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix);
bool EndsWithIgnoringAsciiCase(std::string_view text, std::string_view suffix);

// The number the whole text spells in decimal (a signed type may take a
// leading '-'); false for an empty text, any other byte, or one out of range.
template <typename Number>
bool ParseWholeNumber(std::string_view text, Number& value)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

// The value of a hexadecimal digit in either case; -1 for any other byte.
int HexDigitValue(char c);

// Whether UTF-8 text holds a control character: a byte below 0x20, DEL, or
// U+0080 to U+009F. A name that does cuts a path short (NUL) or shows another
// text than it holds.
bool HoldsControlCharacter(std::string_view utf8);

// The text without any of the blank bytes at either end.
std::string_view TrimAscii(std::string_view text, std::string_view blanks = " \t");

}  // namespace tessaro
