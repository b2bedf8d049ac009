#include "camera/FirmwareBundle.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <system_error>

#include "camera/BundleSignature.h"
#include "camera/BundleTar.h"

namespace xqt {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t KEY_FILE_MAX = 16 * 1024;
constexpr const char* MANIFEST_NAME = "manifest.json";
constexpr const char* SIGNATURE_NAME = "manifest.json.sig";

struct Fault {
    std::string text;
};
[[noreturn]] void Refuse(std::string text) {
    throw Fault{std::move(text)};
}

// Reads `size` bytes at `offset` of an open file; false when the file ends early.
bool ReadAt(std::ifstream& in, std::uint64_t offset, std::size_t size, void* into) {
    in.clear();
    in.seekg(static_cast<std::streamoff>(offset));
    in.read(static_cast<char*>(into), static_cast<std::streamsize>(size));
    return in.good() || (in.eof() && static_cast<std::size_t>(in.gcount()) == size);
}

// The files of a bundle by their name inside it, whichever form the bundle has.
class BundleSource {
  public:
    virtual ~BundleSource() = default;
    /// The file's bytes when it exists, at most `limit` of them (larger: Refuse naming `what`).
    virtual std::optional<std::vector<std::uint8_t>> Read(const std::string& name, std::uint64_t limit,
                                                          const std::string& what) = 0;
};

class FolderFiles : public BundleSource {
  public:
    explicit FolderFiles(const fs::path& root) {
        std::error_code ec;
        root_ = fs::canonical(root, ec);
        if (ec) Refuse("cannot open the bundle folder " + root.string() + ": " + ec.message());
    }
    std::optional<std::vector<std::uint8_t>> Read(const std::string& name, std::uint64_t limit,
                                                  const std::string& what) override {
        const fs::path path = root_ / name;
        std::error_code ec;
        if (!fs::exists(fs::symlink_status(path, ec))) return std::nullopt;
        const fs::path real = fs::canonical(path, ec);
        if (ec) Refuse(what + " (" + name + ") cannot be opened: " + ec.message());
        // A link may point within the bundle, never out of it.
        const auto [rootEnd, realIt] = std::mismatch(root_.begin(), root_.end(), real.begin(), real.end());
        if (rootEnd != root_.end()) Refuse(what + " (" + name + ") is a link that leads out of the bundle");
        if (!fs::is_regular_file(real, ec)) Refuse(what + " (" + name + ") is not a regular file");
        const auto size = fs::file_size(real, ec);
        if (ec) Refuse(what + " (" + name + ") cannot be read: " + ec.message());
        if (size > limit) Refuse(what + " (" + name + ") is larger than " + std::to_string(limit) + " bytes");
        std::ifstream in(real, std::ios::binary);
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
        if (!in || !ReadAt(in, 0, bytes.size(), bytes.data()))
            Refuse(what + " (" + name + ") cannot be read");
        return bytes;
    }

  private:
    fs::path root_;
};

// An uncompressed tar file, listed by IndexTar: regular files and folders; links are listed so
// that a manifest naming one is refused.
class TarFiles : public BundleSource {
  public:
    explicit TarFiles(const fs::path& file) : in_(file, std::ios::binary) {
        if (!in_) Refuse("cannot open the bundle " + file.string());
        std::error_code ec;
        const std::uint64_t total = fs::file_size(file, ec);
        if (ec) Refuse("cannot read the bundle " + file.string() + ": " + ec.message());
        Result<TarIndex> index = IndexTar(in_, total);
        if (!index) Refuse(index.error());
        members_ = std::move(*index);
    }
    std::optional<std::vector<std::uint8_t>> Read(const std::string& name, std::uint64_t limit,
                                                  const std::string& what) override {
        auto it = members_.find(name);
        if (it == members_.end()) return std::nullopt;
        const TarMember& member = it->second;
        if (member.type == '1' || member.type == '2')
            Refuse(what + " (" + name + ") is a link in the tar file");
        if (member.type != '0' && member.type != '\0' && member.type != '7')
            Refuse(what + " (" + name + ") is not a regular file");
        if (member.size > limit)
            Refuse(what + " (" + name + ") is larger than " + std::to_string(limit) + " bytes");
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(member.size));
        if (!ReadAt(in_, member.offset, bytes.size(), bytes.data()))
            Refuse(what + " (" + name + ") cannot be read");
        return bytes;
    }

