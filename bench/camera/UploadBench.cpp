// Upload of the 10,035,200-byte image to a simulated camera, against curl posting the same body
// with the same headers to the same camera in the same run:
//   1. loopback: wall and CPU time of the engine's upload (request sent, response header read)
//      and of curl, and their ratios;
//   2. a link shaped to 100 Mbit/s with tc (only inside an isolated network namespace, where lo
//      is the only interface): the engine's rate as a share of the line rate, curl's beside it;
//   3. peak memory of one upload session for two image sizes: it must not grow with the image
//      (the image is never copied per session).
// The camera runs in a child process so its memory and CPU are not counted.
//
//   unshare -n bash -c 'ip link set lo up; ip route add default dev lo; bench_upload [ROUNDS]'
#include <net/if.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "camera/CameraSession.h"
#include "camera/Credential.h"
#include "camera/UploadBody.h"
#include "platform/PlaceholderImage.h"
#include "sim/SimFleet.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kImageSize = 10'035'200;
const std::string kCameraIp = "127.0.9.1";

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double ThreadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

long PeakRssKb() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
    }
    return -1;
}

// Asks the kernel of this network namespace (sysfs may still show the host's interfaces).
bool OnlyLoopbackInterface() {
    struct if_nameindex* names = if_nameindex();
    if (!names) return false;
    bool onlyLo = true;
    for (struct if_nameindex* n = names; n->if_index != 0; ++n) {
        if (std::string(n->if_name) != "lo") onlyLo = false;
    }
    if_freenameindex(names);
    return onlyLo;
}

// ---- The camera, in a child process ----------------------------------------------------------

struct CameraProcess {
    pid_t pid = -1;
    int keepAlive = -1;  // the child serves until this pipe closes
    std::string hostPort;
};

CameraProcess StartCamera() {
    int portPipe[2], lifePipe[2];
    if (pipe(portPipe) != 0 || pipe(lifePipe) != 0) std::exit(1);
    const pid_t pid = fork();
    if (pid == 0) {
        close(portPipe[0]);
        close(lifePipe[1]);
        xqt::sim::SimCamera camera;
        camera.ipText = kCameraIp;
        camera.webPort = 0;
        camera.upgrade.progressSteps = 0;  // the response ends at once
        camera.upgrade.rebootMs = 0;       // and the camera takes the next image right away
        xqt::sim::SimFleet fleet({camera});
        fleet.Start();
        const std::string hostPort = fleet.At(0).HostPort();
        (void)!write(portPipe[1], hostPort.c_str(), hostPort.size());
        close(portPipe[1]);
        char c;
        while (read(lifePipe[0], &c, 1) > 0) {
        }
        fleet.Stop();
        _exit(0);
    }
    close(portPipe[1]);
    close(lifePipe[0]);
    CameraProcess p{pid, lifePipe[1], {}};
    char buffer[64];
    const ssize_t n = read(portPipe[0], buffer, sizeof(buffer));
    close(portPipe[0]);
    if (n <= 0) std::exit(1);
    p.hostPort.assign(buffer, static_cast<std::size_t>(n));
    return p;
}

void StopCamera(CameraProcess& p) {
    close(p.keepAlive);
    waitpid(p.pid, nullptr, 0);
}

// ---- The two clients -------------------------------------------------------------------------

struct Sample {
    double wall = 0;  // seconds
    double cpu = 0;   // seconds of the client
    bool ok = false;
};

Sample EngineUpload(const std::string& hostPort, const xqt::ImageBytes& image) {
    xqt::SessionConfig config;
    config.hostPort = hostPort;
    config.credential = xqt::EncodeCredential("admin", "admin");
    xqt::CameraSession session(config);
    session.SetImage(image, static_cast<std::uint32_t>(image->size()), "ver1.23");
    Sample s;
    const double cpu0 = ThreadCpuSeconds();
    const auto t0 = Clock::now();
    s.ok = session.UploadFirmware() == xqt::PostOutcome::Taken;
    s.wall = std::chrono::duration<double>(Clock::now() - t0).count();
    s.cpu = ThreadCpuSeconds() - cpu0;
    return s;
}

