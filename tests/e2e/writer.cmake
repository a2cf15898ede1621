# End-to-end test of the reg-file writer: a real in-process server registered
# with the system's regsvr32, the add-in script merged with its regedit.
add_subdirectory(${CMAKE_CURRENT_LIST_DIR}/sample_server ${CMAKE_CURRENT_BINARY_DIR}/sample_server)

# It also compares the window's scripts with the companion's.
addinreg_test(writer_e2e SOURCES e2e/writer_e2e.cpp TIMEOUT 600)
add_dependencies(writer_e2e AddInReg AddInRegCli AddInRegSample)
