// CameraSession: posting a saved configuration back to the camera.
#include <algorithm>
#include <ctime>

#include "camera/CameraSession.h"
#include "camera/ConfigRequest.h"
#include "camera/UploadBody.h"

namespace xqt {

namespace {

// +1 per chunk written, like the upload's accounting: on the automatic list's value, or on the
// manual page's bar, which the wizard's restore runs through the same session.
void AdvanceChunkProgress(CameraSession& session) {
    if (session.progressValue) session.progressValue->fetch_add(1);
    if (session.progressBar) session.progressBar->Advance(1);
}

}  // namespace

void CameraSession::SetUploadData(const std::uint8_t* data, std::size_t size) {
    uploadData_ = data;
    uploadSize_ = data ? size : 0;
}

PostOutcome CameraSession::RestoreConfig() {
    // An empty body would post no configuration at all yet count as restored.
    if (uploadData_ == nullptr || uploadSize_ == 0) return PostOutcome::NotSent;

    const std::string_view path = hasPanTilt.load() ? RESTORE_PRESET_PATH : RESTORE_PATH;
    const auto post = MakeMultipartUpload(static_cast<std::int64_t>(std::time(nullptr)), RESTORE_FIELD,
                                          RESTORE_FILE_NAME, uploadSize_, FACTORY_CREDENTIAL);

    if (streamedPost.Open(hostPort, path) != PostStep::Done) return PostOutcome::NotSent;
    for (const auto& header : post.headers) {
        if (!streamedPost.AddHeader(header)) {
            streamedPost.Close();
            return PostOutcome::NotSent;
        }
    }
    if (streamedPost.Send(post.contentLength) != PostStep::Done) return PostOutcome::NotSent;
    if (streamedPost.Write(post.head.data(), post.head.size()) != PostStep::Done) return PostOutcome::NotSent;
    for (std::size_t position = 0; position < uploadSize_;) {
        const std::size_t chunk = std::min(RESTORE_CHUNK_SIZE, uploadSize_ - position);
        if (streamedPost.Write(uploadData_ + position, chunk) != PostStep::Done) return PostOutcome::NotSent;
        AdvanceChunkProgress(*this);
        position += chunk;
    }
    if (streamedPost.Write(post.tail.data(), post.tail.size()) != PostStep::Done) return PostOutcome::NotSent;

    // A camera that was in emergency state before its upgrade has rebooted into the new firmware by
    // now and answers like any other: its answer decides too, so a file is never deleted on the
    // strength of a request nobody confirmed.
    status.store(StatusCode(UpgradeStatus::Overwriting));
    tickCount.store(0);
    const int tickTimer = TIMER_TICK_BASE + slot;
    if (owner) owner->StartTimer(tickTimer, timing.tickPeriod);
    const PostStep completed = streamedPost.Complete();
    if (owner) owner->StopTimer(tickTimer);
    if (completed != PostStep::Done) return PostOutcome::NotCompleted;
    // The camera's answer is not read, but a refusal (e.g. 401 for a credential it does not know)
    // is no restore: reporting it as one would let the saved file be deleted. A CGI may answer a
    // configuration it took with a redirect to its page, so 3xx counts as taken.
    const int code = streamedPost.StatusCode();
    streamedPost.Close();
    return code >= 200 && code < 400 ? PostOutcome::Taken : PostOutcome::NotCompleted;
}

}  // namespace xqt
