#pragma once

#include "formats/archive/ArchiveInput.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace tessaro {

// The records of an archive file as one stream of bytes, whether the file is
// plain, gzip-compressed record by record (one member per record, as
// crawlers write) or one gzip stream. Members are inflated one at a time
// into a buffer of kBufferLength; nothing more of the file is held.
class RecordStream {
public:
    static constexpr std::size_t kBufferLength = 256 * 1024;
    // A member may give this many bytes per compressed byte (and a little
    // slack for tiny members); past it, it is a bomb and the file ends there.
    static constexpr std::uint64_t kMaxInflateRatio = 1000;
    static constexpr std::uint64_t kRatioSlack = 64;

    enum class State {
        Ok,
        End,            // the file ended where a record may end
        Truncated,      // a gzip member or a record is cut short
        Corrupt,        // damaged compressed bytes, or bytes after the last member that are no member
        TooCompressed,  // a member inflates beyond the ratio
        ReadFailed,
        Cancelled,  // the flag given was set
    };

    // Once cancelled points at a set flag, the stream gives no more bytes:
    // passing over a long record inflates it, and that looks at the flag
    // once a buffer.
    explicit RecordStream(ArchiveInput& input, const std::atomic<bool>* cancelled = nullptr);
    ~RecordStream();
    RecordStream(const RecordStream&) = delete;
    RecordStream& operator=(const RecordStream&) = delete;

    bool Compressed() const { return gzip_; }
    // Makes at least one byte available; false once the stream has none
    // (State() says why).
    bool Fill();
    std::string_view Available() const { return {out_.data() + outPos_, outLen_ - outPos_}; }
    void Consume(std::size_t count);
    // Passes over count bytes (a plain file seeks); false when the stream
    // ended first.
    bool Skip(std::uint64_t count);
    // A read stops early: the caller saw a record run past the file.
    void Stop(State state) { state_ = state; }

    // Bytes of the stream consumed so far.
    std::uint64_t Position() const { return position_; }
    // Where in the file the next byte comes from: a compressed file's
    // member start, a plain file's own offset.
    std::uint64_t FileOffset() const;
    // The most the rest of the stream can hold, by the file's size.
    std::uint64_t MostRemaining() const;
    State GetState() const { return state_; }

private:
    bool FillPlain();
    bool FillGzip();
    bool StartMember();
    bool ReadInput();

    ArchiveInput& input_;
    const std::atomic<bool>* cancelled_;
    bool gzip_ = false;
    std::vector<char> in_, out_;
    std::size_t inPos_ = 0, inLen_ = 0;
    std::size_t outPos_ = 0, outLen_ = 0;
    std::uint64_t inputRead_ = 0;  // bytes taken from the input so far
    bool inputEnded_ = false;
    std::uint64_t position_ = 0;
    // The member being inflated, and the one the buffer's bytes came from.
    struct Inflater;
    std::unique_ptr<Inflater> inflater_;
    bool inMember_ = false;
    std::uint64_t memberStart_ = 0, bufferMember_ = 0;
    std::uint64_t memberIn_ = 0, memberOut_ = 0;
    State state_ = State::Ok;
};

const char* ToString(RecordStream::State state);

}  // namespace tessaro
