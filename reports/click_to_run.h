#pragma once

// Office installed by Click-to-Run: its version, bitness, products and the
// update channel it follows, as its configuration key keeps them.

#include "platform/registry.h"

#include <string>

namespace spdlog {
class logger;
}

namespace kestrum::reports {

// Writes "  Office: Click-to-Run {version} ({platform}), {products}, update
// channel {channel}" for Office's Click-to-Run configuration and for Office
// 2013's, each where its key is.
void report_click_to_run(spdlog::logger& log, platform::registry& registry);

// The name Microsoft gives the update channel whose GUID ends |url|; none
// when the URL ends in no channel it names.
std::wstring channel_name(std::wstring_view url);

}  // namespace kestrum::reports
