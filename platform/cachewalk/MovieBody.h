#pragma once

#include "formats/coding/BodyDecoder.h"
#include "platform/cachewalk/CacheCheckout.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tessaro {

// Enough gzip or brotli input to give the first bytes of the decoded body.
constexpr std::size_t kShortCodedPrefixLength = 256;
constexpr std::size_t kCodedPrefixLength = 4096;
constexpr std::size_t kSignatureLength = 3;

// Whether a response is a Flash movie, by its head and its body's first
// bytes (decoded); nothing when the body cannot be read. readPrefix(n,
// prefix) reads at most n stored bytes from the body's start.
template <typename ReadPrefix>
std::optional<bool> IsMovieBody(const ResponseFacts& facts, std::string_view contentEncoding, ReadPrefix&& readPrefix)
{
    std::string prefix;
    if (contentEncoding.empty()) {
        if (!readPrefix(kSignatureLength, prefix))
            return std::nullopt;
        return IsFlashResponse(facts, prefix);
    }
    // A coded body's first bytes mostly decode from its first few hundred;
    // more is read only when they do not.
    std::string signature;
    for (const std::size_t length : {kShortCodedPrefixLength, kCodedPrefixLength}) {
        if (!readPrefix(length, prefix))
            return std::nullopt;
        if (DecodeBodyPrefix(contentEncoding, prefix, kSignatureLength, signature) == DecodeResult::Ok &&
            signature.size() >= kSignatureLength)
            break;
        signature.clear();
        if (prefix.size() < length)
            break;  // the whole body was read
    }
    return IsFlashResponse(facts, signature);
}

// Whether a body's first bytes (decoded) are a movie's, whatever its head
// says: for a response whose head leaves it to them.
template <typename ReadPrefix>
std::optional<bool> HasMovieSignature(std::string_view contentEncoding, ReadPrefix&& readPrefix)
{
    // Facts of no status, address or type: only the signature tells.
    return IsMovieBody(ResponseFacts{}, contentEncoding, std::forward<ReadPrefix>(readPrefix));
}

}  // namespace tessaro
