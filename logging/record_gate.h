#pragma once

#include <windows.h>

#include <atomic>

namespace kestrum::logging {

// Lets records through to the sinks until a crash is being reported; from
// then on nothing but the crash report may reach them, so the crash record and
// its verdict stay the last two records whatever other threads are logging.
class record_gate {
public:
    record_gate() noexcept = default;
    ~record_gate() = default;
    record_gate(const record_gate&) = delete;
    record_gate& operator=(const record_gate&) = delete;

    // A writer asks before it writes a record and says when it is done.
    bool enter() noexcept;
    void leave() noexcept;

    // Shuts the gate for good, then gives writers already past it a short,
    // bounded time to finish their write. A writer that is the calling
    // thread itself (a fault inside a sink) is not waited for, nor is one that
    // stays stuck: the crash path must end the process whatever happens.
    void close_and_drain() noexcept;

private:
    static constexpr long closed_flag = 0x40000000;

    std::atomic<long> state_{0};    // closed_flag | number of writers inside
    std::atomic<DWORD> writer_{0};  // the thread of the writer inside, 0 between records
};

// One writer's way through the gate for one record: open when the gate let
// it in, and left again when it goes.
class record_gate_pass {
public:
    explicit record_gate_pass(record_gate& gate) noexcept : gate_(gate), entered_(gate.enter()) {}
    ~record_gate_pass() {
        if (entered_) {
            gate_.leave();
        }
    }
    record_gate_pass(const record_gate_pass&) = delete;
    record_gate_pass& operator=(const record_gate_pass&) = delete;
    record_gate_pass(record_gate_pass&&) = delete;
    record_gate_pass& operator=(record_gate_pass&&) = delete;

    explicit operator bool() const noexcept { return entered_; }

private:
    record_gate& gate_;
    bool entered_;
};

}  // namespace kestrum::logging
