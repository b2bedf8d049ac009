#include "sim/SimFleet.h"

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/post.hpp>

namespace xqt::sim {

SimFleet::SimFleet(std::vector<SimCamera> cameras, double timeScale)
    : timeScale_(timeScale > 0 ? timeScale : 1.0) {
    for (auto& camera : cameras)
        servers_.push_back(std::make_unique<CameraServer>(ioc_, std::move(camera), timeScale_));
}

SimFleet::~SimFleet() {
    Stop();
}

void SimFleet::Start() {
    if (started_) return;
    try {
        for (auto& server : servers_)
            server->Listen();
    } catch (...) {
        for (auto& server : servers_)
            server->Close();
        throw;
    }
    started_ = true;
    thread_ = std::thread([this] {
        auto guard = boost::asio::make_work_guard(ioc_);
        ioc_.run();
    });
}

void SimFleet::Stop() {
    if (!thread_.joinable()) return;
    boost::asio::post(ioc_, [this] {
        for (auto& server : servers_)
            server->Close();
        ioc_.stop();
    });
    thread_.join();
}

}  // namespace xqt::sim
