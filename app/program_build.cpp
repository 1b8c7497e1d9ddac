#include "app/build_choices.h"

namespace kestrum::app {

// A worker writes a record at least every few seconds even on a slow machine;
// two minutes of silence is a hang.
constexpr DWORD progress_limit_seconds = 120;

build_choices this_build() noexcept { return {limits_for(progress_limit_seconds), logging::write_whole}; }

}  // namespace kestrum::app
