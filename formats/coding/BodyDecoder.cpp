#include "formats/coding/BodyDecoder.h"

#include "platform/core/AsciiText.h"

#include <algorithm>
#include <array>
#include <brotli/decode.h>
#include <memory>
#include <zlib.h>

namespace tessaro {

using Emitter = std::function<DecodeResult(std::string_view)>;

// One coding undone as a stream: coded bytes in, decoded pieces out.
class BodyDecoderStream::Layer {
public:
    virtual ~Layer() = default;
    // Ok while the layer can take more; the emitter's result otherwise.
    virtual DecodeResult Push(std::string_view coded, const Emitter& emit) = 0;
    // Whether the coded stream reached its end.
    virtual bool Ended() const = 0;
};

namespace {

enum class Coding { Identity, Gzip, Deflate, Brotli, Unknown };

std::vector<Coding> ParseCodings(std::string_view value)
{
    std::vector<Coding> codings;
    while (true) {
        const std::size_t comma = value.find(',');
        std::string_view name = value.substr(0, comma);
        while (!name.empty() && (name.front() == ' ' || name.front() == '\t'))
            name.remove_prefix(1);
        while (!name.empty() && (name.back() == ' ' || name.back() == '\t'))
            name.remove_suffix(1);
        const std::string lower = LowerAscii(name);
        if (lower == "gzip" || lower == "x-gzip")
            codings.push_back(Coding::Gzip);
        else if (lower == "deflate")
            codings.push_back(Coding::Deflate);
        else if (lower == "br")
            codings.push_back(Coding::Brotli);
        else if (!lower.empty() && lower != "identity")
            codings.push_back(Coding::Unknown);
        if (comma == std::string_view::npos)
            break;
        value.remove_prefix(comma + 1);
    }
    return codings;
}

class IdentityLayer : public BodyDecoderStream::Layer {
public:
    explicit IdentityLayer(std::size_t pieceLength) : pieceLength_(pieceLength) {}

    DecodeResult Push(std::string_view coded, const Emitter& emit) override
    {
        while (!coded.empty()) {
            const std::string_view piece = coded.substr(0, pieceLength_);
            coded.remove_prefix(piece.size());
            if (const DecodeResult result = emit(piece); result != DecodeResult::Ok)
                return result;
        }
        return DecodeResult::Ok;
    }
    bool Ended() const override { return true; }

private:
    std::size_t pieceLength_;
};

// A thread's inflate state kept for its next body: a walk looks at the
// first bytes of thousands of gzip bodies, and zlib's state and window are
// 40 KiB to allocate, clear and free for each.
class SpareInflateStream {
public:
    ~SpareInflateStream()
    {
        if (stream_)
            inflateEnd(stream_.get());
    }
    std::unique_ptr<z_stream> Take() { return std::move(stream_); }
    void Give(std::unique_ptr<z_stream> stream)
    {
        if (stream_)
            inflateEnd(stream.get());
        else
            stream_ = std::move(stream);
    }

private:
    std::unique_ptr<z_stream> stream_;  // zlib keeps its address: never moved out of the heap
};

thread_local SpareInflateStream spareInflate;

// gzip, zlib-wrapped deflate or raw deflate. "deflate" should be
// zlib-wrapped; some servers send raw deflate, told apart by the first two
// bytes (a zlib header is a multiple of 31 naming method 8).
class InflateLayer : public BodyDecoderStream::Layer {
public:
    InflateLayer(bool gzip, std::size_t pieceLength) : gzip_(gzip), pieceLength_(pieceLength) {}
    ~InflateLayer() override
    {
        if (started_)
            spareInflate.Give(std::move(stream_));
    }

