#include "watch/watcher.h"

#include "watch/console_interrupt.h"
#include "watch/log_keeper.h"
#include "watch/log_reading.h"
#include "watch/progress_watch.h"
#include "watch/run_ending.h"
#include "watch/worker_activity.h"
#include "watch/worker_handoff.h"
#include "logging/status_code.h"
#include "platform/module_name.h"
#include "platform/system_error.h"

#include <fmt/format.h>

#include <algorithm>
#include <string>

namespace kestrum::watch {
namespace {

// How often the watcher looks at the log while the worker runs: often enough
// that a stuck worker is seen within the limits, seldom enough to cost nothing.
constexpr DWORD poll_interval_ms = 100;
// Enough of the log's end to hold its last two records when one is a verdict.
constexpr DWORD tail_bytes = 64 * 1024;
// How long an ended worker is given to be gone before the records are written;
// after a closed console window the system gives this process only seconds.
constexpr DWORD end_wait_ms = 5000;
constexpr DWORD interrupted_end_wait_ms = 1000;
// Verdicts for endings whose own code would read as success.
constexpr DWORD ended_unexpectedly = 0x800704D5;  // HRESULT_FROM_WIN32(ERROR_PROCESS_ABORTED)
constexpr DWORD stuck = 0x800705B4;               // HRESULT_FROM_WIN32(ERROR_TIMEOUT)

struct started_worker {
    platform::unique_handle process;
    platform::unique_handle main_thread;
    platform::unique_handle job;
    std::optional<worker_handoff> handoff;
};

platform::unique_handle inheritable_copy(HANDLE handle, DWORD access, DWORD options) {
    HANDLE copy = nullptr;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE ||
        !::DuplicateHandle(::GetCurrentProcess(), handle, ::GetCurrentProcess(), &copy, access, TRUE, options)) {
        return {};
    }
    return platform::unique_handle(copy);
}

// A job that ends the worker, and whatever it starts, once the last handle to
// the job closes: when this process ends, however it ends.
platform::unique_handle job_ending_with_this_process() {
    platform::unique_handle job(::CreateJobObjectW(nullptr, nullptr));
    if (!job) {
        return job;
    }
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags =
        JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
    if (!::SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof(limits))) {
        job.reset();
    }
    return job;
}

std::wstring this_program_path() {
    return platform::read_whole_module_name(
        [](wchar_t* name, DWORD capacity) { return ::GetModuleFileNameW(nullptr, name, capacity); });
}

std::optional<started_worker> start_worker(HANDLE log_file) {
    const std::wstring program = this_program_path();
    if (program.empty()) {
        return std::nullopt;
    }
    // The worker may append to the log, nothing more: it cannot truncate it
    // (Windows asks FILE_WRITE_DATA for that; where Wine does not, the
    // watcher's own copy puts it back), write over it, read it back or give
    // it away with more rights than that.
    const platform::unique_handle worker_log = inheritable_copy(log_file, FILE_APPEND_DATA | SYNCHRONIZE, 0);
    const platform::unique_handle input = inheritable_copy(::GetStdHandle(STD_INPUT_HANDLE), 0, DUPLICATE_SAME_ACCESS);
    const platform::unique_handle output =
        inheritable_copy(::GetStdHandle(STD_OUTPUT_HANDLE), 0, DUPLICATE_SAME_ACCESS);
    const platform::unique_handle error = inheritable_copy(::GetStdHandle(STD_ERROR_HANDLE), 0, DUPLICATE_SAME_ACCESS);
    if (!worker_log) {
        return std::nullopt;
    }

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input.get();
    startup.hStdOutput = output.get();
    startup.hStdError = error.get();
    std::wstring command_line = L"\"" + program + L"\"";
    PROCESS_INFORMATION created{};
    if (!::CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr,
                          nullptr, &startup, &created)) {
        return std::nullopt;
    }
    started_worker worker{platform::unique_handle(created.hProcess), platform::unique_handle(created.hThread),
                          job_ending_with_this_process(), std::nullopt};

    worker.handoff = worker_handoff::publish(created.dwProcessId, worker_log.get());
    if (!worker.handoff) {
        ::TerminateProcess(worker.process.get(), ended_unexpectedly);
        return std::nullopt;
    }
    // Without a job (one the system will not nest, say) the worker still
    // runs watched; it only outlives a watcher that is killed.
    if (worker.job && !::AssignProcessToJobObject(worker.job.get(), worker.process.get())) {
        worker.job.reset();
    }
    ::ResumeThread(worker.main_thread.get());
    return worker;
}

log_ending ending_of(HANDLE log_file) {
    const std::uint64_t size = size_of(log_file);
    const std::uint64_t length = std::min<std::uint64_t>(size, tail_bytes);
    return read_log_ending(read_from(log_file, size - length, length));
}

// The records of a run that ended without its verdict start on a line of
// their own, even when the worker died in the middle of writing one.
void finish_broken_record(HANDLE log_file, const log_ending& ending) {
    if (ending.ends_mid_record) {
        DWORD written = 0;
        ::WriteFile(log_file, "\r\n", 2, &written, nullptr);
    }
}

// Wine sets the end of file through the watcher's append-only handle; Windows
// asks FILE_WRITE_DATA for it, and the cut is then left undone.
void cut_log_back(HANDLE log_file, std::uint64_t size) {
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
    ::SetFileInformationByHandle(log_file, FileEndOfFileInfo, &end, sizeof(end));
}

