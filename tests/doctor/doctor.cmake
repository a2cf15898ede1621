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