    DecodeResult Push(std::string_view coded, const Emitter& emit) override
    {
        if (ended_ || coded.empty())
            return DecodeResult::Ok;
        if (!started_) {
            if (!gzip_ && lead_.size() + coded.size() < 2) {
                lead_.append(coded);
                return DecodeResult::Ok;
            }
            if (!Start(coded))
                return DecodeResult::Corrupt;
            if (!lead_.empty()) {
                const std::string lead = std::move(lead_);
                if (const DecodeResult result = Inflate(lead, emit); result != DecodeResult::Ok || ended_)
                    return result;
            }
        }
        return Inflate(coded, emit);
    }
    bool Ended() const override { return ended_; }

private:
    bool Start(std::string_view coded)
    {
        int windowBits = 16 + MAX_WBITS;
        if (!gzip_) {
            const std::string first = (lead_ + std::string(coded.substr(0, 2))).substr(0, 2);
            const auto cmf = static_cast<unsigned char>(first[0]);
            const auto flg = static_cast<unsigned char>(first[1]);
            const bool wrapped = (cmf & 0x0f) == 8 && (cmf >> 4) <= 7 && (cmf * 256 + flg) % 31 == 0;
            windowBits = wrapped ? MAX_WBITS : -MAX_WBITS;
        }
        stream_ = spareInflate.Take();
        if (stream_ && inflateReset2(stream_.get(), windowBits) == Z_OK) {
            started_ = true;
            return true;
        }
        if (stream_)
            inflateEnd(stream_.get());
        stream_ = std::make_unique<z_stream>();
        started_ = inflateInit2(stream_.get(), windowBits) == Z_OK;
        return started_;
    }

    DecodeResult Inflate(std::string_view coded, const Emitter& emit)
    {
        stream_->next_in = reinterpret_cast<Bytef*>(const_cast<char*>(coded.data()));
        stream_->avail_in = static_cast<uInt>(coded.size());
        std::array<char, BodyDecoderStream::kPieceLength> buffer;
        while (true) {
            stream_->next_out = reinterpret_cast<Bytef*>(buffer.data());
            stream_->avail_out = static_cast<uInt>(pieceLength_);
            const int status = inflate(stream_.get(), Z_NO_FLUSH);
            const std::size_t produced = pieceLength_ - stream_->avail_out;
            if (produced > 0) {
                if (const DecodeResult result = emit({buffer.data(), produced}); result != DecodeResult::Ok)
                    return result;
            }
            if (status == Z_STREAM_END) {
                ended_ = true;
                return DecodeResult::Ok;
            }
            if (status != Z_OK && status != Z_BUF_ERROR)
                return DecodeResult::Corrupt;
            if (stream_->avail_in == 0 && stream_->avail_out != 0)
                return DecodeResult::Ok;
        }
    }

    bool gzip_;
    std::size_t pieceLength_;
    bool started_ = false;
    bool ended_ = false;
    std::string lead_;  // the first byte of a deflate stream, until the second comes
    std::unique_ptr<z_stream> stream_;
};

class BrotliLayer : public BodyDecoderStream::Layer {
public:
    explicit BrotliLayer(std::size_t pieceLength)
        : state_(BrotliDecoderCreateInstance(nullptr, nullptr, nullptr)), pieceLength_(pieceLength)
    {
    }
    ~BrotliLayer() override
    {
        if (state_ != nullptr)
            BrotliDecoderDestroyInstance(state_);
    }

