# The truth of "does it load": a child that asks the system's COM loader, and
# the test that holds the server rule and the doctor's verdicts against it.
add_executable(com_activator loader/activator.cpp)
target_link_libraries(com_activator PRIVATE ole32 uuid)
if(NOT MSVC)
    target_link_options(com_activator PRIVATE -municode)
endif()

addinreg_test(loader_test SOURCES loader/loader_test.cpp TIMEOUT 600)
add_dependencies(loader_test com_activator AddInRegSample AddInRegCli)
