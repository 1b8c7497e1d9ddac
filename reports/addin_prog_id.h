#pragma once

namespace kestrum::reports {

// The add-in this tool is about: the ProgID its installer registers, which the
// activation check creates and every report reads the registration of.
inline constexpr wchar_t addin_prog_id[] = L"Pexlo.PowerPoint.Addin";

}  // namespace kestrum::reports
