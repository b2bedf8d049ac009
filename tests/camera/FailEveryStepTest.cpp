// Every exchange with a camera against a peer that fails each of its socket operations in turn:
// N = 0 is a connection nobody takes, then the peer's N-th step (accept, each read of the request,
// each write of the answer, the close) is reset, closed or left silent, for N = 1, 2, ... until the
// peer gets through all its steps. Each run must end in the exchange's documented failure (or in
// success, once the client had every byte it needs), within its step limit, with the client's
// socket closed and no configuration file left behind.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "SimHelpers.h"
#include "camera/CameraSession.h"
#include "camera/ConfigStore.h"
#include "platform/PlaceholderImage.h"
#include "tests/support/Slowdown.h"

namespace xqt {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr char kAddress[] = "127.0.9.1";
// Longest wait of the peer for anything from the client: far beyond every limit below, so a client
// that hangs shows as a run over its bound instead of a test that never ends.
constexpr int kPeerPatienceMs = 10000;

enum class Failure { Reset, Close, Stall };

const char* NameOf(Failure how) {
    switch (how) {
        case Failure::Reset:
            return "Reset";
        case Failure::Close:
            return "Close";
        case Failure::Stall:
            return "Stall";
    }
    return "?";
}

/// Open sockets of this process: what a client left open shows here.
int OpenSockets() {
    int count = 0;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        const auto target = fs::read_symlink(entry.path(), ec);
        count += !ec && target.string().rfind("socket:", 0) == 0;
    }
    return count;
}

/// True once `request` holds a whole HTTP request (head and Content-Length body).
bool IsWholeRequest(const std::string& request) {
    const auto headEnd = request.find("\r\n\r\n");
    if (headEnd == std::string::npos) return false;
    std::size_t length = 0;
    const auto at = request.find("Content-Length: ");
    if (at != std::string::npos && at < headEnd) length = std::stoul(request.substr(at + 16));
    return request.size() >= headEnd + 4 + length;
}

/// A TCP socket bound to kAddress and a port the system chose, which `port` receives.
int BoundSocket(int& port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in where{};
    where.sin_family = AF_INET;
    inet_pton(AF_INET, kAddress, &where.sin_addr);
    socklen_t size = sizeof where;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&where), size) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&where), &size) != 0)
        throw std::runtime_error("no socket on " + std::string(kAddress));
    port = ntohs(where.sin_port);
    return fd;
}

/// A one-connection HTTP peer on loopback that answers with `pieces`, one write each, and fails
/// its `failAt`-th step (1-based; 0 or beyond its last step: none) the way `how` says.
class StepPeer {
  public:
    struct Report {
        bool failed = false;          ///< the failing step was reached
        int steps = 0;                ///< steps taken, the failed one included
        int piecesWritten = 0;        ///< answer pieces the client was sent in full
        bool sawClientClose = false;  ///< the client closed its end (Stall and unfailed runs only)
    };

    StepPeer(std::vector<std::string> pieces, int failAt, Failure how)
        : pieces_(std::move(pieces)), failAt_(failAt), how_(how) {
        listener_ = BoundSocket(port_);
        if (listen(listener_, 4) != 0) throw std::runtime_error("the peer cannot listen");
        thread_ = std::thread([this] { Serve(); });
    }
    ~StepPeer() { Finish(); }

    std::string HostPort() const { return std::string(kAddress) + ":" + std::to_string(port_); }

    /// Waits for the peer to end; all its sockets are closed afterwards.
    Report Finish() {
        if (thread_.joinable()) thread_.join();
        if (listener_ >= 0) close(listener_);
        listener_ = -1;
        return report_;
    }

  private:
    bool Due() { return ++report_.steps == failAt_; }

    static bool WaitReadable(int fd) {
        pollfd p{fd, POLLIN, 0};
        return poll(&p, 1, kPeerPatienceMs) == 1;
    }

