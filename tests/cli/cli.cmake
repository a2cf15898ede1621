# AddInRegCli.exe started as a child process, as a build step starts it. The
# helper library also serves the writer's end-to-end comparison of scripts.
add_library(cli_process STATIC cli/CliProcess.cpp)
target_include_directories(cli_process PUBLIC cli)
target_link_libraries(cli_process PUBLIC test_support)

addinreg_test(cli_test SOURCES cli/cli_test.cpp LIBS cli_process third_party_headers TIMEOUT 600)
add_dependencies(cli_test AddInRegCli AddInRegSample)
