// xqt-cli firmware: makes, shows and checks firmware bundles, and makes the key pair that signs them.
// A bundle is a folder, or one uncompressed tar file, holding manifest.json, the images it names and
// optionally manifest.json.sig (camera/FirmwareBundle.h describes the format and its checks).

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <set>

#include "camera/BundleSignature.h"
#include "camera/BundleWriter.h"
#include "camera/FirmwareBundle.h"
#include "cli/Commands.h"
#include "cli/ExitCodes.h"
#include "cli/FirmwareChoice.h"
#include "cli/TerminalText.h"

namespace xqt::cli {

namespace {

namespace fs = std::filesystem;

struct PackOptions {
    std::string version, released, notes, signKey, output;
    std::vector<std::string> models, images;
    bool force = false;  ///< replace an existing bundle file
};

struct ShowOptions {
    std::string bundle;
    std::vector<std::string> trustedKeys;
    bool json = false;
};

int Complain(const std::string& what, const std::string& text, int code = EXIT_USAGE) {
    std::cerr << "xqt-cli firmware " << what << ": " << TerminalText(text) << "\n";
    return code;
}

Result<std::vector<std::uint8_t>> ReadWhole(const fs::path& path, std::uint64_t limit) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) return Fail(path.string() + " is not a readable file");
    const auto size = fs::file_size(path, ec);
    if (ec || size > limit)
        return Fail(path.string() +
                    (ec ? " cannot be read" : " is larger than " + std::to_string(limit) + " bytes"));
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()))) {
        return Fail(path.string() + " cannot be read");
    }
    return bytes;
}

int RunPack(const PackOptions& o) {
    // A bundle already there (perhaps a signed one) is kept unless the caller says otherwise, as
    // keygen keeps its keys; a folder is only ever written when it is empty.
    std::error_code ec;
    if (!o.force && fs::exists(o.output, ec) &&
        !(fs::is_directory(o.output, ec) && fs::is_empty(o.output, ec)))
        return Complain("pack", o.output + " exists; not overwritten (--force replaces a bundle file)");
    BundleManifest manifest;
    manifest.version = o.version;
    manifest.released = o.released;
    manifest.notes = o.notes;
    manifest.models = o.models;
    BundleFiles files;
    std::set<std::string> names;
    for (const auto& given : o.images) {
        const auto eq = given.find('=');
        if (eq == std::string::npos)
            return Complain("pack", "--image takes KEY=FILE (KEY may be empty): " + given);
        ManifestImage image;
        image.key = given.substr(0, eq);
        const fs::path source = given.substr(eq + 1);
        image.file = source.filename().string();
        if (!names.insert(image.file).second)
            return Complain("pack",
                            "two images are named " + image.file + "; give them different file names");
        auto bytes = ReadWhole(source, BUNDLE_IMAGE_MAX_BYTES);
        if (!bytes) return Complain("pack", bytes.error());
        image.size = bytes->size();
        image.sha256 = Sha256Hex(*bytes);
        manifest.images.push_back(image);
        files.emplace_back(image.file, std::move(*bytes));
    }
    const std::string text = WriteManifest(manifest);
    // The same rules as every reader of the bundle, before anything is written.
    if (const ManifestRead check = ParseManifest(text); !check.manifest) return Complain("pack", check.error);
    files.insert(files.begin(), {"manifest.json", std::vector<std::uint8_t>(text.begin(), text.end())});
    if (!o.signKey.empty()) {
        auto key = ReadWhole(o.signKey, 16 * 1024);
        if (!key) return Complain("pack", key.error());
        auto signature = SignMessage(std::string(key->begin(), key->end()), text);
        if (!signature) return Complain("pack", o.signKey + ": " + signature.error());
        files.insert(files.begin() + 1, {"manifest.json.sig", std::move(*signature)});
    }
    const fs::path target = o.output;
    if (Result<void> written = WriteBundle(target, files); !written)
        return Complain("pack", written.error(), EXIT_INTERNAL);
    std::cout << "Wrote " << TerminalText(target.string()) << " (version " << TerminalText(o.version) << ", "
              << manifest.images.size() << (manifest.images.size() == 1 ? " image" : " images") << ", "
              << (o.signKey.empty() ? "unsigned" : "signed") << ")\n";
    return EXIT_OK;
}

// ---- Showing and checking -------------------------------------------------------------------------

void PrintBundle(const FirmwareBundle& b, const std::string& error, bool json) {
    const BundleManifest& m = b.manifest;
    if (json) {
        nlohmann::json images = nlohmann::json::array();
        for (const auto& image : m.images)
            images.push_back(
                {{"key", image.key}, {"file", image.file}, {"size", image.size}, {"sha256", image.sha256}});
        nlohmann::json out = {{"path", b.path.string()}, {"format", m.format},
                              {"version", m.version},    {"released", m.released},
                              {"notes", m.notes},        {"models", m.models},
                              {"images", images},        {"signature", SignatureText(b)},
                              {"usable", error.empty()}, {"error", error}};
        std::cout << JsonText(out) << std::endl;
        return;
    }
    std::cout << "Firmware bundle " << TerminalText(b.path.string()) << "\n";
    std::cout << "  version    " << TerminalText(m.version) << "\n";
    if (!m.released.empty()) std::cout << "  released   " << TerminalText(m.released) << "\n";
    for (std::size_t i = 0; i < m.models.size(); ++i)
        std::cout << (i == 0 ? "  models     " : "             ") << TerminalText(m.models[i]) << "\n";
    for (std::size_t i = 0; i < m.images.size(); ++i) {
        const ManifestImage& image = m.images[i];
        std::cout << "  image " << i + 1 << "    key \"" << TerminalText(image.key) << "\", "
                  << TerminalText(image.file) << ", " << image.size << " bytes\n"
                  << "             sha256 " << image.sha256 << "\n";
    }
    std::cout << "  signature  " << SignatureText(b) << "\n";
    if (!m.notes.empty()) std::cout << "  notes      " << TerminalText(m.notes) << "\n";
    std::cout.flush();
}

