# The registration doctor end to end: AddInRegCli check, write --verify,
# unregister and stale against registrations the test makes in both views
# and both hives.
find_program(ADDINREG_I686_CXX i686-w64-mingw32-g++)
if(NOT ADDINREG_I686_CXX)
    message(FATAL_ERROR "The doctor's tests need the 32-bit MinGW-w64 compiler (Debian: g++-mingw-w64-i686)")
endif()
# The sample server built for x86: its machine type is read everywhere; it is
# loaded only where 32-bit programs run.
set(doctor_x86_dll ${CMAKE_BINARY_DIR}/DoctorX86.dll)
set(sample_source ${PROJECT_SOURCE_DIR}/tests/e2e/sample_server)
add_custom_command(OUTPUT ${doctor_x86_dll}
    COMMAND ${ADDINREG_I686_CXX} -shared -s -static -O2 -o ${doctor_x86_dll} ${sample_source}/SampleServer.cpp
            ${sample_source}/AddInRegSample.def -ladvapi32 -luuid -Wl,--enable-stdcall-fixup
    DEPENDS ${sample_source}/SampleServer.cpp ${sample_source}/AddInRegSample.def
    VERBATIM)
add_custom_target(doctor_x86_dll DEPENDS ${doctor_x86_dll})

addinreg_test(doctor_test SOURCES doctor/doctor_test.cpp LIBS third_party_headers TIMEOUT 900)
add_dependencies(doctor_test AddInRegCli AddInRegSample doctor_x86_dll)


# The dependency checks' fixture DLLs (deps/fixtures.cpp), in deps/ of the
# build tree. DepsLib.dll is built twice: DepsUser.dll links against the
# one in deps/link that exports libTwo, and the tests install the one beside
# it that does not. DepsMissing.dll is linked against and never installed.
set(deps_folder ${CMAKE_BINARY_DIR}/deps)
function(deps_fixture target name role)
    cmake_parse_arguments(F "" "FOLDER" "DEFINES;LINK" ${ARGN})
    if(NOT F_FOLDER)
        set(F_FOLDER ${deps_folder})
    endif()
    add_library(${target} SHARED ${CMAKE_CURRENT_LIST_DIR}/deps/fixtures.cpp)
    set_target_properties(${target} PROPERTIES PREFIX "" OUTPUT_NAME ${name}
        RUNTIME_OUTPUT_DIRECTORY ${F_FOLDER} ARCHIVE_OUTPUT_DIRECTORY ${F_FOLDER})
    target_compile_definitions(${target} PRIVATE ${role} ${F_DEFINES})
    target_link_libraries(${target} PRIVATE ${F_LINK})
endfunction()
deps_fixture(DepsMissing DepsMissing DEPS_MISSING)
deps_fixture(DepsHelper DepsHelper DEPS_HELPER LINK DepsMissing)
deps_fixture(DepsAddIn DepsAddIn DEPS_ADDIN LINK DepsHelper)
deps_fixture(DepsLibLinked DepsLib DEPS_LIB FOLDER ${deps_folder}/link DEFINES DEPS_LIB_TWO)
deps_fixture(DepsLibInstalled DepsLib DEPS_LIB)
deps_fixture(DepsUser DepsUser DEPS_USER LINK DepsLibLinked)
deps_fixture(DepsNoEntry DepsNoEntry DEPS_NOENTRY)
add_dependencies(doctor_test DepsAddIn DepsUser DepsLibInstalled DepsNoEntry com_activator)
