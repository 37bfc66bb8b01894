#include "scan/AddressRules.h"

namespace tessaro {

namespace {

constexpr char16_t kBlank = u' ';
constexpr std::u16string_view kSchemeSeparator = u"://";

// An address with no "scheme://host" part has its root's "/" looked for from
// the 8th character to the 1023rd.
constexpr std::size_t kBareRootFirst = 7;
constexpr std::size_t kBareRootEnd = 1023;

bool IsAsciiLetter(char16_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

bool IsAsciiDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

// A scheme is a letter followed by letters, digits, "+", "-" or ".", then ":".
bool BeginsWithScheme(std::u16string_view text)
{
    if (text.empty() || !IsAsciiLetter(text[0]))
        return false;
    for (std::size_t i = 1; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c == u':')
            return true;
        if (!IsAsciiLetter(c) && !IsAsciiDigit(c) && c != u'+' && c != u'-' && c != u'.')
            return false;
    }
    return false;
}

std::u16string_view BaseDirectoryOf(std::u16string_view page)
{
    const std::size_t query = page.find(u'?');
    const std::u16string_view beforeQuery = page.substr(0, query);
    const std::size_t slash = beforeQuery.rfind(u'/');
    return slash == std::u16string_view::npos ? std::u16string_view() : page.substr(0, slash + 1);
}

std::u16string_view ParentDirectoryOf(std::u16string_view baseDirectory)
{
    if (baseDirectory.size() < 2)
        return {};
    const std::size_t slash = baseDirectory.rfind(u'/', baseDirectory.size() - 2);
    return slash == std::u16string_view::npos ? std::u16string_view() : baseDirectory.substr(0, slash + 1);
}

}  // namespace

std::u16string EncodeSpaces(std::u16string_view text)
{
    if (text.find(kBlank) == std::u16string_view::npos)
        return std::u16string(text);
    const std::size_t first = text.find_first_not_of(kBlank);
    if (first == std::u16string_view::npos)
        return {};
    const std::size_t last = text.find_last_not_of(kBlank);
    std::u16string result;
    result.reserve(last - first + 1);
    for (const char16_t c : text.substr(first, last - first + 1)) {
        if (c == kBlank)
            result += u"%20";
        else
            result += c;
    }
    return result;
}

TPageAddress::TPageAddress(std::u16string_view page)
{
    baseDirectory_ = BaseDirectoryOf(page);
    parentDirectory_ = ParentDirectoryOf(baseDirectory_);

    const std::size_t separator = page.find(kSchemeSeparator);
    if (separator != std::u16string_view::npos && BeginsWithScheme(page)) {
        scheme_ = page.substr(0, separator);
        // The host ends where its path, query or fragment begins.
        const std::size_t hostStart = separator + kSchemeSeparator.size();
        const std::size_t hostEnd = page.find_first_of(u"/?#", hostStart);
        if (hostEnd != std::u16string_view::npos && page[hostEnd] == u'/') {
            siteRoot_ = page.substr(0, hostEnd + 1);
        } else {
            siteRoot_ = page.substr(0, hostEnd);
            siteRootNeedsSlash_ = true;
        }
        return;
    }

    const std::size_t slash = page.find(u'/', kBareRootFirst);
    if (slash < kBareRootEnd)
        siteRoot_ = page.substr(0, slash + 1);
    else if (page.size() > kBareRootEnd)
        siteRoot_ = page.substr(0, kBareRootEnd + 1);
}

std::size_t TPageAddress::SiteRootLength() const
{
    return siteRoot_.size() + (siteRootNeedsSlash_ ? 1 : 0);
}

std::optional<std::u16string> TPageAddress::Resolve(std::u16string_view reference, std::size_t maxLength) const
{
    const std::u16string ref = EncodeSpaces(reference);
    const std::u16string_view view(ref);

    // The address is a prefix of the page's (the site's root, or a folder
    // not above it), maybe a "/" to end it, then the rest of the reference.
    std::u16string_view prefix;
    bool slash = false;
    std::u16string_view rest = view;
    if (view.starts_with(u"//")) {
        if (!scheme_.empty()) {
            // The page's scheme and its colon, as one prefix of the page.
            prefix = siteRoot_.substr(0, scheme_.size() + 1);
        }
    } else if (view.starts_with(u'/')) {
        prefix = siteRoot_;
        slash = siteRootNeedsSlash_;
        rest = view.substr(1);
    } else if (!BeginsWithScheme(view)) {
        const bool up = view.starts_with(u"../");
        prefix = up ? parentDirectory_ : baseDirectory_;
        rest = up ? view.substr(3) : view;
        // A directory that would climb above the site's root is replaced by
        // the root, so a resolved address never loses its host.
        if (!scheme_.empty() && prefix.size() < SiteRootLength()) {
            prefix = siteRoot_;
            slash = siteRootNeedsSlash_;
        }
    }
    const std::size_t length = prefix.size() + (slash ? 1 : 0) + rest.size();
    if (length > maxLength)
        return std::nullopt;
    std::u16string address;
    address.reserve(length);
    address += prefix;
    if (slash)
        address += u'/';
    address += rest;
    return address;
}

std::u16string ResolveAddress(std::u16string_view pageAddress, std::u16string_view reference)
{
    return *TPageAddress(pageAddress).Resolve(reference);
}

}  // namespace tessaro
