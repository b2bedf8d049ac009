#include "camera/BundleSignature.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <memory>

namespace xqt {

namespace {

struct Free {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
    void operator()(EVP_PKEY_CTX* ctx) const { EVP_PKEY_CTX_free(ctx); }
    void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
    void operator()(BIO* bio) const { BIO_free(bio); }
};
template <class T>
using Owned = std::unique_ptr<T, Free>;

Owned<BIO> MemoryIn(std::string_view text) {
    return Owned<BIO>(BIO_new_mem_buf(text.data(), static_cast<int>(text.size())));
}

std::string Drain(BIO* bio) {
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    return size > 0 ? std::string(data, static_cast<std::size_t>(size)) : std::string();
}

Owned<EVP_PKEY> ReadPublic(std::string_view pem) {
    if (pem.size() > 16 * 1024) return nullptr;
    auto bio = MemoryIn(pem);
    if (!bio) return nullptr;
    Owned<EVP_PKEY> key(PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr));
    if (key && EVP_PKEY_get_id(key.get()) != EVP_PKEY_ED25519) return nullptr;
    return key;
}

}  // namespace

std::string Sha256Hex(std::span<const std::uint8_t> bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr) != 1) return {};
    static constexpr char hex[] = "0123456789abcdef";
    std::string text;
    for (unsigned i = 0; i < length; ++i) {
        text += hex[digest[i] >> 4];
        text += hex[digest[i] & 15];
    }
    return text;
}

std::optional<KeyPairText> GenerateSigningKey() {
    Owned<EVP_PKEY_CTX> ctx(EVP_PKEY_CTX_new_id(EVP_PKEY_ED25519, nullptr));
    EVP_PKEY* raw = nullptr;
    if (!ctx || EVP_PKEY_keygen_init(ctx.get()) != 1 || EVP_PKEY_keygen(ctx.get(), &raw) != 1)
        return std::nullopt;
    Owned<EVP_PKEY> key(raw);
    Owned<BIO> priv(BIO_new(BIO_s_mem())), pub(BIO_new(BIO_s_mem()));
    if (!priv || !pub) return std::nullopt;
    if (PEM_write_bio_PrivateKey(priv.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1 ||
        PEM_write_bio_PUBKEY(pub.get(), key.get()) != 1)
        return std::nullopt;
    return KeyPairText{Drain(priv.get()), Drain(pub.get())};
}

Result<std::vector<std::uint8_t>> SignMessage(std::string_view privatePem, std::string_view message) {
    auto bio = MemoryIn(privatePem);
    Owned<EVP_PKEY> key(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr);
    if (!key || EVP_PKEY_get_id(key.get()) != EVP_PKEY_ED25519) {
        return Fail("not an Ed25519 private key in PEM form");
    }
    Owned<EVP_MD_CTX> ctx(EVP_MD_CTX_new());
    std::vector<std::uint8_t> signature(SIGNATURE_BYTES);
    std::size_t length = signature.size();
    if (!ctx || EVP_DigestSignInit(ctx.get(), nullptr, nullptr, nullptr, key.get()) != 1 ||
        EVP_DigestSign(ctx.get(), signature.data(), &length,
                       reinterpret_cast<const unsigned char*>(message.data()), message.size()) != 1 ||
        length != SIGNATURE_BYTES) {
        return Fail("signing failed");
    }
    return signature;
}

bool VerifySignature(std::string_view publicPem, std::string_view message,
                     std::span<const std::uint8_t> signature) {
    if (signature.size() != SIGNATURE_BYTES) return false;
    Owned<EVP_PKEY> key = ReadPublic(publicPem);
    Owned<EVP_MD_CTX> ctx(EVP_MD_CTX_new());
    if (!key || !ctx || EVP_DigestVerifyInit(ctx.get(), nullptr, nullptr, nullptr, key.get()) != 1)
        return false;
    return EVP_DigestVerify(ctx.get(), signature.data(), signature.size(),
                            reinterpret_cast<const unsigned char*>(message.data()), message.size()) == 1;
}

bool IsPublicKey(std::string_view publicPem) {
    return ReadPublic(publicPem) != nullptr;
}

}  // namespace xqt