  private:
    std::ifstream in_;
    TarIndex members_;
};

std::string ReadKeyFile(const fs::path& file) {
    std::error_code ec;
    if (!fs::is_regular_file(file, ec))
        Refuse("the trusted key " + file.string() + " is not a readable file");
    if (fs::file_size(file, ec) > KEY_FILE_MAX) Refuse("the trusted key " + file.string() + " is too large");
    std::ifstream in(file, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) Refuse("the trusted key " + file.string() + " cannot be read");
    if (!IsPublicKey(text))
        Refuse("the trusted key " + file.string() + " is not an Ed25519 public key (PEM)");
    return text;
}

// A file name as it may be shown: bytes outside printable ASCII become '?', so a name cannot
// move the terminal's cursor or forge a line of the message.
std::string Shown(const fs::path& name) {
    std::string text = name.filename().string();
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) c = '?';
    return "\"" + text + "\"";
}

// The names that a refusal of a keys folder lists, at most a few of them.
std::string ListOf(const std::vector<fs::path>& names) {
    constexpr std::size_t SHOWN = 8;
    std::string text;
    for (std::size_t i = 0; i < names.size() && i < SHOWN; ++i)
        text += (i ? ", " : "") + Shown(names[i]);
    if (names.size() > SHOWN) text += " and " + std::to_string(names.size() - SHOWN) + " more";
    return text;
}

std::vector<std::pair<fs::path, std::string>> TrustedKeys(const TrustSettings& trust) {
    std::vector<std::pair<fs::path, std::string>> keys;
    for (const auto& file : trust.keyFiles)
        keys.emplace_back(file, ReadKeyFile(file));
    if (trust.keyDirectory.empty()) return keys;
    // A folder of trusted keys that cannot be read must not make every bundle pass as unchecked.
    const std::string folder = "the trusted keys folder " + trust.keyDirectory.string();
    const std::string unreadable = folder + " cannot be read";
    std::error_code ec;
    const bool present = fs::exists(trust.keyDirectory, ec);
    if (ec) Refuse(unreadable);
    if (!present) return keys;
    if (!fs::is_directory(trust.keyDirectory, ec)) Refuse(unreadable);
    std::vector<fs::path> files, unused;
    fs::directory_iterator entries(trust.keyDirectory, ec);
    if (ec) Refuse(unreadable);
    for (auto it = fs::begin(entries); it != fs::end(entries); it.increment(ec)) {
        if (ec) Refuse(unreadable);
        const auto ext = it->path().extension();
        (ext == ".pub" || ext == ".pem" ? files : unused).push_back(it->path());
    }
    if (ec) Refuse(unreadable);
    // Someone made the folder to have bundles checked; when it yields no key, going on would take
    // any signed bundle unchecked, so the run stops and says which files were passed over.
    if (files.empty()) {
        std::sort(unused.begin(), unused.end());
        if (unused.empty())
            Refuse(folder + " holds no key (*.pub or *.pem, an Ed25519 public key in PEM); it is empty");
        Refuse(folder +
               " holds no key (*.pub or *.pem, an Ed25519 public key in PEM); not used: " + ListOf(unused));
    }
    std::sort(files.begin(), files.end());
    for (const auto& file : files)
        keys.emplace_back(file, ReadKeyFile(file));
    return keys;
}

/// Records the signature's state in `bundle`; the reason when the bundle may not be used.
Result<void> CheckSignature(FirmwareBundle& bundle, const std::optional<std::vector<std::uint8_t>>& signature,
                            const TrustSettings& trust) {
    const auto keys = TrustedKeys(trust);
    bundle.keysTrusted = !keys.empty();
    if (!signature) {
        bundle.signature = SignatureState::Unsigned;
        if (bundle.keysTrusted)
            return Fail(
                "the bundle is unsigned, and only signed bundles are taken (trusted keys are set up)");
        return Done();
    }
    if (keys.empty()) {
        bundle.signature = SignatureState::Unchecked;
        return Done();
    }
    for (const auto& [file, pem] : keys) {
        if (VerifySignature(pem, bundle.manifestText, *signature)) {
            bundle.signature = SignatureState::Good;
            bundle.signer = file.filename().string();
            return Done();
        }
    }
    bundle.signature = SignatureState::Bad;
    return Fail("the bundle's signature (manifest.json.sig) is not good for any trusted key");
}

}  // namespace

