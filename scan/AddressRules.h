#pragma once

#include <cstddef>
#include <optional>
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

// A page address split once, so that each reference resolved against it
// costs the reference's length, not the page's. Views the page's text,
// which must outlive it.
class TPageAddress {
public:
    explicit TPageAddress(std::u16string_view page);

    // ResolveAddress's result; nothing when it would be longer than
    // maxLength, found before it is built.
    std::optional<std::u16string> Resolve(std::u16string_view reference,
                                          std::size_t maxLength = std::u16string::npos) const;

private:
    std::size_t SiteRootLength() const;

    std::u16string_view scheme_;           // without its colon; empty when the address has none
    std::u16string_view siteRoot_;         // ends with "/" unless empty or siteRootNeedsSlash_
    bool siteRootNeedsSlash_ = false;      // the address has a host but no "/" after it
    std::u16string_view baseDirectory_;    // ends with "/" unless empty
    std::u16string_view parentDirectory_;  // the base directory's, ends with "/" unless empty
};

}  // namespace tessaro
