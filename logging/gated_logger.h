#pragma once

#include "logging/record_gate.h"

#include <spdlog/logger.h>

namespace kestrum::logging {

// The run's logger: an ordinary spdlog logger whose records pass the gate
// that a crash report closes.
class gated_logger final : public spdlog::logger {
public:
    gated_logger(std::string name, spdlog::sinks_init_list sinks) : spdlog::logger(std::move(name), sinks) {}

    record_gate& gate() noexcept { return gate_; }

protected:
    void sink_it_(const spdlog::details::log_msg& message) override {
        if (const record_gate_pass pass(gate_); pass) {
            spdlog::logger::sink_it_(message);
        }
    }

private:
    record_gate gate_;
};

}  // namespace kestrum::logging
