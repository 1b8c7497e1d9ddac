// Pins the vtable slot of every hosting-interface method Kestrum calls: a
// declaration that lost or gained a method would otherwise call the wrong
// function in a real runtime, which nothing else in the tests would notice.
//
// Each method is called on a probe object whose vtable entry N returns N, so
// the result is the slot the compiler picked. One probe signature serves all
// methods because on 64-bit Windows the caller owns the argument space: a
// callee that ignores some arguments leaves nothing unbalanced. (On 32-bit
// x86 the callee pops its stdcall arguments, which would not hold.)

#include "platform/clr_interfaces.h"

#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <utility>

namespace {

static_assert(sizeof(void*) == 8, "the slot probe relies on the 64-bit calling convention");

using SlotProbe = HRESULT(STDMETHODCALLTYPE*)(void*);

template <std::size_t Slot>
HRESULT STDMETHODCALLTYPE report_slot(void*) {
    return static_cast<HRESULT>(Slot);
}

template <std::size_t... Slots>
constexpr std::array<SlotProbe, sizeof...(Slots)> probe_vtable(std::index_sequence<Slots...>) {
    return {&report_slot<Slots>...};
}

// More slots than the longest interface declared, so any call lands inside.
constexpr auto probe_slots = probe_vtable(std::make_index_sequence<64>{});

// Laid out as a COM object: a pointer to its vtable and nothing else.
// Constant-initialised, so no store to it can be reordered past a call.
struct ProbeObject {
    const SlotProbe* vtable;
};
constinit ProbeObject probe_object{probe_slots.data()};

template <class Interface, class Call>
long slot_called_by(Call call) {
    return static_cast<long>(call(reinterpret_cast<Interface*>(&probe_object)));
}

TEST(ClrInterfaceSlots, MetaHostEnumerateLoadedRuntimesIsSlot6) {
    EXPECT_EQ(6, slot_called_by<ICLRMetaHost>([](ICLRMetaHost* meta_host) {
                  return meta_host->EnumerateLoadedRuntimes(nullptr, nullptr);
              }));
}

TEST(ClrInterfaceSlots, RuntimeInfoGetVersionStringIsSlot3) {
    EXPECT_EQ(3, slot_called_by<ICLRRuntimeInfo>([](ICLRRuntimeInfo* runtime) {
                  return runtime->GetVersionString(nullptr, nullptr);
              }));
}

TEST(ClrInterfaceSlots, RuntimeInfoGetInterfaceIsSlot9) {
    EXPECT_EQ(9, slot_called_by<ICLRRuntimeInfo>([](ICLRRuntimeInfo* runtime) {
                  return runtime->GetInterface(kestrum::platform::CLSID_CorRuntimeHost,
                                               kestrum::platform::IID_ICorRuntimeHost, nullptr);
              }));
}

TEST(ClrInterfaceSlots, CorRuntimeHostStartIsSlot10) {
    EXPECT_EQ(10, slot_called_by<ICorRuntimeHost>([](ICorRuntimeHost* host) { return host->Start(); }));
}

TEST(ClrInterfaceSlots, CorRuntimeHostGetDefaultDomainIsSlot13) {
    EXPECT_EQ(13, slot_called_by<ICorRuntimeHost>([](ICorRuntimeHost* host) {
                  return host->GetDefaultDomain(nullptr);
              }));
}

TEST(ClrInterfaceSlots, AppDomainKeepsIDispatchSlotsAfterIUnknown) {
    EXPECT_EQ(3, slot_called_by<_AppDomain>([](_AppDomain* domain) {
                  return domain->GetTypeInfoCount(nullptr);
              }));
    EXPECT_EQ(6, slot_called_by<_AppDomain>([](_AppDomain* domain) {
                  return domain->Invoke(0, IID_NULL, 0, 0, nullptr, nullptr, nullptr, nullptr);
              }));
}

TEST(ClrInterfaceSlots, AppDomainGetAssembliesIsSlot57) {
    EXPECT_EQ(57, slot_called_by<_AppDomain>([](_AppDomain* domain) {
                  return domain->GetAssemblies(nullptr);
              }));
}

TEST(ClrInterfaceSlots, AssemblyGetFullNameIsSlot15) {
    EXPECT_EQ(15, slot_called_by<_Assembly>([](_Assembly* assembly) {
                  return assembly->get_FullName(nullptr);
              }));
}

TEST(ClrInterfaceSlots, AssemblyGetLocationIsSlot28) {
    EXPECT_EQ(28, slot_called_by<_Assembly>([](_Assembly* assembly) {
                  return assembly->get_Location(nullptr);
              }));
}

}  // namespace
