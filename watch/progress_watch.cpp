#include "watch/progress_watch.h"

namespace kestrum::watch {
namespace {

constexpr std::uint64_t milliseconds_per_second = 1000;

}  // namespace

progress_call progress_watch::observe(std::uint64_t now_ms, const progress_sample& sample) noexcept {
    if (sample.records != records_) {
        records_ = sample.records;
        last_record_ms_ = now_ms;
        next_note_ms_ = limits_.progress_limit_ms;
    }
    if (sample.activity != activity_) {
        activity_ = sample.activity;
        last_activity_ms_ = now_ms;
    }
    if (sample.console_record != 0 || sample.console_selection) {
        // Held by the console or its reader, not by the add-in: the limit
        // does not count.
        last_record_ms_ = now_ms;
        next_note_ms_ = limits_.progress_limit_ms;
        if (sample.console_record != console_record_) {
            console_record_ = sample.console_record;
            console_since_ms_ = now_ms;
            console_said_ = false;
        }
        if (console_record_ != 0 && !console_said_ && now_ms - console_since_ms_ >= limits_.progress_limit_ms) {
            console_said_ = true;
            return {progress_call_kind::reader_waiting, (now_ms - console_since_ms_) / milliseconds_per_second,
                    console_record_};
        }
        return {};
    }
    console_record_ = 0;
    const std::uint64_t silent_ms = now_ms - last_record_ms_;
    if (silent_ms < limits_.progress_limit_ms) {
        return {};
    }
    const bool working = now_ms - last_activity_ms_ < limits_.progress_limit_ms;
    if (!working || silent_ms >= limits_.working_allowance_ms) {
        return {progress_call_kind::stuck, silent_ms / milliseconds_per_second, 0};
    }
    if (silent_ms >= next_note_ms_) {
        next_note_ms_ += limits_.working_note_ms;
        return {progress_call_kind::still_working, silent_ms / milliseconds_per_second, 0};
    }
    return {};
}

}  // namespace kestrum::watch