// On the console too: a worker that ended inside a console record leaves a
// line for the watcher's records to end first.
void finish_broken_console_line(const published_progress& published) {
    if (standard_output_mid_line(published.console_record != 0)) {
        DWORD written = 0;
        ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), "\r\n", 2, &written, nullptr);
    }
}

// The log lacks records the worker wrote: the watcher has no copy of them,
// so the log stays as the system left it, and standard error says so.
void report_incomplete_log(const published_progress& published) {
    if (published.log_failed_error != 0) {
        platform::write_error_line(fmt::format(
            "The log file is incomplete: writing it failed after record {} (error {}: {}).", published.log_failed_after,
            published.log_failed_error, platform::system_error_text(published.log_failed_error)));
    }
}

void end_worker(HANDLE process, DWORD code, DWORD wait_ms = end_wait_ms) {
    ::TerminateProcess(process, code);
    ::WaitForSingleObject(process, wait_ms);
}

watch_outcome ended_as_stuck(HANDLE log_file, log_keeper& kept_log, HANDLE process, const published_progress& published,
                             std::uint64_t silent_seconds) {
    end_worker(process, stuck);
    kept_log.follow();
    finish_broken_record(log_file, ending_of(log_file));
    return watch_outcome{stuck,
                         {{true, fmt::format("The run stopped making progress while {}: no new record for {} s, so it "
                                             "was ended.",
                                             step_of_run(published), silent_seconds)},
                          {true, fmt::format(logging::error_verdict_format, stuck)}}};
}

// Tells standard error what the worker is waiting for, or ends it when the
// answer is nothing.
std::optional<watch_outcome> act_on(const progress_call& call, HANDLE log_file, log_keeper& kept_log, HANDLE process,
                                    const published_progress& published) {
    switch (call.kind) {
        case progress_call_kind::still_working:
            platform::write_error_line(fmt::format(
                "Still waiting for the add-in: {} s without a new record, the process is working.", call.seconds));
            break;
        case progress_call_kind::reader_waiting:
            platform::write_error_line(
                fmt::format("Still waiting: the reader of standard output has not taken record {} for {} s.",
                            call.record, call.seconds));
            break;
        case progress_call_kind::stuck:
            return ended_as_stuck(log_file, kept_log, process, published, call.seconds);
        case progress_call_kind::wait:
            break;
    }
    return std::nullopt;
}

}  // namespace

std::optional<watch_outcome> run_watched_worker(HANDLE log_file, const watch_limits& limits) {
    listen_for_console_interrupts();
    std::optional<started_worker> worker = start_worker(log_file);
    if (!worker) {
        return std::nullopt;
    }
    const HANDLE process = worker->process.get();
    const handoff::run_progress& progress = worker->handoff->progress();

    progress_watch watch(limits, awake_milliseconds());
    std::optional<std::uint64_t> verdict_seen;
    log_keeper kept_log(log_file);
    while (wait_for_worker_or_interrupt(process, poll_interval_ms) == WAIT_TIMEOUT) {
        kept_log.follow();
        const std::uint64_t now = awake_milliseconds();
        const published_progress published = read_published(progress);
        if (published.verdict_taken()) {
            verdict_seen = verdict_seen.value_or(now);
            if (now - *verdict_seen >= limits.after_verdict_ms) {
                // Stuck on its way out, after everything was written: only
                // the status is left to give.
                end_worker(process, 0);
                break;
            }
            continue;
        }
        const progress_sample sample{published.log_records, published.console_record,
                                     activity_of(process, worker->main_thread.get()), console_selection_in_progress()};
        if (std::optional<watch_outcome> ended =
                act_on(watch.observe(now, sample), log_file, kept_log, process, published)) {
            report_incomplete_log(read_published(progress));
            return ended;
        }
    }

    const console_interrupt interrupt = interrupt_of_run(process, read_published(progress).verdict_taken());
    if (interrupt != console_interrupt::none) {
        end_worker(process, 0, interrupted_end_wait_ms);
    }
    kept_log.follow();
    DWORD exit_code = 0;
    if (!::GetExitCodeProcess(process, &exit_code)) {
        exit_code = ended_unexpectedly;
    }
    const published_progress published = read_published(progress);
    const log_ending ending = ending_of(log_file);
    const run_ending_decision decision = decide_run_ending(published, size_of(log_file), ending, exit_code);
    report_incomplete_log(published);
    watch_outcome outcome{decision.exit_status, decision.records};
    if (decision.cut_log_back) {
        cut_log_back(log_file, published.log_bytes);
    }
    if (decision.end_log_line) {
        finish_broken_record(log_file, ending);
    }
    if (decision.ended_before_verdict && interrupt != console_interrupt::none) {
        for (std::string& record : interrupted_run_records(interrupt)) {
            outcome.records.push_back({true, std::move(record)});
        }
        outcome.exit_status = interrupted_run_code;
    } else if (decision.ended_before_verdict) {
        outcome.records.push_back(
            {true, fmt::format(logging::ended_before_verdict_format, logging::described_code{exit_code})});
        outcome.records.push_back({true, fmt::format(logging::error_verdict_format, decision.verdict_code)});
    }
    if (!outcome.records.empty()) {
        finish_broken_console_line(published);
    }
    return outcome;
}

}  // namespace kestrum::watch