    /// Reads whatever the client still sends until it closes its end.
    void AwaitClientClose(int fd) {
        char buffer[4096];
        while (WaitReadable(fd)) {
            if (recv(fd, buffer, sizeof buffer, 0) <= 0) {
                report_.sawClientClose = true;
                return;
            }
        }
    }

    void Fail(int fd) {
        report_.failed = true;
        if (how_ == Failure::Reset) {
            const linger abort{1, 0};
            setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        } else if (how_ == Failure::Stall) {
            AwaitClientClose(fd);
        }
        close(fd);
    }

    void Serve() {
        if (!WaitReadable(listener_)) return;
        const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) return;
        if (Due()) return Fail(fd);
        std::string request;
        char buffer[64 * 1024];  // an upload of a few hundred KiB takes several steps
        while (!IsWholeRequest(request)) {
            if (!WaitReadable(fd)) return (void)close(fd);
            if (Due()) return Fail(fd);
            const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
            if (got <= 0) return (void)close(fd);
            request.append(buffer, static_cast<std::size_t>(got));
        }
        for (const std::string& piece : pieces_) {
            if (Due()) return Fail(fd);
            if (send(fd, piece.data(), piece.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(piece.size()))
                return (void)close(fd);
            ++report_.piecesWritten;
        }
        if (Due()) return Fail(fd);
        AwaitClientClose(fd);
        close(fd);
    }

    std::vector<std::string> pieces_;
    int failAt_;
    Failure how_;
    int listener_ = -1;
    int port_ = 0;
    std::thread thread_;
    Report report_;
};

/// A port on kAddress that nobody listens on.
std::string RefusingHostPort() {
    int port = 0;
    close(BoundSocket(port));
    return std::string(kAddress) + ":" + std::to_string(port);
}

enum class Kind { Inquiry, Download, Upload, Restore };

const std::string kCredential = "YWRtaW46YWRtaW4=";  // admin:admin
const platform::EngineTiming kTiming = platform::EngineTiming{}.Scaled(0.01);
const std::string kInquiryBody = "ModelName=XQT-TR60\r\nSoftVersion=1.10\r\nSerial=1000001\r\n";
// The inquiry's limit here: above the scaled 200 ms, so a slow (sanitized) build still gets its
// answer in time; short enough to meet a silent peer at every step.
constexpr std::chrono::milliseconds kInquiryLimit{500};
// Large enough that a peer failing early may meet the client still writing the body.
constexpr std::uint32_t kImageSize = 256 * 1024;
const std::string kConfiguration = "[System]\r\nCameraName=step\r\n[Network]\r\nDHCP=0\r\n";

/// How one exchange is answered, and what it must end in.
struct Exchange {
    const char* name;
    Kind kind;
    std::vector<std::string> answer;  // the peer's writes
    int needed;                       // of them, the client cannot succeed with fewer
    std::chrono::milliseconds limit;  // the longest a silent peer holds a step
};

std::string Head(const std::string& status, const std::string& body) {
    return status + "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\n\r\n";
}

const Exchange kExchanges[] = {
    {.name = "Inquiry",
     .kind = Kind::Inquiry,
     .answer = {"HTTP/1.1 200 OK\r\n", Head("", kInquiryBody).substr(2), kInquiryBody.substr(0, 20),
                kInquiryBody.substr(20)},
     .needed = 4,
     .limit = kInquiryLimit},
    {.name = "Download",
     .kind = Kind::Download,
     .answer = {"HTTP/1.1 200 OK\r\n", Head("", kConfiguration).substr(2), kConfiguration.substr(0, 20),
                kConfiguration.substr(20)},
     .needed = 4,
     .limit = kTiming.streamReceiveTimeout},
    // The upload is taken on its answer's header; the progress stream follows on the open request.
    {.name = "Upload",
     .kind = Kind::Upload,
     .answer = {"HTTP/1.1 200 OK\r\n", "Content-Type: text/plain\r\n\r\n", "progress"},
     .needed = 2,
     .limit = kTiming.streamReceiveTimeout},
    {.name = "Restore",
     .kind = Kind::Restore,
     .answer = {"HTTP/1.1 200 OK\r\n", "Content-Length: 2\r\n\r\n", "OK"},
     .needed = 2,
     .limit = kTiming.streamReceiveTimeout},
};

