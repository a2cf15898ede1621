# The registration capture end to end: AddInRegCli capture, write --capture
# and the per-user registration, against the sample server and a server that
# goes around the capture in each way it can.
add_library(AddInRegCaptureFixture SHARED capture/capture_fixture.cpp)
set_target_properties(AddInRegCaptureFixture PROPERTIES PREFIX "")
target_link_libraries(AddInRegCaptureFixture PRIVATE advapi32 ole32 shell32 uuid)

# The same server for 32 bits: captured only where 32-bit programs run.
set(capture_fixture32 ${CMAKE_BINARY_DIR}/AddInRegCaptureFixture32.dll)
add_custom_command(OUTPUT ${capture_fixture32}
    COMMAND ${ADDINREG_I686_CXX} -shared -s -static-libgcc -static-libstdc++ -Wl,--kill-at -o ${capture_fixture32}
            ${CMAKE_CURRENT_LIST_DIR}/capture_fixture.cpp -lole32 -lshell32 -luuid -ladvapi32
    DEPENDS ${CMAKE_CURRENT_LIST_DIR}/capture_fixture.cpp
    VERBATIM)
add_custom_target(capture_fixture32 DEPENDS ${capture_fixture32})

addinreg_test(capture_test SOURCES capture/capture_test.cpp TIMEOUT 900)
add_dependencies(capture_test AddInRegCli AddInRegSample AddInRegCaptureFixture capture_fixture32 HangingServer
                 com_activator)
