# Cross build for 64-bit Windows with Debian's clang from a Linux host: the
# mingw-w64 headers and import libraries, GCC's posix libstdc++ (the one the
# mingw preset uses), the mingw binutils for archives and resources, and lld
# to link.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_triple x86_64-w64-mingw32)
set(_sysroot /usr/${_triple})

find_program(CMAKE_C_COMPILER NAMES clang-14 clang REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES clang++-14 clang++ REQUIRED)
set(CMAKE_C_COMPILER_TARGET ${_triple})
set(CMAKE_CXX_COMPILER_TARGET ${_triple})
set(CMAKE_RC_COMPILER ${_triple}-windres)
set(CMAKE_AR ${_triple}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${_triple}-ranlib CACHE FILEPATH "")

# clang looks for GCC's libstdc++ in a versioned folder, but Debian names
# them "12-posix" and "12-win32", which it does not read as versions. Name
# the newest posix one explicitly.
file(GLOB _gcc_dirs LIST_DIRECTORIES true /usr/lib/gcc/${_triple}/*-posix)
list(SORT _gcc_dirs COMPARE NATURAL ORDER DESCENDING)
list(POP_FRONT _gcc_dirs _gcc)
if(NOT _gcc OR NOT EXISTS "${_gcc}/include/c++")
    message(FATAL_ERROR "No posix libstdc++ for ${_triple} under /usr/lib/gcc/${_triple}: install g++-mingw-w64-x86-64")
endif()
set(CMAKE_CXX_FLAGS_INIT "-stdlib++-isystem ${_gcc}/include/c++ -stdlib++-isystem ${_gcc}/include/c++/${_triple} -stdlib++-isystem ${_gcc}/include/c++/backward")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld -L${_gcc}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-fuse-ld=lld -L${_gcc}")
# The posix thread model's libstdc++ needs winpthread, which g++-posix adds by itself.
set(CMAKE_C_STANDARD_LIBRARIES "-lpthread" CACHE STRING "")
set(CMAKE_CXX_STANDARD_LIBRARIES "-lpthread" CACHE STRING "")

set(CMAKE_FIND_ROOT_PATH ${_sysroot})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
