#include "handoff/publisher.h"

namespace kestrum::handoff {

// Every store is sequentially consistent: the watcher reads the record count
// first, and whatever it counts was published before it.

void publisher::log_writing(std::uint32_t bytes) const noexcept {
    if (progress_ != nullptr) {
        progress_->log_pending_bytes.fetch_add(bytes);
    }
}

void publisher::log_written(std::uint32_t bytes, std::uint32_t written, std::uint32_t records) const noexcept {
    if (progress_ != nullptr) {
        progress_->log_bytes.fetch_add(written);
        progress_->log_pending_bytes.fetch_sub(bytes);
        progress_->log_records.fetch_add(records);
    }
}

void publisher::log_failed(std::uint32_t error) const noexcept {
    if (progress_ != nullptr && progress_->log_failed_error.load() == 0) {
        progress_->log_failed_after.store(progress_->log_records.load());
        progress_->log_failed_error.store(error);
    }
}

bool publisher::log_failed_before() const noexcept {
    return progress_ != nullptr && progress_->log_failed_error.load() != 0;
}

void publisher::console_writing(std::uint32_t record) const noexcept {
    if (progress_ != nullptr) {
        // Twice a record: a plain store, not a fence. Nothing else is read
        // through it, so the watcher needs no order with other facts.
        progress_->console_record.store(record, std::memory_order_release);
    }
}

void publisher::step(run_step entered) const noexcept {
    if (progress_ != nullptr) {
        progress_->step.store(static_cast<std::uint32_t>(entered));
    }
}

void publisher::verdict(std::uint32_t code) const noexcept {
    if (progress_ != nullptr) {
        // A run that reaches its verdict exits 0.
        progress_->verdict_code.store(code);
        progress_->verdict_status.store(0);
        progress_->verdict_record.store(progress_->log_records.load() + 1);
    }
}

bool publisher::verdict_given() const noexcept {
    if (progress_ == nullptr) {
        return false;
    }
    // Published but never taken: a crash report closed the gate before it.
    const std::uint32_t verdict = progress_->verdict_record.load();
    return verdict != 0 && (progress_->log_records.load() >= verdict || progress_->log_pending_bytes.load() != 0);
}

void publisher::crash(std::uint32_t records, bool with_verdict, std::uint32_t code) const noexcept {
    if (progress_ == nullptr) {
        return;
    }
    const std::uint32_t before = progress_->log_records.load();
    progress_->crash_record.store(before + 1);
    if (with_verdict) {
        progress_->verdict_code.store(code);
        progress_->verdict_status.store(code);
        progress_->verdict_record.store(before + records);
    }
}

}  // namespace kestrum::handoff
