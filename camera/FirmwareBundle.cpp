#include "camera/FirmwareBundle.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <system_error>

#include "camera/BundleSignature.h"

namespace xqt {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t TAR_BLOCK = 512;
constexpr std::size_t TAR_MAX_ENTRIES = 4096;
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

// An uncompressed POSIX (ustar) or GNU tar: regular files and folders; links are listed so that a
// manifest naming one is refused; extended headers are skipped.
class TarFiles : public BundleSource {
  public:
    explicit TarFiles(const fs::path& file) : in_(file, std::ios::binary) {
        if (!in_) Refuse("cannot open the bundle " + file.string());
        std::error_code ec;
        const std::uint64_t total = fs::file_size(file, ec);
        if (ec) Refuse("cannot read the bundle " + file.string() + ": " + ec.message());
        std::uint64_t offset = 0;
        std::array<unsigned char, TAR_BLOCK> header{};
        while (offset + TAR_BLOCK <= total) {
            if (!ReadAt(in_, offset, TAR_BLOCK, header.data()))
                Refuse("the bundle's tar file cannot be read");
            if (std::all_of(header.begin(), header.end(), [](unsigned char c) { return c == 0; })) break;
            if (!ChecksumMatches(header))
                Refuse("the bundle is not a tar file (or an entry's header is damaged)");
            const std::uint64_t size = Octal(header.data() + 124, 12);
            const char type = static_cast<char>(header[156]);
            const std::uint64_t data = offset + TAR_BLOCK;
            if (size > total - data) Refuse("the bundle's tar file is cut short");
            if (type != 'x' && type != 'g') {
                if (entries_.size() >= TAR_MAX_ENTRIES)
                    Refuse("the bundle's tar file holds too many entries");
                const std::string name = EntryName(header);
                Entry entry{type, data, size};
                if (!entries_.emplace(name, entry).second) Refuse("the bundle holds \"" + name + "\" twice");
            }
            offset = data + (size + TAR_BLOCK - 1) / TAR_BLOCK * TAR_BLOCK;
        }
    }
    std::optional<std::vector<std::uint8_t>> Read(const std::string& name, std::uint64_t limit,
                                                  const std::string& what) override {
        auto it = entries_.find(name);
        if (it == entries_.end()) return std::nullopt;
        const Entry& entry = it->second;
        if (entry.type == '1' || entry.type == '2')
            Refuse(what + " (" + name + ") is a link in the tar file");
        if (entry.type != '0' && entry.type != '\0' && entry.type != '7')
            Refuse(what + " (" + name + ") is not a regular file");
        if (entry.size > limit)
            Refuse(what + " (" + name + ") is larger than " + std::to_string(limit) + " bytes");
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(entry.size));
        if (!ReadAt(in_, entry.offset, bytes.size(), bytes.data()))
            Refuse(what + " (" + name + ") cannot be read");
        return bytes;
    }

  private:
    struct Entry {
        char type;
        std::uint64_t offset;
        std::uint64_t size;
    };

    static bool ChecksumMatches(const std::array<unsigned char, TAR_BLOCK>& header) {
        std::uint64_t sum = 0;
        for (std::size_t i = 0; i < TAR_BLOCK; ++i)
            sum += (i >= 148 && i < 156) ? ' ' : header[i];
        return Octal(header.data() + 148, 8) == sum;
    }
    static std::uint64_t Octal(const unsigned char* field, std::size_t width) {
        std::uint64_t value = 0;
        std::size_t i = 0;
        while (i < width && field[i] == ' ')
            ++i;
        for (; i < width && field[i] >= '0' && field[i] <= '7'; ++i) {
            if (value >> 60) Refuse("a number in the bundle's tar file is too large");
            value = value * 8 + (field[i] - '0');
        }
        return value;
    }
    static std::string Field(const unsigned char* field, std::size_t width) {
        std::size_t n = 0;
        while (n < width && field[n] != 0)
            ++n;
        return std::string(reinterpret_cast<const char*>(field), n);
    }
    // The entry's path without a leading "./", with the ustar prefix in front.
    static std::string EntryName(const std::array<unsigned char, TAR_BLOCK>& header) {
        std::string name = Field(header.data(), 100);
        if (std::memcmp(header.data() + 257, "ustar", 5) == 0) {
            const std::string prefix = Field(header.data() + 345, 155);
            if (!prefix.empty()) name = prefix + "/" + name;
        }
        while (name.starts_with("./"))
            name.erase(0, 2);
        while (!name.empty() && name.back() == '/')
            name.pop_back();
        return name;
    }

    std::ifstream in_;
    std::map<std::string, Entry> entries_;
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

std::vector<std::pair<fs::path, std::string>> TrustedKeys(const TrustSettings& trust) {
    std::vector<std::pair<fs::path, std::string>> keys;
    for (const auto& file : trust.keyFiles)
        keys.emplace_back(file, ReadKeyFile(file));
    if (trust.keyDirectory.empty()) return keys;
    // A folder of trusted keys that cannot be read must not make every bundle pass as unchecked.
    const std::string unreadable =
        "the trusted keys folder " + trust.keyDirectory.string() + " cannot be read";
    std::error_code ec;
    const bool present = fs::exists(trust.keyDirectory, ec);
    if (ec) Refuse(unreadable);
    if (!present) return keys;
    if (!fs::is_directory(trust.keyDirectory, ec)) Refuse(unreadable);
    std::vector<fs::path> files;
    fs::directory_iterator entries(trust.keyDirectory, ec);
    if (ec) Refuse(unreadable);
    for (auto it = fs::begin(entries); it != fs::end(entries); it.increment(ec)) {
        if (ec) Refuse(unreadable);
        const auto ext = it->path().extension();
        if (ext == ".pub" || ext == ".pem") files.push_back(it->path());
    }
    if (ec) Refuse(unreadable);
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
