#pragma once

// Text that the platform or an add-in hands over (module paths, runtime
// versions, assembly names and locations, registry values) is data: it may
// hold any UTF-16 unit, and must never end a record early, start a forged
// one or drive the terminal that shows it.

#include <string>
#include <string_view>

namespace kestrum::logging {

// Whether |unit| is written escaped: the C0 controls (below U+0020), DEL
// (U+007F), the C1 controls (U+0080 to U+009F) and the line and paragraph
// separators (U+2028, U+2029).
bool is_escaped_in_records(wchar_t unit) noexcept;

// |text| as it may stand in a record: each unit above is written as
// "<U+XXXX>" (four upper-case hex digits), everything else is kept as it is.
// '<' and '>' cannot occur in a Windows path, so a path stays readable and
// an escape cannot be mistaken for part of one. Every unit of |text| counts,
// an embedded NUL too: pass a BSTR with its own length. A lone surrogate is
// kept here and becomes U+FFFD when the record is converted to UTF-8.
std::wstring escape_platform_text(std::wstring_view text);

}  // namespace kestrum::logging
