// CameraSession: the transport (short exchanges, the asynchronous inquiry, cancellation).
#include <mutex>

#include "camera/CameraSession.h"
#include "camera/SessionSequence.h"
#include "camera/ShortRequest.h"
#include "platform/Windows1252.h"

namespace xqt {

struct CameraSession::AsyncJob {
    detail::Cancellation cancel;
    std::chrono::steady_clock::time_point started;
    std::atomic<bool> done{false};
    std::string answer;  // written by the job's thread before `done`, read after it
};

CameraSession::CameraSession(SessionConfig config)
    : mode(config.mode),
      owner(config.owner),
      hostPort(std::move(config.hostPort)),
      credential(std::move(config.credential)),
      modelList(std::move(config.modelList)),
      slot(config.slot),
      timing(config.timing),
      streamedPost(config.timing.streamReceiveTimeout, detail::TransferBoundOf(config.timing)),
      serialText(std::move(config.serialText)),
      backupFlag_(config.backupFlag),
      deleteFlag_(config.deleteFlag),
      timeStamp_(config.timeStamp),
      sequence_(std::make_unique<Sequence>()) {}

CameraSession::~CameraSession() {
    Cancel();
    JoinAsync();
}

std::string CameraSession::PostShortRequest(std::string_view body, std::chrono::milliseconds limit) {
    return Ask(body, limit).text;
}

InquiryAnswer CameraSession::Ask(std::string_view body, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    detail::ShortRequestJob request{hostPort, std::string(INQUIRY_PATH), platform::Utf8ToWindows1252(body),
                                    credential};
    auto result = detail::RunShortRequest(request, deadline, cancellation_);
    return InquiryAnswer{platform::Windows1252ToUtf8(result.answer), result.fault};
}

void CameraSession::InquireAsync(std::string_view body) {
    JoinAsync();
    auto fresh = std::make_unique<AsyncJob>();
    AsyncJob* job = fresh.get();
    job->started = std::chrono::steady_clock::now();
    {
        std::lock_guard lock(asyncMutex_);
        asyncJob_ = std::move(fresh);
        if (IsCancelled()) job->cancel.Cancel();
    }
    detail::ShortRequestJob request{hostPort, std::string(INQUIRY_PATH), platform::Utf8ToWindows1252(body),
                                    credential};
    const auto deadline = job->started + timing.inquiryLimit;
    asyncThread_ = std::thread([job, request = std::move(request), deadline] {
        auto result = detail::RunShortRequest(request, deadline, job->cancel);
        job->answer = platform::Windows1252ToUtf8(result.answer);
        job->done.store(true, std::memory_order_release);
    });
}

bool CameraSession::IsInquiryDone() const {
    return asyncJob_ && asyncJob_->done.load(std::memory_order_acquire);
}

std::string CameraSession::AsyncAnswer() const {
    return IsInquiryDone() ? asyncJob_->answer : std::string();
}

std::chrono::steady_clock::time_point CameraSession::AsyncStartTime() const {
    return asyncJob_ ? asyncJob_->started : std::chrono::steady_clock::time_point{};
}

void CameraSession::JoinAsync() {
    {
        std::lock_guard lock(asyncMutex_);
        if (asyncJob_) asyncJob_->cancel.Cancel();
    }
    if (asyncThread_.joinable()) asyncThread_.join();
}

void CameraSession::Cancel() {
    // Under the lock so that a job InquireAsync starts meanwhile is either cancelled here or sees
    // the session cancelled.
    std::lock_guard lock(asyncMutex_);
    cancellation_.Cancel();
    streamedPost.Cancel();
    CancelSequence();
    if (asyncJob_) asyncJob_->cancel.Cancel();
}

bool CameraSession::IsCancelled() const {
    return cancellation_.IsCancelled();
}

bool CameraSession::Pause(std::chrono::milliseconds duration) {
    return cancellation_.WaitFor(duration);
}

}  // namespace xqt
