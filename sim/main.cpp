// xqt-camsim: serves a fleet of simulated cameras on loopback addresses until interrupted.
#include <net/if.h>
#include <pthread.h>
#include <CLI/CLI.hpp>
#include <algorithm>
#include <array>
#include <csignal>
#include <cstring>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/EngineTiming.h"
#include "platform/Resources.h"
#include "sim/DiscoveryResponder.h"
#include "sim/FleetFile.h"
#include "sim/SimFleet.h"

namespace {

std::string Printable(const std::string& bytes) {
    std::string out;
    for (char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        out += (u >= 0x20 && u < 0x7F) ? std::string(1, c) : std::string(".");
    }
    return out;
}

// The responder answers whoever sends the enquiry; on the machine's own network that would be real
// hosts. It runs only where `lo` is the only interface (an isolated network namespace).
std::string ForeignInterfaces() {
    std::string names;
    struct if_nameindex* list = ::if_nameindex();
    if (!list) return "<interfaces cannot be listed>";
    for (struct if_nameindex* entry = list; entry->if_index != 0; ++entry) {
        if (std::strcmp(entry->if_name, "lo") != 0)
            names += (names.empty() ? "" : ", ") + std::string(entry->if_name);
    }
    ::if_freenameindex(list);
    return names;
}

using xqt::platform::TIME_SCALE_MAX;
using xqt::platform::TIME_SCALE_MIN;

bool SplitCredential(const std::string& text, xqt::sim::SimUser& user) {
    const auto colon = text.find(':');
    if (colon == std::string::npos) return false;
    user.name = text.substr(0, colon);
    user.password = text.substr(colon + 1);
    return true;
}

/// One line per camera under a header, in columns; the administrator's login is the one the tools
/// need, the other users follow in the notes.
/// What a flashed camera will report: the bundle's images it knows by SHA-256, or else the version
/// in the placeholder image's header.
void PrintFirmware(const std::string& path, const std::optional<xqt::BundleManifest>& manifest) {
    if (!manifest) {
        std::cout << "xqt-camsim: no firmware bundle; a flashed camera reports the version in its image's "
                     "header\n";
        return;
    }
    std::cout << "xqt-camsim: firmware bundle " << path << ", version " << manifest->version << ", "
              << manifest->images.size() << (manifest->images.size() == 1 ? " image" : " images") << ":\n";
    for (const xqt::ManifestImage& image : manifest->images)
        std::cout << "xqt-camsim:   " << image.file << " (DocType \"" << image.key << "\", " << image.size
                  << " bytes, SHA-256 " << image.sha256 << ")\n";
}

void PrintCameras(xqt::sim::SimFleet& sims) {
    struct Row {
        std::string address, model, version, serial, user, password, notes;
    };
    std::vector<Row> rows{{"ADDRESS", "MODEL", "VERSION", "SERIAL", "USER", "PASSWORD", "NOTES"}};
    for (std::size_t i = 0; i < sims.Size(); ++i) {
        const auto c = sims.At(i).Camera();
        Row row{sims.At(i).HostPort(), c.model, c.emergency ? "-" : c.softVersion, c.serial, "-", "-", ""};
        std::vector<std::string> notes;
        if (c.emergency) notes.push_back("emergency state");
        if (c.panTilt) notes.push_back("pan-tilt");
        if (c.dhcp) notes.push_back("dhcp");
        for (const auto& u : c.users) {
            if (u.administrator && row.user == "-") {
                row.user = u.name;
                row.password = u.password;
            } else {
                notes.push_back(std::string(u.administrator ? "administrator " : "user ") + u.name + ":" +
                                u.password);
            }
        }
        for (const auto& note : notes)
            row.notes += (row.notes.empty() ? "" : ", ") + note;
        rows.push_back(std::move(row));
    }
    std::array<std::size_t, 6> width{};
    for (const Row& row : rows) {
        const std::array<const std::string*, 6> cells{&row.address, &row.model, &row.version,
                                                      &row.serial,  &row.user,  &row.password};
        for (std::size_t k = 0; k < cells.size(); ++k)
            width[k] = std::max(width[k], cells[k]->size());
    }
    for (const Row& row : rows) {
        const std::array<const std::string*, 6> cells{&row.address, &row.model, &row.version,
                                                      &row.serial,  &row.user,  &row.password};
        std::string line;
        for (std::size_t k = 0; k < cells.size(); ++k)
            line += Printable(*cells[k]) + std::string(width[k] - cells[k]->size() + 2, ' ');
        line += Printable(row.notes);
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        std::cout << line << "\n";
    }
}

}  // namespace

