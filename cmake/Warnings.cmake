# Every first-party target gets the same strict warning set, errors included.
add_library(kestrum_warnings INTERFACE)
if(MSVC)
    target_compile_options(kestrum_warnings INTERFACE /W4 /WX /permissive- /utf-8)
else()
    # No -Wnon-virtual-dtor: COM interfaces have no virtual destructor by design.
    target_compile_options(kestrum_warnings INTERFACE
        -Wall -Wextra -Wpedantic -Werror -Wshadow -Wconversion -Wsign-conversion
        -Wold-style-cast -Woverloaded-virtual)
endif()

# Windows headers: Unicode APIs, no min/max macros, Windows 7 and later.
add_library(kestrum_windows INTERFACE)
target_compile_definitions(kestrum_windows INTERFACE
    UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0601)

# A single self-contained exe: no MinGW runtime DLLs beside it.
if(MINGW)
    set(KESTRUM_STATIC_LINK_OPTIONS -static -static-libgcc -static-libstdc++)
endif()
