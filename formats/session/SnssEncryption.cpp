#include "formats/session/SnssEncryption.h"

#include <array>
#include <climits>
#include <memory>
#include <openssl/evp.h>

namespace tessaro {

namespace {

using Key = std::array<unsigned char, 16>;

const Key& FallbackKey()
{
    static const Key key = [] {
        static constexpr char kPassword[] = "peanuts";
        static constexpr unsigned char kSalt[] = "saltysalt";
        Key k{};
        PKCS5_PBKDF2_HMAC_SHA1(kPassword, sizeof kPassword - 1, kSalt, sizeof kSalt - 1, 1, int(k.size()), k.data());
        return k;
    }();
    return key;
}

struct CipherContextFree {
    void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};

}  // namespace

std::optional<std::string> DecryptWithFallbackKey(std::string_view blob)
{
    if (!blob.starts_with(kOsCryptFallbackPrefix))
        return std::nullopt;
    const std::string_view cipherText = blob.substr(kOsCryptFallbackPrefix.size());
    if (cipherText.empty() || cipherText.size() % kAesBlockSize != 0 || cipherText.size() > std::size_t(INT_MAX) / 2)
        return std::nullopt;

    std::unique_ptr<EVP_CIPHER_CTX, CipherContextFree> context(EVP_CIPHER_CTX_new());
    if (!context)
        return std::nullopt;
    unsigned char iv[kAesBlockSize];
    std::fill(std::begin(iv), std::end(iv), ' ');
    if (EVP_DecryptInit_ex(context.get(), EVP_aes_128_cbc(), nullptr, FallbackKey().data(), iv) != 1)
        return std::nullopt;

    std::string plain(cipherText.size() + kAesBlockSize, '\0');
    int written = 0;
    int tail = 0;
    auto* out = reinterpret_cast<unsigned char*>(plain.data());
    if (EVP_DecryptUpdate(context.get(), out, &written, reinterpret_cast<const unsigned char*>(cipherText.data()),
                          static_cast<int>(cipherText.size())) != 1 ||
        EVP_DecryptFinal_ex(context.get(), out + written, &tail) != 1)
        return std::nullopt;  // wrong key shows as bad padding
    plain.resize(static_cast<std::size_t>(written) + static_cast<std::size_t>(tail));
    return plain;
}

}  // namespace tessaro
