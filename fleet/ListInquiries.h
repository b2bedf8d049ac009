#pragma once
// What the lists ask of their cameras, for the Qt side only to show: the camera grid's connection
// test ("inq=network"; passed when the answer carries a MAC address) and the added-camera list's
// look-up ("inq=system"; the answer decides a row's model, serial, version and verdict). Both build
// their sessions from a row's address values, never from a text the list shows, and send through an
// InquiryQueue, at most two in flight.
//
// Threads: the owner's thread only (the lists' timers); each exchange runs on its session's thread.
// Lifetime: clearing or destroying one cancels and joins its exchanges.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "camera/ModelList.h"
#include "fleet/AddedCameraRows.h"
#include "fleet/CameraRecord.h"
#include "fleet/InquiryQueue.h"
#include "platform/EngineTiming.h"

namespace xqt {

/// What both lists' inquiries share: the accepted models, the timing, and the queue they are sent
/// through.
class ListInquiryQueue {
  public:
    void Clear() { queue_.Clear(); }
    [[nodiscard]] bool Empty() const { return queue_.Empty(); }
    [[nodiscard]] std::size_t Size() const { return queue_.Size(); }

  protected:
    ListInquiryQueue(std::string_view body, std::chrono::milliseconds limit, ModelList models,
                     const platform::EngineTiming& timing)
        : models_(std::move(models)), timing_(timing), queue_(body, limit) {}
    /// Queues the inquiry of the camera at `address`:`port` for row `key`, as `credential`.
    void Ask(std::uint32_t key, const Octets& address, std::int32_t port, std::string credential, int slot);
    InquiryQueue& Inquiries() { return queue_; }

  private:
    ModelList models_;
    platform::EngineTiming timing_;
    InquiryQueue queue_;
};

/// The connection test of the grid's selected cameras, each asked as its own user.
class ConnectionTests : public ListInquiryQueue {
  public:
    using DoneFn = std::function<void(std::uint32_t key, std::optional<std::string> mac)>;

    ConnectionTests(ModelList models, const platform::EngineTiming& timing);
    /// Queues the test of `record` behind the others.
    void Add(const CameraRecord& record);
    /// One tick: `done(key, mac)` for each test taken, the MAC when the answer carried one. True when
    /// any test was taken.
    bool Tick(const DoneFn& done);
};

/// The look-up of the added cameras, each asked by a row's stable key; no user is known yet.
class AddedCameraLookups : public ListInquiryQueue {
  public:
    using SerialCheck = std::function<bool(const std::string& serial)>;
    using SentFn = std::function<void(std::uint32_t key)>;
    using DoneFn = std::function<void(std::uint32_t key, const InquiryOutcome& outcome)>;

    AddedCameraLookups(ModelList models, const platform::EngineTiming& timing);
    /// Queues the look-up of row `key` at `address`:`port`; `slot` numbers its session.
    void Add(std::uint32_t key, const Octets& address, std::int32_t port, int slot);
    /// Removes row `key`'s look-up, sent or not; its result is never delivered.
    void Drop(std::uint32_t key) { Inquiries().Drop(key); }
    /// One tick: `sent(key)` for each look-up sent now, `done(key, outcome)` for each one taken, its
    /// serial judged by `serialAllowed`. True when any look-up was taken.
    bool Tick(const SentFn& sent, const DoneFn& done, const SerialCheck& serialAllowed);
};

}  // namespace xqt
