#include "app/build_choices.h"

namespace kestrum::app {

// Seconds instead of minutes, so that a run whose add-in hangs is ended
// within a test's patience.
constexpr DWORD progress_limit_seconds = 5;

build_choices this_build() noexcept { return {limits_for(progress_limit_seconds), logging::write_whole}; }

}  // namespace kestrum::app
