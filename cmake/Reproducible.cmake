# The same commit must give the same bytes, whichever folder it is built in
# and whenever: no build folder in the binaries and no link time stamp.
if(MINGW)
    # __FILE__ and any other recorded path name the source and build trees
    # (and headers fetched outside them) by fixed names.
    add_compile_options(
        "-ffile-prefix-map=${PROJECT_SOURCE_DIR}=/kestrum"
        "-ffile-prefix-map=${PROJECT_BINARY_DIR}=/kestrum-build"
        "-ffile-prefix-map=${KESTRUM_THIRD_PARTY_INCLUDE}=/third_party")
    # The PE header's TimeDateStamp would otherwise be the link time.
    add_link_options(-Wl,--no-insert-timestamp)
endif()

# No symbol table or debug sections in release binaries: nothing reads them on
# the customer's machine, and the MinGW runtime's debug sections would carry
# the paths of the machine that built it.
if(MINGW)
    add_link_options($<$<NOT:$<CONFIG:Debug>>:-s>)
endif()
