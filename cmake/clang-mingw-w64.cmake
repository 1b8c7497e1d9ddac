# The second compiler: Clang for the same Windows x86-64 target as
# cmake/mingw-w64-posix.cmake, with MinGW-w64's headers and libraries and
# GCC's libstdc++ (posix thread model). Used by scripts/analyze.sh; the
# shipped build stays with GCC.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${MINGW_PREFIX})
set(CMAKE_CXX_COMPILER_TARGET ${MINGW_PREFIX})
set(CMAKE_RC_COMPILER ${MINGW_PREFIX}-windres)

# Clang does not find GCC's folder on its own because of its "-posix"
# suffix: name libstdc++'s headers and the GCC runtime libraries explicitly.
set(KESTRUM_MINGW_GCC_DIR /usr/lib/gcc/${MINGW_PREFIX}/12-posix CACHE PATH
    "MinGW-w64 GCC folder holding libstdc++ and libgcc (posix thread model)")
set(CMAKE_CXX_FLAGS_INIT
    "-isystem ${KESTRUM_MINGW_GCC_DIR}/include/c++ -isystem ${KESTRUM_MINGW_GCC_DIR}/include/c++/${MINGW_PREFIX}")
# -pthread puts winpthreads inside the runtime library group, where libgcc's
# thread-local storage emulation needs it. LLVM's linker, because GNU ld
# warns on every type name string Clang emits without GCC's padding.
set(kestrum_clang_link_flags "-fuse-ld=lld -pthread -L${KESTRUM_MINGW_GCC_DIR}")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${kestrum_clang_link_flags}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${kestrum_clang_link_flags}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${kestrum_clang_link_flags}")

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-exec)