int main(int argc, char** argv) {
    xqt::platform::UseResources(xqt::platform::EmbeddedResources());
    CLI::App app{"Simulated XQT camera fleet: HTTP inquiry interface on loopback addresses"};
    app.set_version_flag("--version", xqt::platform::VersionText("xqt-camsim"),
                         "Print the simulator's version and its firmware image's version");
    std::string fleetPath;
    double timeScale = 0;
    bool log = false;
    bool printFleet = false;
    bool discovery = false;
    xqt::sim::SimCamera one;
    int port = one.webPort;
    std::string admin = "admin:admin";
    std::vector<std::string> users{"user:user"};
    std::string firmware;
    app.add_option("--fleet", fleetPath,
                   "Fleet file (JSON); without it one camera is made from the options below")
        ->check(CLI::ExistingFile);
    app.add_option(
        "--firmware", firmware,
        "Firmware bundle whose images the cameras report at its version (overrides the fleet file's)");
    // Bounded like the tool's own --time-scale, so a scale the tool accepts can always be matched.
    app.add_option("--time-scale", timeScale,
                   "Multiply every simulated delay, 0.001 to 10 (overrides the fleet file)")
        ->check([](const std::string& text) -> std::string {
            double value = 0;
            if (CLI::detail::lexical_cast(text, value) && value >= TIME_SCALE_MIN && value <= TIME_SCALE_MAX)
                return {};
            return "not a time scale from 0.001 to 10: " + text;
        });
    app.add_flag("--log", log, "Print every request received");
    app.add_flag("--print-fleet", printFleet, "Print the fleet as JSON and exit");
    app.add_flag("--discovery", discovery,
                 "Also answer the discovery enquiry on UDP 2380 (only inside an isolated network namespace)");
    app.add_option("--address", one.ipText, "Loopback address of the single camera")->capture_default_str();
    app.add_option("--port", port, "Port of the single camera (0: any free port)")
        ->capture_default_str()
        ->check(CLI::Range(0, 65535));
    app.add_option("--model", one.model)->capture_default_str();
    app.add_option("--serial", one.serial)->capture_default_str();
    app.add_option("--mac", one.mac)->capture_default_str();
    app.add_option("--soft-version", one.softVersion)->capture_default_str();
    app.add_option("--doc-type", one.docType);
    app.add_flag("--pan-tilt", one.panTilt);
    app.add_flag("--dhcp", one.dhcp);
    app.add_flag("--emergency", one.emergency);
    app.add_option("--admin", admin, "Administrator NAME:PASSWORD")->capture_default_str();
    app.add_option("--user", users, "Other users NAME:PASSWORD")->capture_default_str();
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {  // --help and --version
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);  // prints the reason
        return 2;     // the man page's status for a bad option, whatever CLI11's own code is
    }

    xqt::sim::Fleet fleet;
    std::optional<xqt::BundleManifest> learnt;
    try {
        if (!fleetPath.empty()) {
            fleet = xqt::sim::LoadFleetFile(fleetPath);
        } else {
            one.webPort = static_cast<std::uint16_t>(port);
            one.users.clear();
            xqt::sim::SimUser user;
            if (!SplitCredential(admin, user)) throw xqt::sim::fleet_error("--admin: expected NAME:PASSWORD");
            user.administrator = true;
            one.users.push_back(user);
            for (const auto& text : users) {
                if (!SplitCredential(text, user))
                    throw xqt::sim::fleet_error("--user: expected NAME:PASSWORD");
                user.administrator = false;
                one.users.push_back(user);
            }
            fleet.cameras.push_back(one);
        }
        if (!firmware.empty()) fleet.firmware = firmware;
        if (!fleet.firmware.empty()) learnt = xqt::sim::LearnFirmware(fleet, fleet.firmware);
    } catch (const std::exception& e) {
        std::cerr << "xqt-camsim: " << e.what() << "\n";
        return 2;
    }
    if (timeScale > 0) fleet.timeScale = timeScale;
    if (printFleet) {
        std::cout << xqt::sim::FormatFleet(fleet);
        return 0;
    }

    // Signals are taken by sigwait below; block them before any thread starts so none inherits them.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    std::unique_ptr<xqt::sim::DiscoveryResponder> responder;
    if (discovery) {
        const std::string foreign = ForeignInterfaces();
        if (!foreign.empty()) {
            std::cerr << "xqt-camsim: --discovery refused: network interfaces other than lo are present ("
                      << foreign << "); run it inside an isolated network namespace (unshare -n)\n";
            return 1;
        }
    }

    xqt::sim::SimFleet sims(fleet.cameras, fleet.timeScale);
    if (log) {
        for (std::size_t i = 0; i < sims.Size(); ++i) {
            const std::string name = sims.At(i).Camera().ipText;
            sims.At(i).SetObserver([name](const xqt::sim::RecordedRequest& r) {
                if (r.complete) {
                    std::cout << name << "  " << r.request.method << " " << r.request.target << "  "
                              << Printable(r.request.body.substr(0, 64)) << std::endl;
                } else {
                    std::cout << name << "  (incomplete request, " << r.rawSize << " bytes)" << std::endl;
                }
            });
        }
    }
    try {
        sims.Start();
    } catch (const std::exception& e) {
        std::cerr << "xqt-camsim: " << e.what() << "\n";
        return 1;
    }
    if (discovery) {
        // What the cameras are now: a camera upgraded since start-up answers with its new version.
        responder = xqt::sim::DiscoveryResponder::Following([&sims] {
            std::vector<xqt::sim::SimCamera> cameras;
            for (std::size_t i = 0; i < sims.Size(); ++i)
                cameras.push_back(sims.At(i).Camera());
            return cameras;
        });
        if (const auto ec = responder->Start()) {
            std::cerr << "xqt-camsim: cannot answer discovery on UDP " << responder->Port() << ": "
                      << ec.message() << "\n";
            sims.Stop();
            return 1;
        }
        std::cout << "xqt-camsim: answering discovery on UDP " << responder->Port() << "\n";
    }
    // Clients of a scaled fleet scale their own waits alike (xqt-cli upgrade --time-scale), or they
    // give up on a camera that is still rebooting at full length.
    std::cout << "xqt-camsim: time scale " << fleet.timeScale
              << (fleet.timeScale == 1.0 ? " (full-length delays)"
                                         : " (pass the same --time-scale to xqt-cli upgrade)")
              << "\n";
    PrintFirmware(fleet.firmware, learnt);
    PrintCameras(sims);
    std::cout << "xqt-camsim: " << sims.Size() << " camera(s) ready; Ctrl-C stops." << std::endl;

    int signal = 0;
    sigwait(&signals, &signal);
    if (responder) responder->Stop();
    sims.Stop();
    return 0;
}