Sample CurlUpload(const std::string& hostPort, const std::string& bodyFile, const std::string& boundary) {
    const std::string credential = xqt::EncodeCredential("admin", "admin");
    const std::string url = "http://" + hostPort + "/command/versionup.cgi";
    Sample s;
    const auto t0 = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const std::string type = "Content-Type: multipart/form-data; boundary=" + boundary;
        const std::string auth = "Authorization: Basic " + credential;
        const std::string data = "@" + bodyFile;
        // The header of the response is all the engine waits for; curl reads the (short) rest.
        execlp("curl", "curl", "-s", "-o", "/dev/null", "-X", "POST", "-H", type.c_str(), "-H", auth.c_str(),
               "-H", "Expect:", "-A", "XQT Upgrade Tool", "--data-binary", data.c_str(), url.c_str(),
               static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    s.wall = std::chrono::duration<double>(Clock::now() - t0).count();
    s.cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
            static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
    s.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return s;
}

struct Comparison {
    std::vector<double> engineWall, engineCpu, curlWall, curlCpu;
};

bool Compare(const std::string& hostPort, const xqt::ImageBytes& image, const std::string& bodyFile,
             const std::string& boundary, int rounds, Comparison& c) {
    for (int i = 0; i < rounds; ++i) {
        const Sample e = EngineUpload(hostPort, image);
        const Sample k = CurlUpload(hostPort, bodyFile, boundary);
        if (!e.ok || !k.ok) {
            std::fprintf(stderr, "bench_upload: round %d failed (engine %d, curl %d)\n", i, e.ok, k.ok);
            return false;
        }
        c.engineWall.push_back(e.wall);
        c.engineCpu.push_back(e.cpu);
        c.curlWall.push_back(k.wall);
        c.curlCpu.push_back(k.cpu);
    }
    return true;
}

// ---- Memory ----------------------------------------------------------------------------------

/// Peak-RSS growth (kB) caused by one upload session, measured in a fresh child process that
/// already holds the image.
long SessionPeakGrowthKb(const std::string& hostPort, std::size_t imageSize) {
    int out[2];
    if (pipe(out) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        close(out[0]);
        const auto image = std::make_shared<const std::vector<std::uint8_t>>(
            xqt::platform::MakePlaceholderImage(imageSize, "1.23"));
        const long before = PeakRssKb();
        const Sample s = EngineUpload(hostPort, image);
        const long growth = s.ok ? PeakRssKb() - before : -1;
        (void)!write(out[1], &growth, sizeof(growth));
        _exit(0);
    }
    close(out[1]);
    long growth = -1;
    if (read(out[0], &growth, sizeof(growth)) != sizeof(growth)) growth = -1;
    close(out[0]);
    waitpid(pid, nullptr, 0);
    return growth;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(3, std::atoi(argv[1])) : 7;
    CameraProcess camera = StartCamera();
    std::printf("upload of a %zu-byte image to a simulated camera on %s\n", kImageSize,
                camera.hostPort.c_str());

    // Memory first, while this process has no threads to fork with.
    const long growthSmall = SessionPeakGrowthKb(camera.hostPort, kImageSize);
    const long growthLarge = SessionPeakGrowthKb(camera.hostPort, 4 * kImageSize);

    const auto image = std::make_shared<const std::vector<std::uint8_t>>(
        xqt::platform::MakePlaceholderImage(kImageSize, "1.23"));
    const xqt::MultipartUpload layout =
        xqt::MakeMultipartUpload(static_cast<std::int64_t>(std::time(nullptr)), xqt::FIRMWARE_FIELD,
                                 xqt::FIRMWARE_FILE, kImageSize, xqt::EncodeCredential("admin", "admin"));
    char bodyFile[] = "/tmp/xqt-bench-upload-XXXXXX";
    const int fd = mkstemp(bodyFile);
    if (fd < 0) return 1;
    {
        std::ofstream body(bodyFile, std::ios::binary);
        body << layout.head;
        body.write(reinterpret_cast<const char*>(image->data()), static_cast<std::streamsize>(image->size()));
        body << layout.tail;
    }
    close(fd);

    EngineUpload(camera.hostPort, image);  // warm both sides
    CurlUpload(camera.hostPort, bodyFile, layout.boundary);
    Comparison loopback;
    if (!Compare(camera.hostPort, image, bodyFile, layout.boundary, rounds, loopback)) return 1;
    const double ew = Median(loopback.engineWall), ec = Median(loopback.engineCpu);
    const double cw = Median(loopback.curlWall), cc = Median(loopback.curlCpu);
    std::printf("loopback, median of %d rounds\n", rounds);
    std::printf("  engine (UploadFirmware)      wall %7.1f ms  cpu %7.1f ms  %7.0f Mbit/s\n", ew * 1e3,
                ec * 1e3, static_cast<double>(layout.contentLength) * 8 / ew / 1e6);
    std::printf("  curl --data-binary (process) wall %7.1f ms  cpu %7.1f ms  %7.0f Mbit/s\n", cw * 1e3,
                cc * 1e3, static_cast<double>(layout.contentLength) * 8 / cw / 1e6);
    std::printf("  ratio engine / curl: wall %.2f  cpu %.2f   (below 1: the engine is faster)\n", ew / cw,
                ec / cc);

    if (!OnlyLoopbackInterface()) {
        std::printf(
            "shaped link: skipped (run inside an isolated network namespace: lo must be the only "
            "interface)\n");
    } else if (std::system("ip link set dev lo mtu 1500 && "
                           "tc qdisc replace dev lo root tbf rate 100mbit burst 32kbit latency 50ms") != 0) {
        // An Ethernet-sized MTU: the bucket must hold a whole packet, and lo's 64 KB ones never fit.
        std::printf("shaped link: skipped (tc is not available or not permitted here)\n");
    } else {
        Comparison shaped;
        const bool ok =
            Compare(camera.hostPort, image, bodyFile, layout.boundary, std::max(3, rounds / 2), shaped);
        (void)!std::system("tc qdisc del dev lo root; ip link set dev lo mtu 65536");
        if (!ok) return 1;
        const double bits = static_cast<double>(layout.contentLength) * 8;
        const double engineRate = bits / Median(shaped.engineWall) / 1e6;
        const double curlRate = bits / Median(shaped.curlWall) / 1e6;
        std::printf("link shaped to 100 Mbit/s (tc tbf on lo, MTU 1500)\n");
        std::printf("  engine %6.1f Mbit/s = %5.1f%% of the line rate\n", engineRate, engineRate);
        std::printf("  curl   %6.1f Mbit/s = %5.1f%% of the line rate\n", curlRate, curlRate);
    }

    std::printf("peak memory added by one upload session\n");
    std::printf("  image %9zu bytes: %6ld kB\n", kImageSize, growthSmall);
    std::printf("  image %9zu bytes: %6ld kB\n", 4 * kImageSize, growthLarge);
    std::printf("  growth with the image: %ld kB for %zu more bytes\n", growthLarge - growthSmall,
                3 * kImageSize);

    std::remove(bodyFile);
    StopCamera(camera);
    return 0;
}
