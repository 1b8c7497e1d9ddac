// The hosting GUIDs are typed in as numbers; each is checked against its
// registry text, where a transposed byte would be easy to see.

#include "platform/clr_interfaces.h"

#include <gtest/gtest.h>

namespace {

GUID parsed(const wchar_t* text) {
    GUID guid{};
    EXPECT_EQ(S_OK, ::IIDFromString(text, &guid)) << "not a GUID";
    return guid;
}

// Qualified throughout: mscoree.h declares the ICorRuntimeHost GUIDs at global
// scope too.
namespace platform = kestrum::platform;

TEST(ClrInterfaceIds, MatchTheirRegistryText) {
    EXPECT_EQ(parsed(L"{9280188D-0E8E-4867-B30C-7FA83884E8DE}"), platform::CLSID_CLRMetaHost);
    EXPECT_EQ(parsed(L"{D332DB9E-B9B3-4125-8207-A14884F53216}"), platform::IID_ICLRMetaHost);
    EXPECT_EQ(parsed(L"{BD39D1D2-BA2F-486A-89B0-B4B0CB466891}"), platform::IID_ICLRRuntimeInfo);
    EXPECT_EQ(parsed(L"{CB2F6723-AB3A-11D2-9C40-00C04FA30A3E}"), platform::CLSID_CorRuntimeHost);
    EXPECT_EQ(parsed(L"{CB2F6722-AB3A-11D2-9C40-00C04FA30A3E}"), platform::IID_ICorRuntimeHost);
    EXPECT_EQ(parsed(L"{05F696DC-2B29-3663-AD8B-C4389CF2A713}"), platform::IID__AppDomain);
    EXPECT_EQ(parsed(L"{17156360-2F1A-384A-BC52-FDE93C215C5B}"), platform::IID__Assembly);
}

}  // namespace
