#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tessaro {

// One line of an answer's head, as libcurl hands it over (with its CR LF).
struct HttpHeaderLine {
    enum class Kind { Status, End, Field, Other };
    Kind kind = Kind::Other;
    int status = 0;     // Status: the three digits after the version; 0 when malformed
    std::string name;   // Field: lower-cased, trimmed
    std::string value;  // Field: trimmed
};

HttpHeaderLine ParseHttpHeaderLine(std::string_view line);

// The heads of one exchange (every interim answer and redirect, then the
// final answer) as they arrive, bounded in lines and bytes over the whole
// exchange, so a server that sends headers for ever fails it.
class HttpHeaderBlock {
public:
    static constexpr std::size_t kMaxLines = 1000;
    static constexpr std::size_t kMaxBytes = 256 * 1024;

    // followRedirects: a redirect's head is followed by another one.
    explicit HttpHeaderBlock(bool followRedirects) : followRedirects_(followRedirects) {}

    // False once past a bound; the exchange is to fail.
    bool Add(std::string_view line);

    // The final answer's head is complete.
    bool Done() const { return done_; }
    int Status() const { return status_; }
    // The fields of the answer being received; replaced at each new head.
    const std::vector<std::pair<std::string, std::string>>& Fields() const { return fields_; }
    // A new status line began since the last call (a new hop or answer).
    bool TakeNewAnswer() { return std::exchange(newAnswer_, false); }

private:
    bool followRedirects_;
    std::size_t lines_ = 0;
    std::size_t bytes_ = 0;
    bool done_ = false;
    bool hasLocation_ = false;
    bool newAnswer_ = false;
    int status_ = 0;
    std::vector<std::pair<std::string, std::string>> fields_;
};

}  // namespace tessaro
