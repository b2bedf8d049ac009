#pragma once
// A fleet of simulated cameras served from one io_context thread. Tests start one in-process
// (cameras on 127.0.x.y, port 0 for a free port); xqt-camsim serves one from a fleet file.
//
// Threads: Start() and Stop() are called by the thread that owns the fleet; At() and the servers'
// locked accessors from any thread. The destructor stops the fleet. A fleet is started once.

#include <boost/asio/io_context.hpp>
#include <memory>
#include <thread>
#include <vector>

#include "sim/CameraServer.h"
#include "sim/SimCamera.h"

namespace xqt::sim {

class SimFleet {
  public:
    /// `timeScale` multiplies every simulated delay (0.01: a hundred times faster).
    explicit SimFleet(std::vector<SimCamera> cameras, double timeScale = 1.0);
    ~SimFleet();
    SimFleet(const SimFleet&) = delete;
    SimFleet& operator=(const SimFleet&) = delete;

    /// Binds every camera and starts serving. Throws std::runtime_error naming the first camera
    /// that cannot listen; nothing is served then.
    void Start();
    /// Closes every camera and connection and joins the thread. Idempotent.
    void Stop();

    std::size_t Size() const { return servers_.size(); }
    CameraServer& At(std::size_t index) { return *servers_.at(index); }
    const CameraServer& At(std::size_t index) const { return *servers_.at(index); }
    double TimeScale() const { return timeScale_; }

    /// The loop every camera runs on, for further responders of the same fleet (discovery).
    boost::asio::io_context& IoContext() { return ioc_; }

  private:
    boost::asio::io_context ioc_{1};
    const double timeScale_;
    std::vector<std::unique_ptr<CameraServer>> servers_;
    std::thread thread_;
    bool started_ = false;
};

}  // namespace xqt::sim
