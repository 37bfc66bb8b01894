#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace tessaro {

// Undoes chunked transfer coding as the bytes arrive: "<hex size>[;ext]\r\n"
// then that many bytes and "\r\n", until a chunk of size 0 (trailers after
// it are passed over). A size line longer than kMaxSizeLine, or a size that
// is no hexadecimal number of at most 15 digits, is corrupt.
class ChunkedBody {
public:
    static constexpr std::size_t kMaxSizeLine = 1024;
    using Sink = std::function<bool(std::string_view)>;
    enum class Result { More, Ended, Corrupt, Stopped };

    // Hands the body's bytes on; More while the chunks go on.
    Result Feed(std::string_view coded, const Sink& sink);
    bool Ended() const { return state_ == State::Done; }
    // The last chunk came (its trailers may be missing: a recording cut there
    // still holds the whole body).
    bool Whole() const { return state_ == State::Done || state_ == State::Trailer; }

private:
    enum class State { Size, Data, DataEnd, Trailer, Done, Failed };
    Result SizeLine();

    State state_ = State::Size;
    std::string line_;
    std::uint64_t left_ = 0;
};

}  // namespace tessaro
