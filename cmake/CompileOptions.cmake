# The compiler settings every program of the project is built with: the main
# build and the helper's build of its own for the other bitness.
if(MSVC)
    add_compile_options(/W4 /WX /permissive- /utf-8)
    set(CMAKE_MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>")
else()
    add_compile_options(-Wall -Wextra -Wpedantic -Werror)
    # One self-contained executable: no libstdc++/libgcc/winpthread DLLs beside it.
    add_link_options(-static -static-libgcc -static-libstdc++)
    # Sections at page-aligned places in the file: Wine then maps an image's
    # pages as they are used, where it reads the whole of an image packed
    # tighter into memory at its start.
    add_link_options(-Wl,--file-alignment,4096)
endif()
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
