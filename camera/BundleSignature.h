#pragma once
// Digests and Ed25519 signatures for firmware bundles, over OpenSSL's libcrypto. Keys are PEM files:
// a private key (PKCS #8) to sign with and a public key (SubjectPublicKeyInfo) to check with. A
// signature is the 64 raw bytes of Ed25519 over the manifest's exact bytes. Any thread.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Result.h"

namespace xqt {

inline constexpr std::size_t SIGNATURE_BYTES = 64;

/// SHA-256 as 64 lower-case hexadecimal digits.
[[nodiscard]] std::string Sha256Hex(std::span<const std::uint8_t> bytes);

struct KeyPairText {
    std::string privatePem;
    std::string publicPem;
};
/// A new Ed25519 key pair; nullopt when libcrypto fails.
[[nodiscard]] std::optional<KeyPairText> GenerateSigningKey();

/// Signs `message` with the private key in `privatePem`; the reason when the key is not an Ed25519
/// private key or signing fails.
Result<std::vector<std::uint8_t>> SignMessage(std::string_view privatePem, std::string_view message);

/// True when `signature` is a valid Ed25519 signature of `message` by the public key in `publicPem`.
/// False for anything else, a key that cannot be read among it.
[[nodiscard]] bool VerifySignature(std::string_view publicPem, std::string_view message,
                                   std::span<const std::uint8_t> signature);

/// True when `publicPem` holds an Ed25519 public key.
[[nodiscard]] bool IsPublicKey(std::string_view publicPem);

}  // namespace xqt
