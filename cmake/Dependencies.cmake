# fmt 11 and spdlog 1.15, header-only. On Linux hosts scripts/fetch-deps.sh
# unpacks the Debian packages that cmake/third_party.pin names into
# third_party/; an MSVC build finds them through vcpkg.
find_package(fmt 11 CONFIG QUIET)
find_package(spdlog 1.15 CONFIG QUIET)

set(KESTRUM_THIRD_PARTY_INCLUDE "${PROJECT_SOURCE_DIR}/third_party/include" CACHE PATH
    "Folder holding the fmt/ and spdlog/ headers when no package config is found")

# cmake/third_party.pin names the exact Debian packages the headers must come
# from (PACKAGE VERSION SHA256 SERIES); scripts/fetch-deps.sh records what it
# really unpacked in third_party/.complete. Anything else in the pinned series
# builds, with a warning, since a release is made from the pinned packages only
# (scripts/package.sh refuses the rest); anything outside the series is an
# error, as the code is written against that series.
function(kestrum_check_pin include_dir fmt_version spdlog_version)
    set(pin "${PROJECT_SOURCE_DIR}/cmake/third_party.pin")
    # include/ is a symbolic link into the unpacked tree: its parent by name,
    # not by the file system.
    cmake_path(GET include_dir PARENT_PATH third_party)
    set(stamp "${third_party}/.complete")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${pin}")
    set(stamp_lines "")
    if(EXISTS "${stamp}")
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${stamp}")
        file(STRINGS "${stamp}" stamp_lines REGEX "^unpacked ")
    endif()

    set(field "[ \t]+([^ \t]+)")
    file(STRINGS "${pin}" pin_lines REGEX "^[ \t]*[^# \t]")
    foreach(line IN LISTS pin_lines)
        if(NOT line MATCHES "^[ \t]*([^ \t]+)${field}[ \t]+([0-9a-f]+)[ \t]+([0-9.]+)[ \t]*$")
            message(FATAL_ERROR "${pin}: expected PACKAGE VERSION SHA256 SERIES, found: ${line}")
        endif()
        set(package "${CMAKE_MATCH_1}")
        set(version "${CMAKE_MATCH_2}")
        set(sha "${CMAKE_MATCH_3}")
        set(series "${CMAKE_MATCH_4}")
        if(package STREQUAL "libfmt-dev")
            set(library fmt)
            set(have "${fmt_version}")
        elseif(package STREQUAL "libspdlog-dev")
            set(library spdlog)
            set(have "${spdlog_version}")
        else()
            message(FATAL_ERROR "${pin} names ${package}, which the build does not use")
        endif()
        # The upstream version in the Debian one: 1:1.15.3+ds-1+b3 gives 1.15.3.
        string(REGEX REPLACE "^[0-9]+:" "" pinned "${version}")
        string(REGEX REPLACE "-[^-]*$" "" pinned "${pinned}")
        string(REGEX REPLACE "[+~].*$" "" pinned "${pinned}")

        string(REPLACE "." "\\." series_pattern "${series}")
        if(NOT have MATCHES "^${series_pattern}(\\.|$)")
            message(FATAL_ERROR "${library} ${series} is required (${pin} pins ${package} ${version}); "
                "${include_dir} holds ${library} ${have}: run scripts/fetch-deps.sh")
        endif()
        set(source "no package recorded (${stamp})")
        foreach(unpacked IN LISTS stamp_lines)
            if(NOT unpacked MATCHES "^unpacked ([^ ]+) ([^ ]+) ([0-9a-f]+)$" OR NOT CMAKE_MATCH_1 STREQUAL package)
                continue()
            endif()
            if(CMAKE_MATCH_2 STREQUAL version AND CMAKE_MATCH_3 STREQUAL sha)
                set(source "")
            elseif(CMAKE_MATCH_2 STREQUAL version)
                set(source "a .deb of ${package} ${version} whose SHA-256 is not the pinned one")
            else()
                set(source "Debian ${package} ${CMAKE_MATCH_2}")
            endif()
        endforeach()
        if(source STREQUAL "" AND have STREQUAL pinned)
            message(STATUS "${library} ${have} from Debian ${package} ${version}, as pinned")
        else()
            if(source STREQUAL "")
                set(source "headers other than those of the unpacked ${package} ${version}")
            endif()
            message(WARNING "${include_dir} holds ${library} ${have} from ${source}, not the pinned "
                "Debian ${package} ${version} (${library} ${pinned}). Fine for a development build, but "
                "scripts/package.sh makes no release from it. To move the pin to what Debian offers now: "
                "scripts/fetch-deps.sh --update-pin")
        endif()
    endforeach()
endfunction()

add_library(kestrum_spdlog_headers INTERFACE)
if(fmt_FOUND AND spdlog_FOUND)
    target_link_libraries(kestrum_spdlog_headers INTERFACE fmt::fmt-header-only spdlog::spdlog_header_only)
    set(kestrum_fmt_version_header "")
else()
    set(kestrum_inc "${KESTRUM_THIRD_PARTY_INCLUDE}")
    if(NOT EXISTS "${kestrum_inc}/fmt/base.h" OR NOT EXISTS "${kestrum_inc}/spdlog/version.h")
        message(FATAL_ERROR "fmt 11 and spdlog 1.15 headers not found in ${kestrum_inc}: run scripts/fetch-deps.sh")
    endif()
    file(STRINGS "${kestrum_inc}/fmt/base.h" fmt_version_line REGEX "^#define FMT_VERSION [0-9]+")
    string(REGEX REPLACE ".* ([0-9]+)$" "\\1" fmt_number "${fmt_version_line}")
    math(EXPR fmt_major "${fmt_number} / 10000")
    math(EXPR fmt_minor "${fmt_number} / 100 % 100")
    math(EXPR fmt_patch "${fmt_number} % 100")
    file(STRINGS "${kestrum_inc}/spdlog/version.h" spdlog_version_lines REGEX "^#define SPDLOG_VER_(MAJOR|MINOR|PATCH) ")
    foreach(part MAJOR MINOR PATCH)
        string(REGEX MATCH "${part} ([0-9]+)" _ "${spdlog_version_lines}")
        set(spdlog_${part} ${CMAKE_MATCH_1})
    endforeach()
    kestrum_check_pin("${kestrum_inc}"
        "${fmt_major}.${fmt_minor}.${fmt_patch}" "${spdlog_MAJOR}.${spdlog_MINOR}.${spdlog_PATCH}")
    target_include_directories(kestrum_spdlog_headers SYSTEM INTERFACE "${kestrum_inc}")
    target_compile_definitions(kestrum_spdlog_headers INTERFACE SPDLOG_FMT_EXTERNAL)
endif()
# Wide format strings are converted to UTF-8 inside the logger; a console is
# written in UTF-16 so any console code page shows the text right. No record
# shows a thread id, so none is looked up for each one (through emulated
# thread-local storage under MinGW). spdlog's implementation is compiled
# once, in logging/spdlog_library.cpp; every other file sees only its
# declarations.
target_compile_definitions(kestrum_spdlog_headers INTERFACE
    FMT_HEADER_ONLY SPDLOG_COMPILED_LIB
    SPDLOG_WCHAR_TO_UTF8_SUPPORT SPDLOG_UTF8_TO_WCHAR_CONSOLE SPDLOG_NO_THREAD_ID)
