#include "platform/error_mode.h"

#include <windows.h>

namespace kestrum::platform {

void keep_error_boxes_away() noexcept {
    ::SetErrorMode(::GetErrorMode() | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
}

}  // namespace kestrum::platform
