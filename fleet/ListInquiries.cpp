#include "fleet/ListInquiries.h"

#include <algorithm>
#include <memory>

#include "camera/CameraSession.h"
#include "camera/Credential.h"
#include "camera/HostPort.h"

namespace xqt {

namespace {

std::unique_ptr<CameraSession> SessionFor(const Octets& address, std::int32_t port, std::string credential,
                                          const ModelList& models, int slot,
                                          const platform::EngineTiming& timing) {
    SessionConfig config;
    config.hostPort = FormatHostPort(address, port);
    config.credential = std::move(credential);
    config.modelList = models;
    config.slot = std::clamp(slot, 0, MAX_CAMERAS - 1);
    config.timing = timing;
    return std::make_unique<CameraSession>(std::move(config));
}

}  // namespace

ConnectionTests::ConnectionTests(ModelList models, const platform::EngineTiming& timing)
    : models_(std::move(models)), timing_(timing), queue_(INQ_NETWORK, timing.connectionTestLimit) {}

void ConnectionTests::Add(const CameraRecord& record) {
    queue_.Add(record.key,
               SessionFor(record.address, record.port,
                          EncodeCredential(record.text[TargetSlot::NAME], record.text[TargetSlot::PASSWORD]),
                          models_, record.id, timing_));
}

bool ConnectionTests::Tick(const DoneFn& done) {
    return queue_.Tick({}, [&](std::uint32_t key, CameraSession& session) {
        done(key, CameraSession::ParseMacAddress(session.AsyncAnswer()));
    });
}

AddedCameraLookups::AddedCameraLookups(ModelList models, const platform::EngineTiming& timing)
    : models_(std::move(models)), timing_(timing), queue_(INQ_SYSTEM, timing.addedListInquiryLimit) {}

void AddedCameraLookups::Add(std::uint32_t key, const Octets& address, std::int32_t port, int slot) {
    // No user is known yet: the credential of an empty name and password (":").
    queue_.Add(key, SessionFor(address, port, EncodeCredential("", ""), models_, slot, timing_));
}

bool AddedCameraLookups::Tick(const SentFn& sent, const DoneFn& done, const SerialCheck& serialAllowed) {
    return queue_.Tick(sent, [&](std::uint32_t key, CameraSession& session) {
        InquiryOutcome outcome;
        const std::string answer = session.AsyncAnswer();
        outcome.answered = !answer.empty();
        const SystemFields fields = session.ParseSystemAnswer(answer, false);
        outcome.isCamera = fields.accepted;
        outcome.model = fields.model;
        outcome.serial = fields.serial;
        outcome.version = fields.version;
        outcome.accepted = fields.accepted && serialAllowed(fields.serial);
        done(key, outcome);
    });
}

}  // namespace xqt
