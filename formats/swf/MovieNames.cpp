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

void TMovieNames::Offer(std::string_view text, bool utf8)
{
    if (exhausted_ || text.size() > budget_ - offered_) {
        exhausted_ = true;
        return;
    }
    offered_ += text.size();
    if (text.size() > kMaxMovieNameBytes)
        return;
    QStringList* into = NamesMovie(text) ? &names_ : files_ != nullptr && NamesNeededFile(text) ? files_ : nullptr;
    if (into == nullptr || into->size() >= kMaxMovieNames)
        return;
    text = TrimBlanks(text);
    const QString name = utf8 ? QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()))
                              : QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    if (seen_.contains(name))
        return;
    seen_.insert(name);
    into->append(name);
}

}  // namespace tessaro::swf
