#include "handoff/reader.h"

namespace kestrum::handoff {

published_progress read_published(const run_progress& progress) noexcept {
    published_progress published;
    // The count first: what it counts was published before it.
    published.log_records = progress.log_records.load();
    published.log_pending_bytes = progress.log_pending_bytes.load();
    published.log_bytes = progress.log_bytes.load();
    published.verdict_record = progress.verdict_record.load();
    published.verdict_code = progress.verdict_code.load();
    published.verdict_status = progress.verdict_status.load();
    published.log_failed_after = progress.log_failed_after.load();
    published.log_failed_error = progress.log_failed_error.load();
    published.console_record = progress.console_record.load();
    published.step = static_cast<run_step>(progress.step.load());
    published.crash_record = progress.crash_record.load();
    return published;
}

}  // namespace kestrum::handoff