struct Row {
    const Exchange* exchange;
    Failure how;
};

std::ostream& operator<<(std::ostream& out, const Row& row) {
    return out << row.exchange->name << NameOf(row.how);
}

std::vector<Row> AllRows() {
    std::vector<Row> rows;
    for (const Exchange& exchange : kExchanges)
        for (const Failure how : {Failure::Reset, Failure::Close, Failure::Stall})
            rows.push_back({&exchange, how});
    return rows;
}

/// How one run of an exchange ended.
struct Ending {
    bool succeeded = false;
    bool documentedFailure = false;
    std::string detail;  // for the trace
};

class FailEveryStepTest : public ::testing::TestWithParam<Row> {
  protected:
    FailEveryStepTest() {
        std::string pattern = (fs::temp_directory_path() / "xqt-steps-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        folder_ = pattern;
        if (const char* old = std::getenv("ProgramFiles")) oldProgramFiles_ = old;
        setenv("ProgramFiles", folder_.c_str(), 1);  // saved configurations go here
    }
    ~FailEveryStepTest() override {
        if (oldProgramFiles_.empty()) {
            unsetenv("ProgramFiles");
        } else {
            setenv("ProgramFiles", oldProgramFiles_.c_str(), 1);
        }
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    /// Regular files below the configurations folder.
    std::vector<std::string> SavedFiles() const {
        std::vector<std::string> files;
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(folder_, ec); !ec && it != fs::end(it);
             it.increment(ec)) {
            if (it->is_regular_file()) files.push_back(it->path().string());
        }
        return files;
    }

    /// Runs `kind` against `hostPort`. `checkClosed` is called once the exchange has returned and
    /// its client should hold no connection any more (a taken upload keeps its request open for the
    /// progress stream until its session goes), before any saved file is looked at.
    Ending Run(Kind kind, const std::string& hostPort, const std::function<void()>& checkClosed) {
        Ending ending;
        switch (kind) {
            case Kind::Inquiry: {
                auto session = std::make_unique<CameraSession>(MakeSessionConfig(hostPort));
                const std::string answer = session->PostShortRequest(INQ_SYSTEM, kInquiryLimit);
                ending.detail = "answer \"" + answer + "\"";
                ending.succeeded = answer == kInquiryBody;
                // Empty, or a body cut short by the close is kept as received.
                ending.documentedFailure =
                    answer.size() < kInquiryBody.size() && kInquiryBody.rfind(answer, 0) == 0;
                checkClosed();
                break;
            }
            case Kind::Download: {
                ConfigStore store(hostPort, "/home/l4/xqt-tr60.cfg", kCredential,
                                  std::chrono::system_clock::now(), "XQT-TR60", "1000001", 1,
                                  kTiming.streamReceiveTimeout, detail::TransferBoundOf(kTiming));
                const bool saved = store.Download();
                ending.detail = "download " + std::string(saved ? "saved" : "failed: " + store.errorText);
                checkClosed();
                const auto files = SavedFiles();
                if (saved) {
                    std::ifstream in(store.localPath, std::ios::binary);
                    std::ostringstream text;
                    text << in.rdbuf();
                    ending.succeeded = files.size() == 1 && text.str() == kConfiguration;
                } else {
                    // The peer always speaks HTTP: a cut answer is never called something else.
                    ending.documentedFailure = !store.errorText.empty() &&
                                               store.errorText.find("not HTTP") == std::string::npos &&
                                               fs::is_empty(folder_);  // nor a folder it made
                    for (const auto& file : files)
                        ending.detail += ", left " + file;
                }
                std::error_code ignored;
                fs::remove_all(fs::path(folder_) / "VEXO", ignored);
                break;
            }
            case Kind::Upload: {
                auto session = std::make_unique<CameraSession>(MakeSessionConfig(hostPort));
                const auto image = std::make_shared<const std::vector<std::uint8_t>>(
                    platform::MakePlaceholderImage(kImageSize, "1.23"));
                session->SetImage(image, kImageSize, "ver1.23");
                const PostOutcome outcome = session->UploadFirmware();
                ending.detail = "outcome " + std::to_string(static_cast<int>(outcome));
                ending.succeeded = outcome == PostOutcome::Taken;
                ending.documentedFailure =
                    outcome == PostOutcome::NotSent || outcome == PostOutcome::NotCompleted;
                if (ending.succeeded) session.reset();  // the request stays open for the progress stream
                checkClosed();
                break;
            }
            case Kind::Restore: {
                auto session = std::make_unique<CameraSession>(MakeSessionConfig(hostPort));
                session->SetUploadData(reinterpret_cast<const std::uint8_t*>(kConfiguration.data()),
                                       kConfiguration.size());
                const PostOutcome outcome = session->RestoreConfig();
                ending.detail = "outcome " + std::to_string(static_cast<int>(outcome));
                ending.succeeded = outcome == PostOutcome::Taken;
                ending.documentedFailure =
                    outcome == PostOutcome::NotSent || outcome == PostOutcome::NotCompleted;
                checkClosed();
                break;
            }
        }
        return ending;
    }

    SessionConfig MakeSessionConfig(const std::string& hostPort) {
        SessionConfig config = test::ConfigFor(hostPort, &owner_);
        config.timing = kTiming;
        return config;
    }

    test::RecordingOwner owner_;
    std::string folder_;
    std::string oldProgramFiles_;
};

TEST_P(FailEveryStepTest, EachFailedStepEndsAsDocumentedClosedAndInTime) {
    const Row& row = GetParam();
    const Exchange& exchange = *row.exchange;
    // A silent peer holds one step until its limit; the rest of the run is loopback-fast.
    const auto bound = exchange.limit + test::AtTheLimit(exchange.limit);
    const int sockets = OpenSockets();

    {
        SCOPED_TRACE("nobody listening");
        const auto start = std::chrono::steady_clock::now();
        const Ending ending =
            Run(exchange.kind, RefusingHostPort(), [&] { EXPECT_EQ(OpenSockets(), sockets); });
        EXPECT_TRUE(ending.documentedFailure) << ending.detail;
        EXPECT_LT(std::chrono::steady_clock::now() - start, bound);
    }

    constexpr int kMostSteps = 64;
    bool peerGotThrough = false;
    for (int n = 1; n <= kMostSteps && !peerGotThrough; ++n) {
        SCOPED_TRACE("step " + std::to_string(n));
        StepPeer peer(exchange.answer, n, row.how);
        StepPeer::Report report;
        const auto start = std::chrono::steady_clock::now();
        const Ending ending = Run(exchange.kind, peer.HostPort(), [&] {
            report = peer.Finish();
            EXPECT_EQ(OpenSockets(), sockets) << "the client's socket is still open";
        });
        const auto took = std::chrono::steady_clock::now() - start;
        peerGotThrough = !report.failed;
        EXPECT_LT(took, bound) << ending.detail;
        if (!report.failed) {
            EXPECT_TRUE(ending.succeeded) << ending.detail;
            EXPECT_TRUE(report.sawClientClose);
        } else if (report.piecesWritten >= exchange.needed) {
            EXPECT_TRUE(ending.succeeded || ending.documentedFailure) << ending.detail;
        } else {
            EXPECT_TRUE(ending.documentedFailure) << ending.detail;
        }
        if (report.failed && row.how == Failure::Stall) {
            EXPECT_TRUE(report.sawClientClose) << "the client left a silent peer's connection open";
        }
    }
    EXPECT_TRUE(peerGotThrough) << "more than " << kMostSteps << " steps";
}

INSTANTIATE_TEST_SUITE_P(Exchanges, FailEveryStepTest, ::testing::ValuesIn(AllRows()), [](const auto& row) {
    std::ostringstream name;
    name << row.param;
    return name.str();
});

}  // namespace
}  // namespace xqt
