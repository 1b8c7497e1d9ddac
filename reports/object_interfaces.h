#pragma once

// What the created add-in object answered when asked for the interfaces
// PowerPoint connects a COM add-in through. Plain data: the activation check
// asks, PowerPoint's view and its conclusion read.

#include <windows.h>

#include <optional>

namespace kestrum::reports {

struct object_interfaces {
    // QueryInterface's answer for IDTExtensibility2; none when no object was
    // created, so that whether it implements it is not known.
    std::optional<HRESULT> extensibility;
    bool ribbon = false;  // it implements IRibbonExtensibility

    bool connects() const noexcept { return extensibility.has_value() && SUCCEEDED(*extensibility); }
};

}  // namespace kestrum::reports
