# The registration doctor end to end: AddInRegCli check, write --verify,
# unregister and stale against registrations the test makes in both views
# and both hives.
find_program(ADDINREG_I686_CXX i686-w64-mingw32-g++)
if(NOT ADDINREG_I686_CXX)
    message(FATAL_ERROR "The doctor's tests need the 32-bit MinGW-w64 compiler (Debian: g++-mingw-w64-i686)")
endif()
# A 32-bit server to read the machine type of. Built, never loaded: Wine here
# may not run 32-bit code at all.
set(doctor_x86_dll ${CMAKE_BINARY_DIR}/DoctorX86.dll)
add_custom_command(OUTPUT ${doctor_x86_dll}
    COMMAND ${ADDINREG_I686_CXX} -shared -s -o ${doctor_x86_dll} ${CMAKE_CURRENT_LIST_DIR}/x86_server.cpp
    DEPENDS ${CMAKE_CURRENT_LIST_DIR}/x86_server.cpp
    VERBATIM)
add_custom_target(doctor_x86_dll DEPENDS ${doctor_x86_dll})

addinreg_test(doctor_test SOURCES doctor/doctor_test.cpp LIBS third_party_headers TIMEOUT 900)
add_dependencies(doctor_test AddInRegCli AddInRegSample doctor_x86_dll)

