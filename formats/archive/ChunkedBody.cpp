#include "formats/archive/ChunkedBody.h"

#include "platform/core/AsciiText.h"

#include <algorithm>

namespace tessaro {

ChunkedBody::Result ChunkedBody::SizeLine()
{
    std::string_view line(line_);
    line = line.substr(0, line.find(';'));
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r'))
        line.remove_suffix(1);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
        line.remove_prefix(1);
    if (line.empty() || line.size() > 15)
        return Result::Corrupt;
    std::uint64_t size = 0;
    for (const char c : line) {
        const int digit = HexDigitValue(c);
        if (digit < 0)
            return Result::Corrupt;
        size = size * 16 + static_cast<std::uint64_t>(digit);
    }
    line_.clear();
    left_ = size;
    state_ = size == 0 ? State::Trailer : State::Data;
    return Result::More;
}

ChunkedBody::Result ChunkedBody::Feed(std::string_view coded, const Sink& sink)
{
    while (!coded.empty()) {
        switch (state_) {
            case State::Size:
            case State::Trailer: {
                const std::size_t newline = coded.find('\n');
                const std::string_view part = coded.substr(0, newline);
                if (line_.size() + part.size() > kMaxSizeLine) {
                    state_ = State::Failed;
                    return Result::Corrupt;
                }
                line_.append(part);
                if (newline == std::string_view::npos)
                    return Result::More;
                coded.remove_prefix(newline + 1);
                if (state_ == State::Trailer) {
                    // An empty line ends the trailers.
                    const bool empty = line_.empty() || line_ == "\r";
                    line_.clear();
                    if (empty) {
                        state_ = State::Done;
                        return Result::Ended;
                    }
                    continue;
                }
                if (SizeLine() == Result::Corrupt) {
                    state_ = State::Failed;
                    return Result::Corrupt;
                }
                break;
            }
            case State::Data: {
                const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(left_, coded.size()));
                if (!sink(coded.substr(0, take)))
                    return Result::Stopped;
                coded.remove_prefix(take);
                left_ -= take;
                if (left_ == 0)
                    state_ = State::DataEnd;
                break;
            }
            case State::DataEnd: {
                // The CRLF after a chunk's data; a bare LF is taken too.
                const char c = coded.front();
                coded.remove_prefix(1);
                if (c == '\n')
                    state_ = State::Size;
                else if (c != '\r') {
                    state_ = State::Failed;
                    return Result::Corrupt;
                }
                break;
            }
            case State::Done:
                return Result::Ended;
            case State::Failed:
                return Result::Corrupt;
        }
    }
    return state_ == State::Done ? Result::Ended : state_ == State::Failed ? Result::Corrupt : Result::More;
}

}  // namespace tessaro
