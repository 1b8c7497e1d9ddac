# The system DLLs only the worker calls (platform/delay_loaded_imports.txt)
# are delay-loaded by the programs that run the checks: the watcher, the same
# exe, then starts without them, and they are loaded in the worker on the
# first call into each. Under Wine a process importing ole32 and oleaut32
# spends about 70 ms before main on them and what they pull in.
#
# kestrum_system_imports is what kestrum_platform links for those DLLs. A
# program marked with kestrum_delay_load_imports(TARGET) gets them
# delay-loaded; every other one (the unit tests, the durable floor) imports
# them the ordinary way. Behind each delay-load library comes the ordinary
# import library, for a function the list does not name.
#
# MinGW-w64 (GCC and Clang with lld): dlltool --output-delaylib makes the
# delay-load library from a .def written from the list; the thunks in it call
# __delayLoadHelper2 from libmingwex. 32-bit stdcall functions are named
# Name@N there, and --kill-at imports them by their plain name, as the DLLs
# export them. MSVC: /DELAYLOAD with delayimp.lib.
set(KESTRUM_DELAY_LOADED_LIST "${PROJECT_SOURCE_DIR}/platform/delay_loaded_imports.txt")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${KESTRUM_DELAY_LOADED_LIST}")

set(kestrum_delay_loaded_dlls "")
file(STRINGS "${KESTRUM_DELAY_LOADED_LIST}" kestrum_delay_loaded_lines REGEX "^[ \t]*[^# \t]")
foreach(line IN LISTS kestrum_delay_loaded_lines)
    if(NOT line MATCHES "^[ \t]*([A-Za-z0-9_]+)\\.dll[ \t]+([A-Za-z0-9_]+)[ \t]+([0-9]+)[ \t]*$")
        message(FATAL_ERROR "${KESTRUM_DELAY_LOADED_LIST}: expected DLL FUNCTION ARGUMENT_BYTES, found: ${line}")
    endif()
    set(dll "${CMAKE_MATCH_1}")
    set(export "${CMAKE_MATCH_2}")
    if(KESTRUM_EDITION STREQUAL "x86")
        string(APPEND export "@${CMAKE_MATCH_3}")
    endif()
    if(NOT dll IN_LIST kestrum_delay_loaded_dlls)
        list(APPEND kestrum_delay_loaded_dlls "${dll}")
        set(kestrum_delay_def_${dll} "LIBRARY ${dll}.dll\nEXPORTS\n")
    endif()
    string(APPEND kestrum_delay_def_${dll} "${export}\n")
endforeach()

add_library(kestrum_system_imports INTERFACE)

if(NOT MSVC)
    find_program(KESTRUM_DLLTOOL NAMES ${MINGW_PREFIX}-dlltool dlltool
        DOC "GNU dlltool for the target (makes the delay-load import libraries)")
    if(NOT KESTRUM_DLLTOOL)
        message(WARNING "No ${MINGW_PREFIX}-dlltool: ${kestrum_delay_loaded_dlls} are imported the ordinary way, "
            "so the watcher loads them at start too")
    endif()
endif()

set(kestrum_delay_libraries "")
set(kestrum_delay_dir "${PROJECT_BINARY_DIR}/delay-load")
foreach(dll IN LISTS kestrum_delay_loaded_dlls)
    if(KESTRUM_DLLTOOL)
        set(def "${kestrum_delay_dir}/${dll}.def")
        set(library "${kestrum_delay_dir}/lib${dll}_delay.a")
        # Written only when it changes, so the library is remade only then.
        set(old_def "")
        if(EXISTS "${def}")
            file(READ "${def}" old_def)
        endif()
        if(NOT old_def STREQUAL kestrum_delay_def_${dll})
            file(WRITE "${def}" "${kestrum_delay_def_${dll}}")
        endif()
        set(kill_at "")
        if(KESTRUM_EDITION STREQUAL "x86")
            set(kill_at --kill-at)
        endif()
        add_custom_command(OUTPUT "${library}"
            COMMAND "${KESTRUM_DLLTOOL}" ${kill_at} --input-def "${def}" --output-delaylib "${library}"
            DEPENDS "${def}"
            COMMENT "Delay-load import library for ${dll}.dll"
            VERBATIM)
        list(APPEND kestrum_delay_libraries "${library}")
        target_link_libraries(kestrum_system_imports INTERFACE
            "$<$<BOOL:$<TARGET_PROPERTY:KESTRUM_DELAY_LOAD>>:${library}>")
    endif()
    target_link_libraries(kestrum_system_imports INTERFACE ${dll})
endforeach()
if(kestrum_delay_libraries)
    add_custom_target(kestrum_delay_import_libraries DEPENDS ${kestrum_delay_libraries})
    add_dependencies(kestrum_system_imports kestrum_delay_import_libraries)
endif()

function(kestrum_delay_load_imports target)
    set_target_properties(${target} PROPERTIES KESTRUM_DELAY_LOAD ON)
    if(MSVC)
        foreach(dll IN LISTS kestrum_delay_loaded_dlls)
            target_link_options(${target} PRIVATE "/DELAYLOAD:${dll}.dll")
        endforeach()
        target_link_libraries(${target} PRIVATE delayimp)
    endif()
endfunction()