int RunShow(const ShowOptions& o, bool listContents) {
    const char* what = listContents ? "show" : "verify";
    const BundleLoad load = LoadFirmwareBundle(o.bundle, TrustFrom(o.trustedKeys));
    if (load.bundle && listContents) PrintBundle(*load.bundle, load.error, o.json);
    if (!load.error.empty()) return Complain(what, o.bundle + ": " + load.error);
    if (const std::string notice = TrustNotice(*load.bundle); !notice.empty())
        std::cerr << "xqt-cli firmware " << what << ": " << notice << "\n";
    if (!listContents)
        std::cout << TerminalText(o.bundle) << ": good, version "
                  << TerminalText(load.bundle->manifest.version) << ", " << SignatureText(*load.bundle)
                  << "\n";
    return EXIT_OK;
}

int RunKeygen(const std::string& output) {
    const std::string privatePath = output + ".key", publicPath = output + ".pub";
    std::error_code ec;
    if (fs::exists(privatePath, ec) || fs::exists(publicPath, ec))
        return Complain("keygen", privatePath + " or " + publicPath + " exists; not overwritten");
    const auto pair = GenerateSigningKey();
    if (!pair) return Complain("keygen", "the key could not be made", EXIT_INTERNAL);
    // The private key is the owner's alone from its first byte on.
    const int fd = ::open(privatePath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return Complain("keygen", "cannot write " + privatePath, EXIT_INTERNAL);
    const bool written = ::write(fd, pair->privatePem.data(), pair->privatePem.size()) ==
                         static_cast<ssize_t>(pair->privatePem.size());
    ::close(fd);
    std::ofstream pub(publicPath, std::ios::trunc);
    pub << pair->publicPem;
    if (!written || !pub.flush()) return Complain("keygen", "cannot write the key files", EXIT_INTERNAL);
    std::cout << "Wrote " << TerminalText(privatePath)
              << " (private, sign with it: firmware pack --sign) and " << TerminalText(publicPath)
              << " (public: --trusted-key, or copy it into " << TRUSTED_KEYS_DIR << "/)\n";
    return EXIT_OK;
}

}  // namespace

void AddFirmwareCommand(CLI::App& app, int& exitCode) {
    CLI::App* firmware = app.add_subcommand("firmware", "Make, show and check firmware bundles");
    firmware->require_subcommand(1);
    firmware->footer(
        "A bundle is a folder or an uncompressed tar file holding manifest.json, the images it names and\n"
        "optionally manifest.json.sig, an Ed25519 signature of the manifest. Trusted keys: --trusted-key,\n"
        "or the *.pub and *.pem files in /etc/xqt/trusted-keys/ (XQT_TRUSTED_KEYS_DIR overrides the\n"
        "folder); with any, a bundle must be signed by one of them. A folder that exists but holds no\n"
        "such key refuses every bundle.\n"
        "Exit codes: 0 done; 1 internal error (a file could not be written); 2 usage error or a bundle\n"
        "that cannot be used (the message names what is wrong).");

    auto pack = std::make_shared<PackOptions>();
    CLI::App* p = firmware->add_subcommand("pack", "Make a bundle from images");
    p->add_option("--version", pack->version, "Version number the images carry, e.g. 1.24")->required();
    p->add_option("--model", pack->models, "Accepted model name; repeat for each (at most 10)")->required();
    p->add_option("--image", pack->images,
                  "KEY=FILE: the image of the slot picked by DocType KEY (slot 1's "
                  "KEY may be empty); repeat for each slot (at most 5)")
        ->required();
    p->add_option("--released", pack->released, "Release date, shown by 'show'");
    p->add_option("--notes", pack->notes, "Release notes, shown by 'show'");
    p->add_option("--sign", pack->signKey, "Private key (PEM, from 'keygen') that signs the manifest");
    p->add_option("-o,--output", pack->output,
                  "The bundle to write: NAME.xqtfw or NAME.tar for a tar file, else a folder")
        ->required();
    p->add_flag("--force", pack->force, "Replace the bundle file the output names, if there is one");
    p->callback([pack, &exitCode] { exitCode = RunPack(*pack); });

    for (const bool listContents : {true, false}) {
        auto show = std::make_shared<ShowOptions>();
        CLI::App* s =
            firmware->add_subcommand(listContents ? "show" : "verify",
                                     listContents ? "List a bundle's version, models, images and signature"
                                                  : "Check a bundle completely");
        s->add_option("bundle", show->bundle, "The bundle (folder or tar file)")->required();
        s->add_option("--trusted-key", show->trustedKeys,
                      "Ed25519 public key (PEM) the bundle must be signed with");
        if (listContents) s->add_flag("--json", show->json, "Print one JSON object");
        s->callback([show, listContents, &exitCode] { exitCode = RunShow(*show, listContents); });
    }

    auto keyName = std::make_shared<std::string>();
    CLI::App* k = firmware->add_subcommand("keygen", "Make an Ed25519 key pair: NAME.key and NAME.pub");
    k->add_option("-o,--output", *keyName, "NAME of the two files")->required();
    k->callback([keyName, &exitCode] { exitCode = RunKeygen(*keyName); });
}

}  // namespace xqt::cli
