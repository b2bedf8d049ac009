#pragma once
// The HTTP side of one simulated camera: listens on its loopback address and port, parses each
// request, records it, asks the camera's handlers for a response script and plays it. Every
// connection carries one request and is closed after the response.
//
// Threads: the socket work runs on the fleet's io_context thread. Camera(), Update(), Requests(),
// ClearRequests() and WaitForRequests() may be called from any thread (they lock). Listen() is called
// before the io_context runs; Close() on the io_context's thread (or after it has stopped).

#include <atomic>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

#include "sim/ConfigHandler.h"
#include "sim/SimCamera.h"
#include "sim/SimHttp.h"
#include "sim/UpgradeHandler.h"

namespace xqt::sim {

namespace detail {
class Connection;
}

class CameraServer {
  public:
    CameraServer(boost::asio::io_context& ioc, SimCamera camera, double timeScale);
    ~CameraServer();
    CameraServer(const CameraServer&) = delete;
    CameraServer& operator=(const CameraServer&) = delete;

    /// Binds ipText:webPort (port 0: any free port, written back into webPort) and starts accepting.
    /// Throws std::runtime_error naming the address when it is not loopback or cannot be bound.
    void Listen();
    /// Stops accepting and closes every open connection.
    void Close();

    /// The camera as it is now (webPort is the bound port once listening).
    SimCamera Camera() const;
    /// Changes the camera's description or knobs; later requests see the change.
    void Update(const std::function<void(SimCamera&)>& change);
    /// "ip" or "ip:port" as the tool writes the camera's address.
    std::string HostPort() const;

    std::vector<RecordedRequest> Requests() const;
    void ClearRequests();
    /// Waits until at least `count` requests were recorded; false when `timeout` passed first.
    bool WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;
    /// Connections accepted and not yet closed (by either side).
    int OpenConnections() const { return openConnections_.load(); }

    /// The saved-configuration routes: what was restored, whether the camera is reconfiguring.
    const ConfigRoutes& Config() const { return config_; }

    /// Called on the fleet's thread with every recorded request (e.g. to log it); set before Listen.
    void SetObserver(std::function<void(const RecordedRequest&)> observer) {
        observer_ = std::move(observer);
    }

    /// The response script for one parsed request (the routes of the camera).
    SimResponse Handle(const SimRequest& request);
    /// Called by connections when a request ended (completely parsed or not).
    void Record(RecordedRequest record);
    /// True when the camera drops a request to `target` after `bodyBytes` body bytes
    /// (UpgradeKnobs::dropUploadAfterBytes); `complete`: the whole body has come.
    bool DropsUpload(std::string_view target, std::uint64_t bodyBytes, bool complete) const;
    /// A firmware request whose connection was dropped after the whole body came.
    void TakeDroppedUpload(const SimRequest& request);
    /// How a firmware request's body is read when the camera is told to read it slowly: at most
    /// `bytes` a read, `pause` (scaled) before each. None: at full speed.
    struct ReadPace {
        std::size_t bytes;
        std::chrono::milliseconds pause;
    };
    std::optional<ReadPace> UploadReadPace(std::string_view target) const;
    /// The firmware uploads this camera took, and its overwrite and reboot.
    UpgradeState& Upgrade() { return upgrade_; }
    const UpgradeState& Upgrade() const { return upgrade_; }
    /// Called by a connection once, when it closes.
    void ConnectionClosed() { --openConnections_; }

  private:
    void Accept();

    boost::asio::ip::tcp::acceptor acceptor_;
    const double timeScale_;
    mutable std::mutex mutex_;
    mutable std::condition_variable recorded_;
    SimCamera camera_;
    std::vector<RecordedRequest> requests_;
    std::vector<std::weak_ptr<detail::Connection>> connections_;  // io_context thread only
    std::function<void(const RecordedRequest&)> observer_;
    std::atomic<int> openConnections_{0};
    UpgradeState upgrade_;
    ConfigRoutes config_{
        [this](const std::string& bytes) { Update([&](SimCamera& c) { c.configuration = bytes; }); }};
};

}  // namespace xqt::sim
