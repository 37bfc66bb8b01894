#include "formats/archive/RecordStream.h"

#include <algorithm>
#include <zlib.h>

namespace tessaro {

struct RecordStream::Inflater {
    z_stream stream{};
    bool started = false;
    ~Inflater()
    {
        if (started)
            inflateEnd(&stream);
    }
};

const char* ToString(RecordStream::State state)
{
    switch (state) {
        case RecordStream::State::Ok:
            return "ok";
        case RecordStream::State::End:
            return "end";
        case RecordStream::State::Truncated:
            return "truncated";
        case RecordStream::State::Corrupt:
            return "corrupt";
        case RecordStream::State::TooCompressed:
            return "too compressed";
        case RecordStream::State::ReadFailed:
            return "read failed";
        case RecordStream::State::Cancelled:
            return "cancelled";
    }
    return "?";
}

RecordStream::RecordStream(ArchiveInput& input, const std::atomic<bool>* cancelled)
    : input_(input), cancelled_(cancelled), out_(kBufferLength)
{
    in_.resize(kBufferLength);
    if (!ReadInput())
        return;
    gzip_ = inLen_ >= 2 && static_cast<unsigned char>(in_[0]) == 0x1f && static_cast<unsigned char>(in_[1]) == 0x8b;
    if (!gzip_) {
        // The first bytes read are the stream's first bytes.
        std::copy(in_.begin(), in_.begin() + static_cast<std::ptrdiff_t>(inLen_), out_.begin());
        outLen_ = inLen_;
        inPos_ = inLen_ = 0;
        in_.clear();
        in_.shrink_to_fit();
    }
}

RecordStream::~RecordStream() = default;

// Keeps what is left unread of the input buffer in front of the new bytes.
bool RecordStream::ReadInput()
{
    if (inputEnded_)
        return false;
    const std::size_t left = inLen_ - inPos_;
    std::copy(in_.begin() + static_cast<std::ptrdiff_t>(inPos_), in_.begin() + static_cast<std::ptrdiff_t>(inLen_),
              in_.begin());
    std::size_t got = 0;
    if (!input_.Read(in_.data() + left, in_.size() - left, got)) {
        state_ = State::ReadFailed;
        return false;
    }
    inPos_ = 0;
    inLen_ = left + got;
    inputRead_ += got;
    inputEnded_ = got == 0;
    return got > 0;
}

void RecordStream::Consume(std::size_t count)
{
    count = std::min(count, outLen_ - outPos_);
    outPos_ += count;
    position_ += count;
}

bool RecordStream::Fill()
{
    if (outPos_ < outLen_)
        return true;
    if (state_ != State::Ok)
        return false;
    if (cancelled_ != nullptr && cancelled_->load()) {
        state_ = State::Cancelled;
        return false;
    }
    return gzip_ ? FillGzip() : FillPlain();
}

bool RecordStream::FillPlain()
{
    std::size_t got = 0;
    if (!input_.Read(out_.data(), out_.size(), got)) {
        state_ = State::ReadFailed;
        return false;
    }
    outPos_ = 0;
    outLen_ = got;
    if (got == 0)
        state_ = State::End;
    return got > 0;
}

bool RecordStream::StartMember()
{
    if (inPos_ == inLen_ && !ReadInput()) {
        if (state_ == State::Ok)
            state_ = State::End;
        return false;
    }
    // A member starts with the gzip magic; anything else after the last
    // member (padding, another format) ends the stream.
    if (inLen_ - inPos_ < 2 && !ReadInput()) {
        state_ = State::Corrupt;
        return false;
    }
    if (static_cast<unsigned char>(in_[inPos_]) != 0x1f || static_cast<unsigned char>(in_[inPos_ + 1]) != 0x8b) {
        state_ = State::Corrupt;
        return false;
    }
    if (!inflater_)
        inflater_ = std::make_unique<Inflater>();
    if (!inflater_->started) {
        inflater_->started = inflateInit2(&inflater_->stream, 16 + MAX_WBITS) == Z_OK;
        if (!inflater_->started) {
            state_ = State::Corrupt;
            return false;
        }
    } else if (inflateReset(&inflater_->stream) != Z_OK) {
        state_ = State::Corrupt;
        return false;
    }
    memberStart_ = inputRead_ - (inLen_ - inPos_);
    memberIn_ = memberOut_ = 0;
    inMember_ = true;
    return true;
}

bool RecordStream::FillGzip()
{
    if (!inMember_ && !StartMember())
        return false;
    z_stream& z = inflater_->stream;
    outPos_ = outLen_ = 0;
    bufferMember_ = memberStart_;
    while (outLen_ == 0) {
        if (inPos_ == inLen_ && !ReadInput()) {
            if (state_ == State::Ok)
                state_ = State::Truncated;
            return false;
        }
        z.next_in = reinterpret_cast<Bytef*>(in_.data() + inPos_);
        z.avail_in = static_cast<uInt>(inLen_ - inPos_);
        z.next_out = reinterpret_cast<Bytef*>(out_.data());
        z.avail_out = static_cast<uInt>(out_.size());
        const int status = inflate(&z, Z_NO_FLUSH);
        const std::size_t used = (inLen_ - inPos_) - z.avail_in;
        inPos_ += used;
        memberIn_ += used;
        outLen_ = out_.size() - z.avail_out;
        memberOut_ += outLen_;
        if (memberOut_ > (memberIn_ + kRatioSlack) * kMaxInflateRatio) {
            outLen_ = 0;
            state_ = State::TooCompressed;
            return false;
        }
        if (status == Z_STREAM_END) {
            // One buffer holds bytes of one member, so each byte's member is known.
            inMember_ = false;
            if (outLen_ == 0)
                return FillGzip();
            break;
        }
        if ((status != Z_OK && status != Z_BUF_ERROR) || (used == 0 && outLen_ == 0 && inPos_ < inLen_)) {
            outLen_ = 0;
            state_ = State::Corrupt;
            return false;
        }
    }
    return true;
}

bool RecordStream::Skip(std::uint64_t count)
{
    const std::size_t buffered = static_cast<std::size_t>(std::min<std::uint64_t>(count, outLen_ - outPos_));
    Consume(buffered);
    count -= buffered;
    if (count == 0)
        return true;
    if (!gzip_) {
        if (state_ != State::Ok)
            return false;
        if (!input_.Skip(count)) {
            state_ = State::Truncated;
            return false;
        }
        position_ += count;
        return true;
    }
    while (count > 0) {
        if (!Fill()) {
            if (state_ == State::End)
                state_ = State::Truncated;
            return false;
        }
        const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(count, outLen_ - outPos_));
        Consume(take);
        count -= take;
    }
    return true;
}

std::uint64_t RecordStream::FileOffset() const
{
    if (gzip_)
        return outPos_ < outLen_ ? bufferMember_ : inputRead_ - (inLen_ - inPos_);
    return position_;
}

std::uint64_t RecordStream::MostRemaining() const
{
    const std::uint64_t buffered = outLen_ - outPos_;
    const std::uint64_t size = input_.Size();
    const std::uint64_t unread = size > inputRead_ ? size - inputRead_ : 0;
    if (!gzip_)
        return buffered + unread;
    const std::uint64_t compressed = unread + (inLen_ - inPos_);
    return buffered + (compressed + kRatioSlack) * kMaxInflateRatio;
}

}  // namespace tessaro
