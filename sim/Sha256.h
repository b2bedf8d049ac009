#pragma once
// SHA-256 (FIPS 180-4), so the simulated cameras can record the digest of each image they take
// without holding on to it. Incremental; one object per digest, any thread.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace xqt::sim {

class Sha256 {
  public:
    void Update(const void* data, std::size_t size);
    void Update(std::string_view bytes) { Update(bytes.data(), bytes.size()); }
    /// The digest of everything given so far; the object must not be updated afterwards.
    std::array<std::uint8_t, 32> Finish();
    /// Finish as 64 lower-case hexadecimal digits.
    std::string FinishHex();

  private:
    void Block(const std::uint8_t* block);

    std::array<std::uint32_t, 8> state_{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                        0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    std::array<std::uint8_t, 64> pending_{};
    std::size_t pendingSize_ = 0;
    std::uint64_t totalBytes_ = 0;
};

/// The hexadecimal digest of `bytes`.
std::string Sha256Hex(std::string_view bytes);

}  // namespace xqt::sim
