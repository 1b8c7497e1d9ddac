#include "app/build_choices.h"

#include <atomic>

namespace kestrum::app {
namespace {

constexpr DWORD progress_limit_seconds = 120;
constexpr int records_that_fit = 5;

// NOLINTNEXTLINE(cppcoreguidelines-avoid-non-const-global-variables): the disk's state
std::atomic<int> records_written{0};

// A disk that is full after the first few records: each later write fails
// whole, as a full volume's write that takes none of the record does.
bool write_until_full(HANDLE file, std::string_view bytes, DWORD& error) {
    if (records_written.fetch_add(1) >= records_that_fit) {
        error = ERROR_DISK_FULL;
        return false;
    }
    return logging::write_whole(file, bytes, error);
}

}  // namespace

build_choices this_build() noexcept { return {limits_for(progress_limit_seconds), write_until_full}; }

}  // namespace kestrum::app
