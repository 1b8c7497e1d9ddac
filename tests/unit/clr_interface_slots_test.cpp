// Pins the vtable slot of every hosting-interface method Kestrum calls: a
// declaration that lost or gained a method would otherwise call the wrong
// function in a real runtime, which nothing else in the tests would notice.
//
// Each method is called on a probe object whose vtable entry N returns N, so
// the result is the slot the compiler picked. Every probe entry has the exact
// signature of the method called, calling convention included: on 32-bit x86
// a STDMETHODCALLTYPE callee pops its own arguments, so a probe of any other
// signature would unbalance the stack, and one of the wrong convention would
// be the very fault the x86 edition must not have.

#include "platform/clr_interfaces.h"

#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <type_traits>
#include <utility>

namespace {

// More slots than the longest interface declared, so any call lands inside.
constexpr std::size_t probe_slot_count = 64;

template <class Method>
struct method_probe;

template <class Interface, class... Args>
struct method_probe<HRESULT (STDMETHODCALLTYPE Interface::*)(Args...)> {
    using Entry = HRESULT(STDMETHODCALLTYPE*)(Interface*, Args...);

    template <std::size_t Slot>
    static HRESULT STDMETHODCALLTYPE report_slot(Interface*, Args...) {
        return static_cast<HRESULT>(Slot);
    }

    template <std::size_t... Slots>
    static constexpr std::array<Entry, sizeof...(Slots)> vtable(std::index_sequence<Slots...>) {
        return {&report_slot<Slots>...};
    }

    // Laid out as a COM object: a pointer to its vtable and nothing else.
    struct Object {
        const Entry* vtable;
    };

    template <HRESULT (STDMETHODCALLTYPE Interface::*Method)(Args...)>
    static long slot_called() {
        static constexpr auto entries = vtable(std::make_index_sequence<probe_slot_count>{});
        static constinit Object object{entries.data()};
        auto* probe = reinterpret_cast<Interface*>(&object);
        return static_cast<long>((probe->*Method)(std::remove_cvref_t<Args>{}...));
    }
};

// The slot a virtual call of |Method| goes through, with default arguments.
template <auto Method>
long slot_of() {
    return method_probe<decltype(Method)>::template slot_called<Method>();
}

TEST(ClrInterfaceSlots, MetaHostEnumerateLoadedRuntimesIsSlot6) {
    EXPECT_EQ(6, slot_of<&ICLRMetaHost::EnumerateLoadedRuntimes>());
}

TEST(ClrInterfaceSlots, RuntimeInfoGetVersionStringIsSlot3) {
    EXPECT_EQ(3, slot_of<&ICLRRuntimeInfo::GetVersionString>());
}

TEST(ClrInterfaceSlots, RuntimeInfoGetInterfaceIsSlot9) {
    EXPECT_EQ(9, slot_of<&ICLRRuntimeInfo::GetInterface>());
}

TEST(ClrInterfaceSlots, CorRuntimeHostStartIsSlot10) {
    EXPECT_EQ(10, slot_of<&ICorRuntimeHost::Start>());
}

TEST(ClrInterfaceSlots, CorRuntimeHostGetDefaultDomainIsSlot13) {
    EXPECT_EQ(13, slot_of<&ICorRuntimeHost::GetDefaultDomain>());
}

TEST(ClrInterfaceSlots, AppDomainKeepsIDispatchSlotsAfterIUnknown) {
    EXPECT_EQ(3, slot_of<&_AppDomain::GetTypeInfoCount>());
    EXPECT_EQ(6, slot_of<&_AppDomain::Invoke>());
}

TEST(ClrInterfaceSlots, AppDomainGetAssembliesIsSlot57) {
    EXPECT_EQ(57, slot_of<&_AppDomain::GetAssemblies>());
}

TEST(ClrInterfaceSlots, AssemblyGetFullNameIsSlot15) {
    EXPECT_EQ(15, slot_of<&_Assembly::get_FullName>());
}

TEST(ClrInterfaceSlots, AssemblyGetLocationIsSlot28) {
    EXPECT_EQ(28, slot_of<&_Assembly::get_Location>());
}

}  // namespace
