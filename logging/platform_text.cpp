#include "logging/platform_text.h"

namespace kestrum::logging {

std::wstring escape_platform_text(std::wstring_view text) { return fmt::format(L"{}", escaped{text}); }

}  // namespace kestrum::logging
