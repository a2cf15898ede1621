# The registration doctor end to end: AddInRegCli check, write --verify,
# unregister and stale against registrations the test makes in both views
# and both hives.
# The sample server built for x86: its machine type is read everywhere; it is
# loaded only where 32-bit programs run.
set(sample_source ${PROJECT_SOURCE_DIR}/tests/e2e/sample_server)
addinreg_x86(doctor_x86_dll DoctorX86.dll
    SOURCES ${sample_source}/SampleServer.cpp ${sample_source}/AddInRegSample.def
    OPTIONS -shared -ladvapi32 -luuid -Wl,--enable-stdcall-fixup)

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
