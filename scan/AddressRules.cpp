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

// The parts of a page address that references are resolved against.
struct PageParts {
    std::u16string_view scheme;         // without its colon; empty when the address has none
    std::u16string_view siteRoot;       // ends with "/" unless empty
    bool siteRootNeedsSlash = false;    // the address has a host but no "/" after it
    std::u16string_view baseDirectory;  // ends with "/" unless empty
};

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

PageParts SplitPage(std::u16string_view page)
{
    PageParts parts;
    parts.baseDirectory = BaseDirectoryOf(page);

    const std::size_t separator = page.find(kSchemeSeparator);
    if (separator != std::u16string_view::npos && BeginsWithScheme(page)) {
        parts.scheme = page.substr(0, separator);
        // The host ends where its path, query or fragment begins.
        const std::size_t hostStart = separator + kSchemeSeparator.size();
        const std::size_t hostEnd = page.find_first_of(u"/?#", hostStart);
        if (hostEnd != std::u16string_view::npos && page[hostEnd] == u'/') {
            parts.siteRoot = page.substr(0, hostEnd + 1);
        } else {
            parts.siteRoot = page.substr(0, hostEnd);
            parts.siteRootNeedsSlash = true;
        }
        return parts;
    }

    const std::size_t slash = page.find(u'/', kBareRootFirst);
    if (slash < kBareRootEnd)
        parts.siteRoot = page.substr(0, slash + 1);
    else if (page.size() > kBareRootEnd)
        parts.siteRoot = page.substr(0, kBareRootEnd + 1);
    return parts;
}

std::u16string SiteRoot(const PageParts& parts)
{
    std::u16string root(parts.siteRoot);
    if (parts.siteRootNeedsSlash)
        root += u'/';
    return root;
}

// A directory that would climb above the site's root is replaced by the root,
// so a resolved address never loses its host.
std::u16string NotAboveRoot(std::u16string_view directory, const PageParts& parts)
{
    if (parts.scheme.empty())
        return std::u16string(directory);
    std::u16string root = SiteRoot(parts);
    if (directory.size() < root.size())
        return root;
    return std::u16string(directory);
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

std::u16string ResolveAddress(std::u16string_view pageAddress, std::u16string_view reference)
{
    std::u16string ref = EncodeSpaces(reference);
    const std::u16string_view view(ref);
    const PageParts parts = SplitPage(pageAddress);

    if (view.starts_with(u"//"))
        return parts.scheme.empty() ? ref : std::u16string(parts.scheme) + u':' + ref;
    if (view.starts_with(u'/'))
        return SiteRoot(parts) + ref.substr(1);
    if (BeginsWithScheme(view))
        return ref;
    if (view.starts_with(u"../"))
        return NotAboveRoot(ParentDirectoryOf(parts.baseDirectory), parts) + ref.substr(3);
    return NotAboveRoot(parts.baseDirectory, parts) + ref;
}

}  // namespace tessaro
