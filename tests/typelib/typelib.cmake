# Type libraries and the interfaces they describe, judged by the doctor and
# held against the system: a test add-in with a real type library, built by
# widl with the library as a resource, in both bitnesses, and a probe of each
# bitness that asks LoadRegTypeLib and calls across apartments.
find_program(ADDINREG_WIDL64 NAMES x86_64-w64-mingw32-widl widl)
find_program(ADDINREG_WIDL32 NAMES i686-w64-mingw32-widl widl)
find_program(ADDINREG_WINDRES64 x86_64-w64-mingw32-windres)
find_program(ADDINREG_WINDRES32 i686-w64-mingw32-windres)
find_program(ADDINREG_I686_CXX i686-w64-mingw32-g++)
# The fixtures are built by the cross compilers themselves, whatever compiler
# builds the programs (the lint's clang build among them).
find_program(ADDINREG_X64_CXX x86_64-w64-mingw32-g++)
# widl reads stdole2.tlb for importlib: Wine's own, of each bitness.
find_path(ADDINREG_STDOLE64 stdole2.tlb PATHS /usr/lib/x86_64-linux-gnu/wine/x86_64-windows
          /usr/lib/wine/x86_64-windows /usr/lib64/wine/x86_64-windows NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
find_path(ADDINREG_STDOLE32 stdole2.tlb PATHS /usr/lib/i386-linux-gnu/wine/i386-windows
          /usr/lib/wine/i386-windows /usr/lib32/wine/i386-windows NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
foreach(tool ADDINREG_WIDL64 ADDINREG_WIDL32 ADDINREG_WINDRES64 ADDINREG_WINDRES32 ADDINREG_I686_CXX ADDINREG_X64_CXX
        ADDINREG_STDOLE64 ADDINREG_STDOLE32)
    if(NOT ${tool})
        message(FATAL_ERROR "The type-library tests need widl, windres and Wine's stdole2.tlb of both bitnesses "
                            "(Debian: mingw-w64-tools, binutils-mingw-w64, wine64, wine32)")
    endif()
endforeach()

set(tlb_source ${CMAKE_CURRENT_LIST_DIR})
set(tlb_outputs)
foreach(bits 64 32)
    if(bits EQUAL 64)
        set(cxx ${ADDINREG_X64_CXX})
        set(widl ${ADDINREG_WIDL64})
        set(windres ${ADDINREG_WINDRES64})
        set(stdole ${ADDINREG_STDOLE64})
        set(fixup "")
    else()
        set(cxx ${ADDINREG_I686_CXX})
        set(widl ${ADDINREG_WIDL32})
        set(windres ${ADDINREG_WINDRES32})
        set(stdole ${ADDINREG_STDOLE32})
        set(fixup -Wl,--enable-stdcall-fixup)
    endif()
    set(folder ${CMAKE_BINARY_DIR}/typelib${bits})
    set(tlb ${folder}/TlbTest.tlb)
    set(rc ${folder}/TlbServer.rc)
    set(res ${folder}/TlbServer.res.o)
    set(dll ${CMAKE_BINARY_DIR}/TlbServer${bits}.dll)
    set(probe ${CMAKE_BINARY_DIR}/tlb_probe${bits}.exe)
    file(MAKE_DIRECTORY ${folder})
    file(WRITE ${rc} "1 TYPELIB \"${tlb}\"\n")
    add_custom_command(OUTPUT ${tlb}
        COMMAND ${widl} -t -m${bits} -L ${stdole} -I ${tlb_source} -o ${tlb} ${tlb_source}/TlbTest.idl
        DEPENDS ${tlb_source}/TlbTest.idl ${tlb_source}/Base.idl VERBATIM)
    add_custom_command(OUTPUT ${res}
        COMMAND ${windres} ${rc} -O coff -o ${res}
        DEPENDS ${tlb} VERBATIM)
    add_custom_command(OUTPUT ${dll}
        COMMAND ${cxx} -shared -s -static -O2 -std=c++20 -o ${dll} ${tlb_source}/tlb_server.cpp ${res}
                ${tlb_source}/TlbServer.def -loleaut32 -lole32 -ladvapi32 -luuid ${fixup}
        DEPENDS ${tlb_source}/tlb_server.cpp ${tlb_source}/TlbServer.def ${res} VERBATIM)
    add_custom_command(OUTPUT ${probe}
        COMMAND ${cxx} -s -static -O2 -std=c++20 -municode -o ${probe} ${tlb_source}/tlb_probe.cpp
                -loleaut32 -lole32 -luuid
        DEPENDS ${tlb_source}/tlb_probe.cpp VERBATIM)
    list(APPEND tlb_outputs ${dll} ${probe} ${tlb})
endforeach()
add_custom_target(typelib_fixtures DEPENDS ${tlb_outputs})

addinreg_test(typelib_test SOURCES typelib/typelib_test.cpp LIBS third_party_headers TIMEOUT 900)
add_dependencies(typelib_test AddInRegCli typelib_fixtures)
