#pragma once

#include <windows.h>

namespace kestrum::checks {

// The outcome of the run's status-bearing platform calls. The verdict must
// never call a failed run a success because a later call happened to work,
// so the status keeps the most recent failure rather than the last result.
class run_status {
public:
    void record(HRESULT result) noexcept {
        if (FAILED(result)) {
            most_recent_failure_ = result;
        }
    }

    bool failed() const noexcept { return FAILED(most_recent_failure_); }

    // The most recent failing code, or S_OK when nothing failed.
    HRESULT code() const noexcept { return most_recent_failure_; }

private:
    HRESULT most_recent_failure_ = S_OK;
};

}  // namespace kestrum::checks
