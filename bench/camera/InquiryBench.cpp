// Round trip of one inquiry against a simulated camera, compared with curl posting the same request
// to the same camera in the same run. curl is measured two ways: its own timing of each transfer
// inside one process (the fair peer for the network exchange), and the wall time of one curl process
// per request (what a script calling curl would see).
//
//   bench_inquiry [ROUNDS]     (default 300; needs curl on the PATH)
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include "camera/CameraSession.h"
#include "camera/Credential.h"
#include "sim/InquiryHandler.h"
#include "sim/SimFleet.h"

namespace {

using Clock = std::chrono::steady_clock;

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double MicrosSince(Clock::time_point start) {
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

std::string Capture(const std::string& command, int& status) {
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) {
        status = -1;
        return out;
    }
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0;)
        out.append(buffer, n);
    status = ::pclose(pipe);
    return out;
}

std::string CurlCommand(const std::string& url, const std::string& credential, int transfers, bool timing) {
    std::string command = "curl -s -X POST -H 'Authorization: Basic " + credential +
                          "' -A 'XQT Upgrade Tool' --data-binary inq=system";
    if (timing) command += " -w '%{time_total}\\n'";
    for (int i = 0; i < transfers; ++i)
        command += (timing ? " -o /dev/null '" : " '") + url + "'";
    return command;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(10, std::atoi(argv[1])) : 300;
    const int processRounds = std::max(10, rounds / 6);

    xqt::sim::SimCamera camera;
    camera.ipText = "127.0.5.1";
    camera.webPort = 0;
    xqt::sim::SimFleet fleet({camera});
    fleet.Start();
    const std::string hostPort = fleet.At(0).HostPort();
    const std::string url = "http://" + hostPort + "/command/inquiry.cgi";
    const std::string credential = xqt::EncodeCredential("admin", "admin");
    const std::string expected = xqt::sim::SystemAnswer(fleet.At(0).Camera());

    xqt::SessionConfig config;
    config.hostPort = hostPort;
    config.credential = credential;
    xqt::CameraSession session(config);

    int status = 0;
    const std::string curlBody = Capture(CurlCommand(url, credential, 1, false), status);
    if (status != 0 || curlBody != expected) {
        std::fprintf(stderr, "bench_inquiry: curl did not get the camera's answer (status %d)\n", status);
        return 1;
    }
    if (session.Inquire(xqt::INQ_SYSTEM, config.timing.inquiryLimit) != expected) {
        std::fprintf(stderr, "bench_inquiry: the engine did not get the camera's answer\n");
        return 1;
    }

    // Warm both sides, then alternate in blocks so neither profits from a quieter moment.
    std::vector<double> engine, curlTransfer, curlProcess;
    for (int i = 0; i < 20; ++i)
        static_cast<void>(session.Inquire(xqt::INQ_SYSTEM, config.timing.inquiryLimit));  // warm-up
    const int block = 50;
    for (int done = 0; done < rounds; done += block) {
        const int n = std::min(block, rounds - done);
        for (int i = 0; i < n; ++i) {
            const auto start = Clock::now();
            const std::string answer = session.Inquire(xqt::INQ_SYSTEM, config.timing.inquiryLimit);
            engine.push_back(MicrosSince(start));
            if (answer != expected) {
                std::fprintf(stderr, "bench_inquiry: wrong answer in round %d\n", done + i);
                return 1;
            }
        }
        std::istringstream times(Capture(CurlCommand(url, credential, n, true), status));
        for (double seconds; times >> seconds;)
            curlTransfer.push_back(seconds * 1e6);
    }
    for (int i = 0; i < processRounds; ++i) {
        const auto start = Clock::now();
        Capture(CurlCommand(url, credential, 1, false) + " >/dev/null", status);
        curlProcess.push_back(MicrosSince(start));
    }
    fleet.Stop();

    const double engineMedian = Median(engine);
    const double transferMedian = Median(curlTransfer);
    const double processMedian = Median(curlProcess);
    const double engineMean =
        std::accumulate(engine.begin(), engine.end(), 0.0) / static_cast<double>(engine.size());
    std::printf("inquiry round trip, inq=system against a simulated camera on %s\n", hostPort.c_str());
    std::printf("  engine (CameraSession::Inquire)   %5zu rounds  median %8.1f us  mean %8.1f us\n",
                engine.size(), engineMedian, engineMean);
    std::printf("  curl, its own time per transfer   %5zu rounds  median %8.1f us\n", curlTransfer.size(),
                transferMedian);
    std::printf("  curl, one process per request     %5zu rounds  median %8.1f us\n", curlProcess.size(),
                processMedian);
    std::printf("ratio engine / curl transfer: %.2f   (below 1: the engine is faster)\n",
                transferMedian > 0 ? engineMedian / transferMedian : 0.0);
    std::printf("ratio engine / curl process:  %.2f\n",
                processMedian > 0 ? engineMedian / processMedian : 0.0);
    return 0;
}
