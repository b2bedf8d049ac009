// CameraSession: the firmware upload and the progress stream the camera sends while it overwrites
// its flash memory.
#include <algorithm>
#include <ctime>
#include <span>

#include "camera/CameraSession.h"
#include "camera/ProgressStream.h"
#include "camera/SessionSequence.h"
#include "camera/UploadBody.h"

namespace xqt {

namespace {

// The session's bar and value as the stream parser moves them.
class SessionProgress : public ProgressOutputs {
  public:
    SessionProgress(ProgressBar* bar, std::atomic<std::int32_t>* value) : bar_(bar), value_(value) {}
    bool HasBar() const override { return bar_ != nullptr; }
    std::int32_t BarPosition() const override { return bar_->Position(); }
    void SetBar(std::int32_t position) override { bar_->SetPosition(position); }
    bool HasValue() const override { return value_ != nullptr; }
    std::int32_t Value() const override { return value_->load(); }
    void SetValue(std::int32_t value) override { value_->store(std::clamp(value, 0, PROGRESS_MAX)); }
    void Add(std::int32_t delta) override {
        if (bar_) bar_->Advance(delta);
        if (value_) {
            std::int32_t old = value_->load();
            while (!value_->compare_exchange_weak(old, std::clamp(old + delta, 0, PROGRESS_MAX))) {
            }
        }
    }

  private:
    ProgressBar* bar_;
    std::atomic<std::int32_t>* value_;
};

}  // namespace

void CameraSession::AddProgress(std::int32_t delta) {
    SessionProgress(progressBar, progressValue).Add(delta);
}

void CameraSession::SetProgress(std::int32_t value) {
    if (progressBar) progressBar->SetPosition(value);
    if (progressValue) progressValue->store(std::clamp(value, 0, PROGRESS_MAX));
}

std::int32_t CameraSession::CurrentProgress() const {
    if (progressValue) return progressValue->load();
    return progressBar ? progressBar->Position() : 0;
}

void CameraSession::SetImage(ImageBytes bytes, std::uint32_t size, std::string version) {
    const std::size_t available = bytes ? bytes->size() : 0;
    imageData = std::move(bytes);
    imageSize = static_cast<std::uint32_t>(std::min<std::size_t>(size, available));
    newVersion.Set(std::move(version));
}

PostOutcome CameraSession::UploadFirmware() {
    Sequence& seq = *sequence_;
    if (!imageData) return PostOutcome::NotSent;
    auto post = std::make_shared<StreamedPost>(timing.streamReceiveTimeout, detail::TransferBoundOf(timing));
    {
        std::lock_guard lock(seq.postMutex);
        seq.upload = post;
    }
    if (IsAbandoned()) post->Cancel();  // abandoned before the request was registered
    auto fail = [&](PostOutcome code) {
        post->Close();
        return code;
    };

    const MultipartUpload upload = MakeMultipartUpload(static_cast<std::int64_t>(std::time(nullptr)),
                                                       FIRMWARE_FIELD, FIRMWARE_FILE, imageSize, credential);
    if (post->Open(hostPort, FIRMWARE_PATH) != PostStep::Done) return fail(PostOutcome::NotSent);
    for (const auto& header : upload.headers) {
        if (!post->AddHeader(header))
            return fail(PostOutcome::NotSent);  // e.g. a credential that is not one line
    }
    if (post->Send(upload.contentLength) != PostStep::Done) return fail(PostOutcome::NotSent);
    if (post->Write(upload.head.data(), upload.head.size()) != PostStep::Done)
        return fail(PostOutcome::NotSent);
    const bool written = WriteInChunks(
        std::span<const std::uint8_t>(imageData->data(), imageSize),
        [&](const std::uint8_t* data, std::size_t size) { return post->Write(data, size) == PostStep::Done; },
        [&] { AddProgress(1); }, {}, UPLOAD_CHUNKS_PER_WRITE);
    if (!written) return fail(PostOutcome::NotSent);
    if (post->Write(upload.tail.data(), upload.tail.size()) != PostStep::Done)
        return fail(PostOutcome::NotSent);

    if (!Step([&] { SetStatus(UpgradeStatus::Overwriting); })) return fail(PostOutcome::NotSent);
    // A camera in emergency state takes the image without answering: nothing to complete or read.
    if (emergency.load()) return PostOutcome::Taken;

    if (!Step([&] {
            tickCount.store(0);
            StartSessionTimer(TIMER_TICK_BASE, timing.tickPeriod);
        }))
        return fail(PostOutcome::NotSent);
    const PostStep completed = post->Complete();
    Step([&] { StopSessionTimer(TIMER_TICK_BASE); });
    if (completed != PostStep::Done) return fail(PostOutcome::NotCompleted);
    // A camera that refuses the request (a credential it does not take, a body it cannot use)
    // flashes nothing: the upload was not sent, whatever version the camera reports later.
    const int code = post->StatusCode();
    if (code < 200 || code >= 300) return fail(PostOutcome::NotSent);
    return PostOutcome::Taken;
}

void CameraSession::ReadProgressStream() {
    Sequence& seq = *sequence_;
    std::shared_ptr<StreamedPost> post;
    {
        std::lock_guard lock(seq.postMutex);
        post = seq.upload;
    }
    if (emergency.load()) {
        // Nothing to read: the overwrite is assumed to take emergencyOverwrite and to end at
        // EMERGENCY_CEILING, one increment per tick. Counted as a stream that ended well.
        const auto ticks = std::max<std::int64_t>(1, timing.emergencyOverwrite / timing.tickPeriod);
        stepSize.store(static_cast<std::int32_t>((EMERGENCY_CEILING - CurrentProgress()) / ticks));
        streamOk.store(true);
        return;
    }
    streamOk.store(true);
    if (!post || !Step([&] {
            tickCount.store(0);
            StartSessionTimer(TIMER_TICK_BASE, timing.tickPeriod);
        })) {
        return;
    }
    auto stopRequested = [&] {
        std::lock_guard lock(seq.waitMutex);
        return seq.readerStop;
    };

    SessionProgress progress(progressBar, progressValue);
    StepFields steps{stepBase.load(), stepSize.load(), stepTotal.load()};
    std::string pending;
    char buffer[PROGRESS_READ_SIZE];
    for (;;) {
        const StreamRead read = post->Read(buffer, sizeof(buffer));
        if (stopRequested()) return;  // WatchOverwrite has stopped waiting for this reader
        if (read.status == StreamRead::Status::Data) {
            const StreamVerdict verdict =
                FeedProgressStream(pending, std::string_view(buffer, read.size), steps, progress);
            stepBase.store(steps.base);
            stepSize.store(steps.size);
            stepTotal.store(steps.total);
            if (verdict == StreamVerdict::Stop) break;
            continue;
        }
        if (read.status == StreamRead::Status::End) {
            // The response ended without the closing delimiter: the overwrite watchdog decides
            // how this ends; until then the reader waits, without reading.
            std::unique_lock lock(seq.waitMutex);
            seq.wake.wait(lock, [&] { return seq.readerStop; });
            return;
        }
        streamOk.store(false);  // broken, or no data within the receive time-out
        break;
    }
    Step([&] { StopSessionTimer(TIMER_TICK_BASE); });
}

}  // namespace xqt
