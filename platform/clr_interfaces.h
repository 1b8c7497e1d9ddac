#pragma once

// The .NET Framework hosting interfaces Kestrum walks to list the runtimes and
// assemblies loaded in its own process. MinGW-w64 ships no metahost.h, and the
// mscorlib interfaces _AppDomain and _Assembly come from no header at all (only
// from mscorlib's type library), so they are declared here with the vtable
// layout the platform publishes. Only the vtable order matters for calling
// them; the slot positions are pinned by tests/unit/clr_interface_slots_test.

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <mscoree.h>

// NOLINTBEGIN(bugprone-reserved-identifier, cppcoreguidelines-virtual-class-destructor, readability-identifier-naming): the platform's own names and COM's own shapes
namespace kestrum::platform {

inline constexpr GUID CLSID_CLRMetaHost{0x9280188D, 0x0E8E, 0x4867, {0xB3, 0x0C, 0x7F, 0xA8, 0x38, 0x84, 0xE8, 0xDE}};
inline constexpr GUID IID_ICLRMetaHost{0xD332DB9E, 0xB9B3, 0x4125, {0x82, 0x07, 0xA1, 0x48, 0x84, 0xF5, 0x32, 0x16}};
inline constexpr GUID IID_ICLRRuntimeInfo{0xBD39D1D2, 0xBA2F, 0x486A, {0x89, 0xB0, 0xB4, 0xB0, 0xCB, 0x46, 0x68, 0x91}};
inline constexpr GUID CLSID_CorRuntimeHost{
    0xCB2F6723, 0xAB3A, 0x11D2, {0x9C, 0x40, 0x00, 0xC0, 0x4F, 0xA3, 0x0A, 0x3E}};
inline constexpr GUID IID_ICorRuntimeHost{0xCB2F6722, 0xAB3A, 0x11D2, {0x9C, 0x40, 0x00, 0xC0, 0x4F, 0xA3, 0x0A, 0x3E}};
inline constexpr GUID IID__AppDomain{0x05F696DC, 0x2B29, 0x3663, {0xAD, 0x8B, 0xC4, 0x38, 0x9C, 0xF2, 0xA7, 0x13}};
inline constexpr GUID IID__Assembly{0x17156360, 0x2F1A, 0x384A, {0xBC, 0x52, 0xFD, 0xE9, 0x3C, 0x21, 0x5C, 0x5B}};

// mscoree.dll is loaded at run time (MinGW has no import library for it), so
// its one entry point is needed as a function pointer type.
using CLRCreateInstanceFunction = HRESULT(STDAPICALLTYPE*)(REFCLSID clsid, REFIID riid, LPVOID* interface_out);

}  // namespace kestrum::platform

// Laid out as the SDK's MIDL-generated headers are; clang-format cannot read
// them, as MIDL_INTERFACE hides the "struct" it declares.
// clang-format off

// COM objects are destroyed by their own Release, never through a pointer to
// an interface, so interfaces have no virtual destructor by design.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
#endif

// The guards are the ones MIDL generates for metahost.h, so an MSVC build that
// also sees the SDK's metahost.h keeps a single (identical) declaration.
#ifndef __ICLRRuntimeInfo_FWD_DEFINED__
#define __ICLRRuntimeInfo_FWD_DEFINED__
struct ICLRRuntimeInfo;
#endif

typedef HRESULT(WINAPI* CallbackThreadSetFnPtr)();
typedef HRESULT(WINAPI* CallbackThreadUnsetFnPtr)();
typedef void(WINAPI* RuntimeLoadedCallbackFnPtr)(ICLRRuntimeInfo* pRuntimeInfo,
                                                    CallbackThreadSetFnPtr pfnCallbackThreadSet,
                                                    CallbackThreadUnsetFnPtr pfnCallbackThreadUnset);

#ifndef __ICLRMetaHost_INTERFACE_DEFINED__
#define __ICLRMetaHost_INTERFACE_DEFINED__
MIDL_INTERFACE("D332DB9E-B9B3-4125-8207-A14884F53216")
ICLRMetaHost : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE GetRuntime(LPCWSTR pwzVersion, REFIID riid,
                                                 LPVOID* ppRuntime) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetVersionFromFile(LPCWSTR pwzFilePath, LPWSTR pwzBuffer,
                                                         DWORD* pcchBuffer) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumerateInstalledRuntimes(IEnumUnknown** ppEnumerator) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumerateLoadedRuntimes(HANDLE hndProcess,
                                                              IEnumUnknown** ppEnumerator) = 0;
    virtual HRESULT STDMETHODCALLTYPE RequestRuntimeLoadedNotification(
        RuntimeLoadedCallbackFnPtr pCallbackFunction) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryLegacyV2RuntimeBinding(REFIID riid, LPVOID* ppUnk) = 0;
    virtual HRESULT STDMETHODCALLTYPE ExitProcess(INT32 iExitCode) = 0;
};
#endif

