#include "formats/swf/MovieNames.h"

#include "platform/core/AsciiText.h"

namespace tessaro::swf {

namespace {

std::string_view TrimBlanks(std::string_view text)
{
    return TrimAscii(text, " ");
}

}  // namespace

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
    if (text.size() > kMaxMovieNameBytes || names_.size() >= kMaxMovieNames || !NamesMovie(text))
        return;
    text = TrimBlanks(text);
    const QString name = utf8 ? QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()))
                              : QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    if (seen_.contains(name))
        return;
    seen_.insert(name);
    names_.append(name);
}

}  // namespace tessaro::swf
