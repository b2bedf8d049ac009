#pragma once
// A firmware bundle: a folder, or one uncompressed tar file, holding manifest.json, the images it
// names and optionally manifest.json.sig (a detached Ed25519 signature of the manifest's bytes).
// LoadFirmwareBundle reads and checks all of it before any camera is touched: the manifest (see
// BundleManifest.h), that every file lies inside the bundle (no "..", no link leading out, no link
// in a tar, a tar's members named as `tar xf` names them: see BundleTar.h), every size and SHA-256, and the
// signature against the trusted keys. Each image is read once and then shared by every session. Runs on the
// caller's thread; touches only the bundle and the key files.

#include <array>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "camera/BundleManifest.h"
#include "camera/ResourceState.h"

namespace xqt {

/// Where keys are trusted from by default: every "*.pub" or "*.pem" file in it.
inline constexpr const char* TRUSTED_KEYS_DIR = "/etc/xqt/trusted-keys";

/// Which public keys a bundle's signature is checked with. With none at all, an unsigned bundle is
/// taken (and said to be unsigned); with any, it must carry a good signature by one of them. A keys
/// folder that exists but yields no key refuses every bundle, as one that cannot be read does.
struct TrustSettings {
    std::vector<std::filesystem::path> keyFiles;            ///< --trusted-key, each must be a key
    std::filesystem::path keyDirectory = TRUSTED_KEYS_DIR;  ///< may be missing; empty: not read
};

/// `keyFiles` and the trusted-keys folder: XQT_TRUSTED_KEYS_DIR when set, else TRUSTED_KEYS_DIR.
[[nodiscard]] TrustSettings TrustFromEnvironment(std::vector<std::filesystem::path> keyFiles);

enum class SignatureState {
    Unsigned,   ///< no manifest.json.sig
    Unchecked,  ///< signed, but no key is trusted to check it with
    Good,       ///< signed by a trusted key
    Bad,        ///< signed, but by none of the trusted keys, or the manifest was changed
};

struct FirmwareBundle {
    std::filesystem::path path;
    BundleManifest manifest;
    std::string manifestText;        ///< the exact bytes that were signed
    std::vector<ImageBytes> images;  ///< manifest.images order, each checked
    SignatureState signature = SignatureState::Unsigned;
    std::string signer;        ///< the key file that checked a good signature
    bool keysTrusted = false;  ///< at least one trusted key was found
};

struct BundleLoad {
    /// The bundle when its contents passed; also present when only its signature was refused,
    /// so `firmware show` can still list it.
    std::shared_ptr<const FirmwareBundle> bundle;
    /// Empty when the bundle may be used; else what is wrong with it.
    std::string error;
    [[nodiscard]] bool Usable() const { return bundle && error.empty(); }
};

/// Reads and checks the bundle at `path` (a folder or a tar file).
[[nodiscard]] BundleLoad LoadFirmwareBundle(const std::filesystem::path& path, const TrustSettings& trust);

/// "unsigned", "signed, not checked (no trusted key)", "good signature (KEY)" or "bad signature".
[[nodiscard]] std::string SignatureText(const FirmwareBundle& bundle);

/// The line a front end prints when it goes on with a bundle no trusted key vouches for; empty
/// when the signature was checked.
[[nodiscard]] std::string TrustNotice(const FirmwareBundle& bundle);

}  // namespace xqt