#ifndef __ICLRRuntimeInfo_INTERFACE_DEFINED__
#define __ICLRRuntimeInfo_INTERFACE_DEFINED__
// As in the SDK's own header, windows.h's LoadLibrary macro renames the
// method (to LoadLibraryW under UNICODE) alike for callers and implementers;
// only its slot matters.
MIDL_INTERFACE("BD39D1D2-BA2F-486A-89B0-B4B0CB466891")
ICLRRuntimeInfo : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE GetVersionString(LPWSTR pwzBuffer, DWORD* pcchBuffer) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRuntimeDirectory(LPWSTR pwzBuffer, DWORD* pcchBuffer) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsLoaded(HANDLE hndProcess, BOOL* pbLoaded) = 0;
    virtual HRESULT STDMETHODCALLTYPE LoadErrorString(UINT iResourceID, LPWSTR pwzBuffer,
                                                      DWORD* pcchBuffer, LONG iLocaleID) = 0;
    virtual HRESULT STDMETHODCALLTYPE LoadLibrary(LPCWSTR pwzDllName, HMODULE* phndModule) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetProcAddress(LPCSTR pszProcName, LPVOID* ppProc) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetInterface(REFCLSID rclsid, REFIID riid,
                                                   LPVOID* ppUnk) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsLoadable(BOOL* pbLoadable) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetDefaultStartupFlags(DWORD dwStartupFlags,
                                                             LPCWSTR pwzHostConfigFile) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDefaultStartupFlags(DWORD* pdwStartupFlags,
                                                             LPWSTR pwzHostConfigFile,
                                                             DWORD* pcchHostConfigFile) = 0;
    virtual HRESULT STDMETHODCALLTYPE BindAsLegacyV2Runtime() = 0;
    virtual HRESULT STDMETHODCALLTYPE IsStarted(BOOL* pbStarted, DWORD* pdwStartupFlags) = 0;
};
#endif

// mscorlib's _AppDomain and _Assembly as its type library lays them out:
// methods named as the type library names them, [out, retval] results as the
// last parameter. mscorlib's own interface types (_Type, _Evidence,
// _AssemblyName, ...) appear as IUnknown and its enums as long, which keeps
// every slot the same size and place. Both interfaces go on past the last
// method declared here; Kestrum never calls further, and a vtable prefix is all
// a caller needs.

