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
# GCC: GNU dlltool --output-delaylib makes a delay-load library from a .def
# written from the list; its thunks call __delayLoadHelper2 from libmingwex.
# Clang and lld: see below. Either helper raises 0xC06D007E should a DLL not
# load; these are the system's own. 32-bit stdcall functions are named Name@N
# in the .def, and --kill-at imports them by their plain name, as the DLLs
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

# Clang links with lld, which puts import address tables into the read-only
# .rdata: the thunks of a GNU delay-load library would fault writing the
# address they looked up (seen under Wine). lld delay-loads on its own
# (--delayload), from import libraries in the short format of llvm-dlltool.
set(kestrum_delay_tool_arguments "")
if(KESTRUM_EDITION STREQUAL "x86")
    set(kestrum_delay_tool_arguments --kill-at)
endif()
if(MSVC)
    set(kestrum_delay_mode msvc)
elseif(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    set(kestrum_delay_mode lld)
    find_program(KESTRUM_LLVM_DLLTOOL NAMES llvm-dlltool DOC "llvm-dlltool (import libraries for lld to delay-load)")
    set(kestrum_delay_machine i386:x86-64)
    if(KESTRUM_EDITION STREQUAL "x86")
        set(kestrum_delay_machine i386)
    endif()
    set(kestrum_delay_tool "${KESTRUM_LLVM_DLLTOOL}")
    list(APPEND kestrum_delay_tool_arguments -m ${kestrum_delay_machine} -d)
    set(kestrum_delay_output_option -l)
else()
    set(kestrum_delay_mode gnu)
    find_program(KESTRUM_GNU_DLLTOOL NAMES ${MINGW_PREFIX}-dlltool DOC "GNU dlltool (makes delay-load import libraries)")
    set(kestrum_delay_tool "${KESTRUM_GNU_DLLTOOL}")
    list(APPEND kestrum_delay_tool_arguments --input-def)
    set(kestrum_delay_output_option --output-delaylib)
endif()
if(NOT MSVC AND NOT kestrum_delay_tool)
    message(WARNING "No dlltool for delay-loading: ${kestrum_delay_loaded_dlls} are imported the ordinary way, "
        "so the watcher loads them at start too")
    set(kestrum_delay_mode "")
endif()

set(kestrum_delay_libraries "")
set(kestrum_delay_dir "${PROJECT_BINARY_DIR}/delay-load")
foreach(dll IN LISTS kestrum_delay_loaded_dlls)
    if(kestrum_delay_mode STREQUAL "gnu" OR kestrum_delay_mode STREQUAL "lld")
        set(def "${kestrum_delay_dir}/${dll}.def")
        set(library_name "lib${dll}_delay.a")
        set(library "${kestrum_delay_dir}/${library_name}")
        # Written only when it changes, so the library is remade only then.
        set(old_def "")
        if(EXISTS "${def}")
            file(READ "${def}" old_def)
        endif()
        if(NOT old_def STREQUAL kestrum_delay_def_${dll})
            file(WRITE "${def}" "${kestrum_delay_def_${dll}}")
        endif()
        # Made in its folder under a relative name: GNU dlltool names its
        # symbols after the output path, which must not depend on the folder.
        add_custom_command(OUTPUT "${library}"
            COMMAND "${kestrum_delay_tool}" ${kestrum_delay_tool_arguments} "${dll}.def"
                    ${kestrum_delay_output_option} "${library_name}"
            WORKING_DIRECTORY "${kestrum_delay_dir}"
            DEPENDS "${def}"
            COMMENT "Import library for delay-loading ${dll}.dll"
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
    foreach(dll IN LISTS kestrum_delay_loaded_dlls)
        if(kestrum_delay_mode STREQUAL "msvc")
            target_link_options(${target} PRIVATE "/DELAYLOAD:${dll}.dll")
        elseif(kestrum_delay_mode STREQUAL "lld")
            target_link_options(${target} PRIVATE "LINKER:--delayload=${dll}.dll")
        endif()
    endforeach()
    if(kestrum_delay_mode STREQUAL "msvc")
        target_link_libraries(${target} PRIVATE delayimp)
    endif()
endfunction()
