#pragma once

namespace kestrum::platform {

// Keeps the system from showing a modal error box in this process: a DLL
// that cannot be found, a drive that is not ready, a .NET runtime that is not
// installed. Such a box waits for a click that an unattended run never gets,
// and the failure's own code is lost behind a hang. The modes already set (by
// the starting process or a job) are kept.
void keep_error_boxes_away() noexcept;

}  // namespace kestrum::platform