// Derives from IUnknown although it repeats IDispatch's four methods: that is
// how mscorlib exports it (InterfaceIsIUnknown with the IDispatch slots kept).
MIDL_INTERFACE("05F696DC-2B29-3663-AD8B-C4389CF2A713")
_AppDomain : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pcTInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID lcid,
                                                  ITypeInfo** ppTInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames,
                                                    LCID lcid, DISPID* rgDispId) = 0;
    virtual HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid,
                                             WORD wFlags, DISPPARAMS* pDispParams,
                                             VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                                             UINT* puArgErr) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ToString(BSTR* pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE Equals(VARIANT other, VARIANT_BOOL* pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetHashCode(long* pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetType(IUnknown** pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE InitializeLifetimeService(VARIANT* pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetLifetimeService(VARIANT* pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Evidence(IUnknown** pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE add_DomainUnload(IUnknown* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE remove_DomainUnload(IUnknown* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE add_AssemblyLoad(IUnknown* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE remove_AssemblyLoad(IUnknown* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE add_ProcessExit(IUnknown* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE remove_ProcessExit(IUnknown* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE add_TypeResolve(IUnknown* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE remove_TypeResolve(IUnknown* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE add_ResourceResolve(IUnknown* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE remove_ResourceResolve(IUnknown* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE add_AssemblyResolve(IUnknown* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE remove_AssemblyResolve(IUnknown* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE add_UnhandledException(IUnknown* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE remove_UnhandledException(IUnknown* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE DefineDynamicAssembly(IUnknown* name, long access,
                                                            IUnknown** pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE DefineDynamicAssembly_2(IUnknown* name, long access,
                                                              BSTR dir, IUnknown** pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE DefineDynamicAssembly_3(IUnknown* name, long access,
                                                              IUnknown* evidence,
                                                              IUnknown** pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE DefineDynamicAssembly_4(
        IUnknown* name, long access, IUnknown* requiredPermissions,
        IUnknown* optionalPermissions, IUnknown* refusedPermissions, IUnknown** pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE DefineDynamicAssembly_5(IUnknown* name, long access,
                                                              BSTR dir, IUnknown* evidence,
                                                              IUnknown** pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE DefineDynamicAssembly_6(
        IUnknown* name, long access, BSTR dir, IUnknown* requiredPermissions,
        IUnknown* optionalPermissions, IUnknown* refusedPermissions, IUnknown** pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE DefineDynamicAssembly_7(
        IUnknown* name, long access, IUnknown* evidence, IUnknown* requiredPermissions,
        IUnknown* optionalPermissions, IUnknown* refusedPermissions, IUnknown** pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE DefineDynamicAssembly_8(
        IUnknown* name, long access, BSTR dir, IUnknown* evidence,
        IUnknown* requiredPermissions, IUnknown* optionalPermissions,
        IUnknown* refusedPermissions, IUnknown** pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE DefineDynamicAssembly_9(
        IUnknown* name, long access, BSTR dir, IUnknown* evidence,
        IUnknown* requiredPermissions, IUnknown* optionalPermissions,
        IUnknown* refusedPermissions, VARIANT_BOOL isSynchronized, IUnknown** pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateInstance(BSTR assemblyName, BSTR typeName,
                                                     IUnknown** pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateInstanceFrom(BSTR assemblyFile, BSTR typeName,
                                                         IUnknown** pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateInstance_2(BSTR assemblyName, BSTR typeName,
                                                       SAFEARRAY* activationAttributes,
                                                       IUnknown** pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateInstanceFrom_2(BSTR assemblyFile, BSTR typeName,
                                                           SAFEARRAY* activationAttributes,
                                                           IUnknown** pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateInstance_3(
        BSTR assemblyName, BSTR typeName, VARIANT_BOOL ignoreCase, long bindingAttr,
        IUnknown* binder, SAFEARRAY* args, IUnknown* culture, SAFEARRAY* activationAttributes,
        IUnknown* securityAttributes, IUnknown** pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateInstanceFrom_3(
        BSTR assemblyFile, BSTR typeName, VARIANT_BOOL ignoreCase, long bindingAttr,
        IUnknown* binder, SAFEARRAY* args, IUnknown* culture, SAFEARRAY* activationAttributes,
        IUnknown* securityAttributes, IUnknown** pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE Load(IUnknown* assemblyRef, IUnknown** pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE Load_2(BSTR assemblyString, IUnknown** pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE Load_3(SAFEARRAY* rawAssembly, IUnknown** pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE Load_4(SAFEARRAY* rawAssembly, SAFEARRAY* rawSymbolStore,
                                             IUnknown** pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE Load_5(SAFEARRAY* rawAssembly, SAFEARRAY* rawSymbolStore,
                                             IUnknown* securityEvidence,
                                             IUnknown** pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE Load_6(IUnknown* assemblyRef, IUnknown* assemblySecurity,
                                             IUnknown** pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE Load_7(BSTR assemblyString, IUnknown* assemblySecurity,
                                             IUnknown** pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE ExecuteAssembly(BSTR assemblyFile,
                                                      IUnknown* assemblySecurity,
                                                      long* pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE ExecuteAssembly_2(BSTR assemblyFile, long* pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE ExecuteAssembly_3(BSTR assemblyFile,
                                                        IUnknown* assemblySecurity,
                                                        SAFEARRAY* args, long* pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_FriendlyName(BSTR* pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_BaseDirectory(BSTR* pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_RelativeSearchPath(BSTR* pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ShadowCopyFiles(VARIANT_BOOL* pRetVal) = 0;
    // A SAFEARRAY of _Assembly pointers, which the caller destroys.
    virtual HRESULT STDMETHODCALLTYPE GetAssemblies(SAFEARRAY** pRetVal) = 0;
};

// A dual interface: its first seven slots are IDispatch's.
MIDL_INTERFACE("17156360-2F1A-384A-BC52-FDE93C215C5B")
_Assembly : public IDispatch
{
    virtual HRESULT STDMETHODCALLTYPE get_ToString(BSTR* pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE Equals(VARIANT other, VARIANT_BOOL* pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetHashCode(long* pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetType(IUnknown** pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_CodeBase(BSTR* pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_EscapedCodeBase(BSTR* pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetName(IUnknown** pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetName_2(VARIANT_BOOL copiedName, IUnknown** pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_FullName(BSTR* pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_EntryPoint(IUnknown** pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetType_2(BSTR name, IUnknown** pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetType_3(BSTR name, VARIANT_BOOL throwOnError,
                                                IUnknown** pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetExportedTypes(SAFEARRAY** pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTypes(SAFEARRAY** pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetManifestResourceStream(IUnknown* type, BSTR name,
                                                                IUnknown** pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetManifestResourceStream_2(BSTR name,
                                                                  IUnknown** pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFile(BSTR name, IUnknown** pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFiles(SAFEARRAY** pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFiles_2(VARIANT_BOOL getResourceModules,
                                                 SAFEARRAY** pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetManifestResourceNames(SAFEARRAY** pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetManifestResourceInfo(BSTR resourceName,
                                                              IUnknown** pRetVal) = 0;
    // Fails with COR_E_NOTSUPPORTED (0x80131515) for a dynamic assembly.
    virtual HRESULT STDMETHODCALLTYPE get_Location(BSTR* pRetVal) = 0;
};

#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
// clang-format on
// NOLINTEND(bugprone-reserved-identifier, cppcoreguidelines-virtual-class-destructor, readability-identifier-naming)
