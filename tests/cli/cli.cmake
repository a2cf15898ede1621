# AddInRegCli.exe started as a child process, as a build step starts it.
addinreg_test(cli_test SOURCES cli/cli_test.cpp LIBS third_party_headers TIMEOUT 600)
add_dependencies(cli_test AddInRegCli AddInRegSample com_activator doctor_x86_dll)

# A server whose DllRegisterServer never returns, for the time limit.
add_library(HangingServer SHARED cli/hanging_server.cpp)
set_target_properties(HangingServer PROPERTIES PREFIX "")
add_dependencies(cli_test HangingServer)