    DecodeResult Push(std::string_view coded, const Emitter& emit) override
    {
        if (state_ == nullptr)
            return DecodeResult::Corrupt;
        if (ended_)
            return DecodeResult::Ok;
        std::size_t availableIn = coded.size();
        const auto* nextIn = reinterpret_cast<const std::uint8_t*>(coded.data());
        std::array<std::uint8_t, BodyDecoderStream::kPieceLength> buffer;
        while (true) {
            std::size_t availableOut = pieceLength_;
            std::uint8_t* nextOut = buffer.data();
            const BrotliDecoderResult status =
                BrotliDecoderDecompressStream(state_, &availableIn, &nextIn, &availableOut, &nextOut, nullptr);
            const std::size_t produced = pieceLength_ - availableOut;
            if (produced > 0) {
                const std::string_view piece(reinterpret_cast<const char*>(buffer.data()), produced);
                if (const DecodeResult result = emit(piece); result != DecodeResult::Ok)
                    return result;
            }
            if (status == BROTLI_DECODER_RESULT_SUCCESS) {
                ended_ = true;
                return DecodeResult::Ok;
            }
            if (status == BROTLI_DECODER_RESULT_NEEDS_MORE_INPUT)
                return DecodeResult::Ok;
            if (status == BROTLI_DECODER_RESULT_ERROR)
                return DecodeResult::Corrupt;
            // NEEDS_MORE_OUTPUT: go round with an empty buffer.
        }
    }
    bool Ended() const override { return ended_; }

private:
    BrotliDecoderState* state_;
    std::size_t pieceLength_;
    bool ended_ = false;
};

}  // namespace

const char* ToString(DecodeResult result)
{
    switch (result) {
        case DecodeResult::Ok:
            return "ok";
        case DecodeResult::UnknownEncoding:
            return "unknown encoding";
        case DecodeResult::Corrupt:
            return "corrupt";
        case DecodeResult::Truncated:
            return "truncated";
        case DecodeResult::TooLarge:
            return "too large";
        case DecodeResult::TooCompressed:
            return "too compressed";
        case DecodeResult::Stopped:
            return "stopped";
    }
    return "?";
}

BodyDecoderStream::BodyDecoderStream(std::string_view contentEncoding, Sink sink, std::size_t pieceLength)
    : sink_(std::move(sink))
{
    pieceLength = std::clamp<std::size_t>(pieceLength, 1, kPieceLength);
    std::vector<Coding> codings = ParseCodings(contentEncoding);
    if (codings.size() > kMaxCodings) {
        codings.clear();
        result_ = DecodeResult::UnknownEncoding;
    }
    // Codings are listed in the order they were applied: undo the last first.
    for (auto it = codings.rbegin(); it != codings.rend(); ++it) {
        switch (*it) {
            case Coding::Gzip:
            case Coding::Deflate:
                layers_.push_back(std::make_unique<InflateLayer>(*it == Coding::Gzip, pieceLength));
                break;
            case Coding::Brotli:
                layers_.push_back(std::make_unique<BrotliLayer>(pieceLength));
                break;
            case Coding::Identity:
                break;
            case Coding::Unknown:
                result_ = DecodeResult::UnknownEncoding;
                break;
        }
    }
    if (layers_.empty())
        layers_.push_back(std::make_unique<IdentityLayer>(pieceLength));
    layerOutput_.assign(layers_.size(), 0);
}

BodyDecoderStream::~BodyDecoderStream() = default;

DecodeResult BodyDecoderStream::Emit(std::size_t layer, std::string_view bytes)
{
    if (layer > 0) {
        std::uint64_t& given = layerOutput_[layer - 1];
        given += bytes.size();
        if (given > coded_ * kMaxDecodeRatio)
            return DecodeResult::TooCompressed;
    }
    if (layer == layers_.size())
        return sink_(bytes) ? DecodeResult::Ok : DecodeResult::Stopped;
    return layers_[layer]->Push(bytes, [this, layer](std::string_view decoded) { return Emit(layer + 1, decoded); });
}

DecodeResult BodyDecoderStream::Feed(std::string_view coded)
{
    coded_ += coded.size();
    if (result_ == DecodeResult::Ok)
        result_ = Emit(0, coded);
    return result_;
}

DecodeResult BodyDecoderStream::Finish()
{
    if (result_ != DecodeResult::Ok)
        return result_;
    for (const auto& layer : layers_) {
        if (!layer->Ended())
            return result_ = DecodeResult::Truncated;
    }
    return result_;
}

DecodeResult DecodeBody(std::string_view contentEncoding, std::string_view coded, std::string& decoded,
                        std::size_t limit)
{
    std::string out;
    bool tooLarge = false;
    BodyDecoderStream stream(contentEncoding, [&](std::string_view piece) {
        const std::size_t take = std::min(piece.size(), limit - out.size());
        out.append(piece.substr(0, take));
        tooLarge = take < piece.size();
        return !tooLarge;
    });
    stream.Feed(coded);
    const DecodeResult result = stream.Finish();
    if (tooLarge)
        return DecodeResult::TooLarge;
    if (result == DecodeResult::Ok)
        decoded = std::move(out);
    return result;
}

DecodeResult DecodeBodyPrefix(std::string_view contentEncoding, std::string_view coded, std::size_t prefixLength,
                              std::string& prefix)
{
    std::string out;
    BodyDecoderStream stream(
        contentEncoding,
        [&](std::string_view piece) {
            out.append(piece.substr(0, prefixLength - out.size()));
            return out.size() < prefixLength;
        },
        prefixLength);
    DecodeResult result = stream.Feed(coded);
    if (result == DecodeResult::Ok)
        result = stream.Finish();
    // A prefix is good enough once it is as long as asked for, or the coded
    // bytes (often themselves cut to a prefix) gave what they had.
    if (result == DecodeResult::Stopped || (result == DecodeResult::Truncated && !out.empty()) ||
        (result == DecodeResult::Ok && out.size() >= prefixLength))
        result = DecodeResult::Ok;
    if (result == DecodeResult::Ok)
        prefix = std::move(out);
    return result;
}

}  // namespace tessaro
