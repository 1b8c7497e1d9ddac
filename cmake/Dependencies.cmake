# fmt 11 and spdlog 1.15, header-only. On Linux hosts scripts/fetch-deps.sh
# unpacks them into third_party/; an MSVC build finds them through vcpkg.
find_package(fmt 11 CONFIG QUIET)
find_package(spdlog 1.15 CONFIG QUIET)

set(KESTRUM_THIRD_PARTY_INCLUDE "${PROJECT_SOURCE_DIR}/third_party/include" CACHE PATH
    "Folder holding the fmt/ and spdlog/ headers when no package config is found")

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
    string(REGEX REPLACE ".* ([0-9]+)$" "\\1" fmt_version "${fmt_version_line}")
    math(EXPR fmt_major "${fmt_version} / 10000")
    if(NOT fmt_major EQUAL 11)
        message(FATAL_ERROR "fmt 11 is required; ${kestrum_inc} holds FMT_VERSION ${fmt_version}")
    endif()
    file(STRINGS "${kestrum_inc}/spdlog/version.h" spdlog_version_lines REGEX "^#define SPDLOG_VER_(MAJOR|MINOR) ")
    string(REGEX MATCH "MAJOR ([0-9]+)" _ "${spdlog_version_lines}")
    set(spdlog_major ${CMAKE_MATCH_1})
    string(REGEX MATCH "MINOR ([0-9]+)" _ "${spdlog_version_lines}")
    set(spdlog_minor ${CMAKE_MATCH_1})
    if(NOT spdlog_major EQUAL 1 OR spdlog_minor LESS 15)
        message(FATAL_ERROR "spdlog 1.15 or later is required; ${kestrum_inc} holds ${spdlog_major}.${spdlog_minor}")
    endif()
    message(STATUS "fmt ${fmt_version}, spdlog ${spdlog_major}.${spdlog_minor} from ${kestrum_inc}")
    target_include_directories(kestrum_spdlog_headers SYSTEM INTERFACE "${kestrum_inc}")
    target_compile_definitions(kestrum_spdlog_headers INTERFACE SPDLOG_FMT_EXTERNAL)
endif()
# Wide format strings are converted to UTF-8 inside the logger; the console
# sink converts back to UTF-16 so any console code page shows the text right.
# spdlog's implementation is compiled once, in logging/spdlog_library.cpp;
# every other file sees only its declarations.
target_compile_definitions(kestrum_spdlog_headers INTERFACE
    FMT_HEADER_ONLY SPDLOG_COMPILED_LIB
    SPDLOG_WCHAR_TO_UTF8_SUPPORT SPDLOG_UTF8_TO_WCHAR_CONSOLE)
