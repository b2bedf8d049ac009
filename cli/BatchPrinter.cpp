#include "cli/BatchPrinter.h"

#include <algorithm>
#include <iostream>
#include <nlohmann/json.hpp>

#include "cli/TerminalText.h"
#include "fleet/TextForms.h"
#include "fleet/UpgradeHistory.h"

namespace xqt::cli::batch {

void BatchPrinter::Show(platform::EventLoopOwner& owner, bool live) {
    std::deque<std::pair<int, UpgradeStatus>> changes;
    std::deque<int> ends;
    {
        std::lock_guard lock(mutex_);
        changes.swap(changes_);
        ends.swap(ends_);
    }
    std::string out;
    std::string errors;
    owner.Call([&] {
        for (const auto& [row, status] : changes) {
            const ProgressRecord& record = run_->Row(row);
            const std::string address = record.text[ProgressSlot::ADDRESS];
            const int progress = record.progress.Load();
            if (options_.json) {
                nlohmann::json event = {{"event", "status"},
                                        {"address", address},
                                        {"status", StatusWord(StatusCode(status))},
                                        {"statusCode", StatusCode(status)},
                                        {"progress", progress}};
                out += event.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
            } else if (!live && !IsFinal(status)) {
                // A final status word is a code ("Error3"): the camera's end line says it in words.
                out += TerminalText(address) + " " + StatusWord(StatusCode(status)) + "\n";
            }
        }
        if (!options_.json && !live) {
            for (int row : ends)
                out += EndLine(ReportRowOf(run_->Row(row))) + "\n";
        }
        if (live) out += LiveView();
        // The report on disk says what was just shown: a run killed now leaves the status its
        // cameras had, not the one of the last start or end.
        if (!changes.empty()) WriteReports(false);
        errors.swap(errors_);
    });
    // A closed or stalled output stops the printing here, never the run.
    if (!errors.empty()) std::cerr << errors << std::flush;
    std::cout << out << std::flush;
}

bool BatchPrinter::WriteReports(bool final) {
    const std::string tool = report_.tool;
    report_ = ReportOf(*run_, tool, final ? std::optional(std::chrono::system_clock::now()) : std::nullopt);
    report_.interrupted = stopping_;
    for (const auto& [row, text] : carried_) {
        // Skipped as the camera done before, not for another row or run holding it.
        if (row < run_->Size() && run_->Row(row).end == RowEnd::Skipped && run_->Row(row).detail.empty())
            report_.cameras.at(row).carried = text;
    }
    bool ok = true;
    if (!options_.report.empty()) {
        if (Result<void> written = WriteFileAtomically(options_.report, report_.Json()); !written) {
            ReportError(written.error());
            ok = false;
        }
    }
    if (!options_.csv.empty()) {
        if (Result<void> written = WriteFileAtomically(options_.csv, report_.Csv()); !written) {
            ReportError(written.error());
            ok = false;
        }
    }
    return ok;
}

std::string EndLine(const ReportRow& row) {
    std::string line = TerminalText(row.address) + " " +
                       (row.carried.empty() && row.outcome ? OutcomeWord(*row.outcome)
                        : row.carried.empty()              ? "running"
                                                           : "skipped");
    if (row.versionAfter) line += " " + TerminalText(*row.versionAfter);
    if (row.detail) line += " (" + TerminalText(*row.detail) + ")";
    return line;
}

void BatchPrinter::RecordInHistory(int row) {
    if (row < 0 || row >= run_->Size()) return;
    std::optional<HistoryEntry> entry = HistoryEntryOf(run_->Row(row), "xqt-cli batch");
    if (!entry) return;
    // Told once; the history is a convenience, so it never changes the run's exit code.
    if (Result<void> appended = AppendHistory(std::move(*entry)); !appended && !historyFailed_) {
        historyFailed_ = true;
        errors_ +=
            std::string(ME) + "the upgrade history was not written: " + TerminalText(appended.error()) + "\n";
    }
}

std::string BatchPrinter::Running() const {
    std::string list;
    for (int i = 0; i < run_->Size(); ++i) {
        const ProgressRecord& row = run_->Row(i);
        if (row.end != RowEnd::Pending || row.attempts == 0) continue;
        list += (list.empty() ? "" : ", ") + TerminalText(row.text[ProgressSlot::ADDRESS]) + " (" +
                row.text[ProgressSlot::STATUS] + ")";
    }
    return list;
}

void BatchPrinter::ReportError(const std::string& error) {
    if (!reportFailed_) errors_ += std::string(ME) + TerminalText(error) + "\n";
    reportFailed_ = true;
}

std::string BatchPrinter::LiveView() {
    // One line per active camera with its bar, then the summary; redrawn in place.
    std::string out;
    for (int i = 0; i < lastLines_; ++i)
        out += "\x1b[1A\x1b[2K";
    if (stopping_ && !stoppingShown_) {
        out += "stopping\u2026 cameras not yet started are left out; the running ones finish\n";
        stoppingShown_ = true;  // above the redrawn lines, so it stays
    }
    // Done and failed as the report counts them; the cameras not ended are left.
    const ReportSummary summary = ReportOf(*run_, {}).Summary();
    const int done = summary.completed + summary.current + summary.skipped + summary.suitable;
    const int failed = summary.failed;
    const int left = summary.notStarted;
    int lines = 0;
    for (int i = 0; i < run_->Size(); ++i) {
        const ProgressRecord& row = run_->Row(i);
        if (row.end != RowEnd::Pending || row.attempts == 0 || row.text[ProgressSlot::STATUS].empty())
            continue;
        const int filled = std::clamp(row.progress.Load(), 0, PROGRESS_MAX) * 20 / PROGRESS_MAX;
        out += TerminalText(row.text[ProgressSlot::ADDRESS]) + " [" + std::string(filled, '#') +
               std::string(20 - filled, '.') + "] " + row.text[ProgressSlot::STATUS] + "\n";
        ++lines;
    }
    std::string estimate;
    const auto elapsed = std::chrono::steady_clock::now() - began_;
    if (done + failed > 0 && left > 0) {
        const auto each = elapsed / (done + failed);
        const auto remaining = std::chrono::duration_cast<std::chrono::seconds>(each * left).count();
        estimate = ", about " + std::to_string(remaining) + " s left";
    }
    out += "done " + std::to_string(done) + ", failed " + std::to_string(failed) + ", left " +
           std::to_string(left) + estimate + "\n";
    lastLines_ = lines + 1;
    return out;
}

}  // namespace xqt::cli::batch
