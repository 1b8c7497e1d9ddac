# Kestrum ships as two editions built from the same sources: kestrum.exe for
# 64-bit PowerPoint and kestrum32.exe for 32-bit PowerPoint, because an
# in-process add-in can only be created by a process of its own bitness.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(KESTRUM_EDITION x86)
    set(KESTRUM_EXE_NAME kestrum32)
    set(KESTRUM_MANIFEST_ARCHITECTURE x86)
else()
    set(KESTRUM_EDITION x64)
    set(KESTRUM_EXE_NAME kestrum)
    set(KESTRUM_MANIFEST_ARCHITECTURE amd64)
endif()
message(STATUS "Kestrum edition: ${KESTRUM_EDITION} (${KESTRUM_EXE_NAME}.exe)")

# A MinGW x86-64 build also builds the 32-bit edition, in its own tree below
# this one (x86/), with the i686 toolchain and the same options.
set(KESTRUM_X86_BUILD_DIR "${PROJECT_BINARY_DIR}/x86")
if(MINGW AND KESTRUM_EDITION STREQUAL "x64")
    option(KESTRUM_BUILD_X86_EDITION "Also build kestrum32.exe (needs i686-w64-mingw32-g++-posix)" ON)
else()
    set(KESTRUM_BUILD_X86_EDITION OFF)
endif()

if(KESTRUM_BUILD_X86_EDITION)
    include(ExternalProject)
    ExternalProject_Add(kestrum_x86_edition
        SOURCE_DIR "${PROJECT_SOURCE_DIR}"
        BINARY_DIR "${KESTRUM_X86_BUILD_DIR}"
        PREFIX "${PROJECT_BINARY_DIR}/x86-edition"
        CMAKE_GENERATOR "${CMAKE_GENERATOR}"
        CMAKE_ARGS
            "-DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-w64-i686-posix.cmake"
            "-DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}"
            "-DKESTRUM_BUILD_TESTS=${KESTRUM_BUILD_TESTS}"
            "-DKESTRUM_BUILD_UNIT_TESTS=${KESTRUM_BUILD_UNIT_TESTS}"
            "-DKESTRUM_THIRD_PARTY_INCLUDE=${KESTRUM_THIRD_PARTY_INCLUDE}"
        INSTALL_COMMAND ""
        # The sub-build tracks its own sources; always ask it.
        BUILD_ALWAYS ON
        USES_TERMINAL_CONFIGURE ON
        USES_TERMINAL_BUILD ON)
    if(KESTRUM_BUILD_TESTS)
        # scripts/run.sh --x86: the x86 tree's main job only (tests/CMakeLists.txt),
        # in the tree configured as above.
        ExternalProject_Add_StepTargets(kestrum_x86_edition configure)
        add_custom_target(kestrum_x86_main_job
            COMMAND ${CMAKE_COMMAND} --build "${KESTRUM_X86_BUILD_DIR}" --target kestrum_main_job
            USES_TERMINAL)
        add_dependencies(kestrum_x86_main_job kestrum_x86_edition-configure)
    endif()
endif()

# 32-bit DLLs: the .def files name the undecorated exports COM and kestrum look
# up (DllGetClassObject, CLRCreateInstance); the linker binds them to the
# stdcall symbols (DllGetClassObject@12). Said here, so it does so silently.
set(KESTRUM_DLL_LINK_OPTIONS "")
if(MINGW AND KESTRUM_EDITION STREQUAL "x86")
    set(KESTRUM_DLL_LINK_OPTIONS -Wl,--enable-stdcall-fixup)
endif()
