# How the images are built to cost little. Nothing here changes what the code
# does.

if(MINGW)
    # Sections start on page boundaries in the file too. Wine maps such a
    # section straight from the file; any other it reads whole into memory at
    # every start, about 3 ms per megabyte here, paid by the watcher and the
    # worker alike. Windows maps either kind; the images only grow by their
    # padding.
    add_link_options(-Wl,--file-alignment,0x1000)
endif()
