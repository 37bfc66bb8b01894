#include "formats/swf/MovieNames.h"

#include "platform/core/AsciiText.h"

namespace tessaro::swf {

namespace {

std::string_view TrimBlanks(std::string_view text)
{
    return TrimAscii(text, " ");
}

// Cut at its first "?", blanks at either end set aside, no "'" in it.
std::string_view NamePart(std::string_view text)
{
    text = TrimBlanks(text);
    if (text.find('\'') != std::string_view::npos)
        return {};
    return text.substr(0, text.find('?'));
}

constexpr std::string_view kNeededFileExtensions[] = {".xml", ".txt", ".json", ".jpg", ".jpeg", ".png", ".gif",
                                                      ".mp3", ".flv", ".f4v",  ".mp4", ".swz",  ".swc"};

}  // namespace

bool NamesNeededFile(std::string_view text)
{
    const std::string_view name = NamePart(text);
    for (const std::string_view extension : kNeededFileExtensions)
        if (name.size() > extension.size() && EndsWithIgnoringAsciiCase(name, extension))
            return true;
    return false;
}

bool NamesMovie(std::string_view text)
{
    text = TrimBlanks(text);
    if (text.size() < 4 || text.find('\'') != std::string_view::npos)
        return false;
    return EndsWithIgnoringAsciiCase(text.substr(0, text.find('?')), ".swf");
}

bool IsLoadAddress(std::string_view text)
{
    text = TrimBlanks(text);
    if (text.empty() || text.find('\'') != std::string_view::npos)
        return false;
    for (const char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return false;
    for (const std::string_view scheme : {"javascript:", "mailto:", "fscommand:", "asfunction:", "event:", "print:"})
        if (StartsWithIgnoringAsciiCase(text, scheme))
            return false;
    return text != "#";
}

bool TMovieNames::Spend(std::string_view text)
{
    if (exhausted_ || text.size() > budget_ - offered_) {
        exhausted_ = true;
        return false;
    }
    offered_ += text.size();
    return text.size() <= kMaxMovieNameBytes;
}

void TMovieNames::Take(std::string_view text, bool utf8, QStringList& into)
{
    if (into.size() >= kMaxMovieNames)
        return;
    text = TrimBlanks(text);
    const QString name = utf8 ? QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()))
                              : QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    if (seen_.contains(name))
        return;
    seen_.insert(name);
    into.append(name);
}

void TMovieNames::Offer(std::string_view text, bool utf8)
{
    if (!Spend(text))
        return;
    if (NamesMovie(text))
        Take(text, utf8, names_);
    else if (files_ != nullptr && NamesNeededFile(text))
        Take(text, utf8, *files_);
}

void TMovieNames::OfferAddress(std::string_view text, bool utf8)
{
    if (!Spend(text))
        return;
    if (NamesMovie(text))
        Take(text, utf8, names_);
    else if (files_ != nullptr && IsLoadAddress(text))
        Take(text, utf8, *files_);
}

}  // namespace tessaro::swf
