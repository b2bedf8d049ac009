#include "fleet/ListInquiries.h"

#include <algorithm>
#include <memory>

#include "camera/CameraSession.h"
#include "camera/Credential.h"
#include "camera/HostPort.h"

namespace xqt {

void ListInquiryQueue::Ask(std::uint32_t key, const Octets& address, std::int32_t port,
                           std::string credential, int slot) {
    SessionConfig config;
    config.hostPort = FormatHostPort(address, port);
    config.credential = std::move(credential);
    config.modelList = models_;
    config.slot = std::clamp(slot, 0, MAX_CAMERAS - 1);
    config.timing = timing_;
    queue_.Add(key, std::make_unique<CameraSession>(std::move(config)));
}

ConnectionTests::ConnectionTests(ModelList models, const platform::EngineTiming& timing)
    : ListInquiryQueue(INQ_NETWORK, timing.connectionTestLimit, std::move(models), timing) {}

void ConnectionTests::Add(const CameraRecord& record) {
    Ask(record.key, record.address, record.port,
        EncodeCredential(record.text[TargetSlot::NAME], record.text[TargetSlot::PASSWORD]), record.id);
}

bool ConnectionTests::Tick(const DoneFn& done) {
    return Inquiries().Tick({}, [&](std::uint32_t key, CameraSession& session) {
        done(key, CameraSession::ParseMacAddress(session.AsyncAnswer()));
    });
}

AddedCameraLookups::AddedCameraLookups(ModelList models, const platform::EngineTiming& timing)
    : ListInquiryQueue(INQ_SYSTEM, timing.addedListInquiryLimit, std::move(models), timing) {}

void AddedCameraLookups::Add(std::uint32_t key, const Octets& address, std::int32_t port, int slot) {
    // No user is known yet: the credential of an empty name and password (":").
    Ask(key, address, port, EncodeCredential("", ""), slot);
}

bool AddedCameraLookups::Tick(const SentFn& sent, const DoneFn& done, const SerialCheck& serialAllowed) {
    return Inquiries().Tick(sent, [&](std::uint32_t key, CameraSession& session) {
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