TrustSettings TrustFromEnvironment(std::vector<fs::path> keyFiles) {
    TrustSettings trust;
    trust.keyFiles = std::move(keyFiles);
    if (const char* dir = std::getenv("XQT_TRUSTED_KEYS_DIR")) trust.keyDirectory = dir;
    return trust;
}

BundleLoad LoadFirmwareBundle(const fs::path& path, const TrustSettings& trust) {
    BundleLoad load;
    try {
        std::error_code ec;
        const auto status = fs::status(path, ec);
        std::unique_ptr<BundleSource> files;
        if (fs::is_directory(status))
            files = std::make_unique<FolderFiles>(path);
        else if (fs::is_regular_file(status))
            files = std::make_unique<TarFiles>(path);
        else
            Refuse("no firmware bundle at " + path.string() + " (a folder or a tar file)");

        auto bundle = std::make_shared<FirmwareBundle>();
        bundle->path = path;
        auto manifestBytes = files->Read(MANIFEST_NAME, MANIFEST_MAX_BYTES, "the manifest");
        if (!manifestBytes) Refuse("the bundle holds no manifest.json");
        bundle->manifestText.assign(manifestBytes->begin(), manifestBytes->end());
        ManifestRead read = ParseManifest(bundle->manifestText);
        if (!read.manifest) Refuse(read.error);
        bundle->manifest = std::move(*read.manifest);
        for (std::size_t i = 0; i < bundle->manifest.images.size(); ++i) {
            const ManifestImage& image = bundle->manifest.images[i];
            const std::string what = "image " + std::to_string(i + 1);
            auto bytes = files->Read(image.file, BUNDLE_IMAGE_MAX_BYTES, what);
            if (!bytes) Refuse(what + "'s file " + image.file + " is missing from the bundle");
            if (bytes->size() != image.size)
                Refuse(what + " (" + image.file + ") has " + std::to_string(bytes->size()) +
                       " bytes, the manifest says " + std::to_string(image.size));
            if (Sha256Hex(*bytes) != image.sha256)
                Refuse(what + " (" + image.file + ") does not match its SHA-256 in the manifest");
            bundle->images.push_back(std::make_shared<const std::vector<std::uint8_t>>(std::move(*bytes)));
        }
        const auto signature = files->Read(SIGNATURE_NAME, SIGNATURE_BYTES + 1, "the signature");
        if (signature && signature->size() != SIGNATURE_BYTES)
            Refuse("manifest.json.sig is not 64 bytes (an Ed25519 signature)");
        if (Result<void> checked = CheckSignature(*bundle, signature, trust); !checked)
            load.error = checked.error();
        load.bundle = std::move(bundle);
    } catch (const Fault& fault) {
        load.error = fault.text;
    } catch (const std::exception& e) {
        load.error = std::string("the bundle cannot be read: ") + e.what();
    }
    return load;
}

std::string SignatureText(const FirmwareBundle& bundle) {
    switch (bundle.signature) {
        case SignatureState::Unsigned:
            return "unsigned";
        case SignatureState::Unchecked:
            return "signed, not checked (no trusted key)";
        case SignatureState::Good:
            return "good signature (" + bundle.signer + ")";
        case SignatureState::Bad:
            return "bad signature";
    }
    return {};
}

std::string TrustNotice(const FirmwareBundle& bundle) {
    if (bundle.signature == SignatureState::Unsigned)
        return "the firmware bundle is unsigned; going on without a signature check";
    if (bundle.signature == SignatureState::Unchecked)
        return "the firmware bundle is signed, but no key is trusted to check it; going on";
    return {};
}

}  // namespace xqt
