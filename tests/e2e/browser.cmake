# The main window, driven in the real AddInReg.exe from a separate program.
addinreg_test(browser_e2e SOURCES e2e/browser_e2e.cpp TIMEOUT 600)
add_dependencies(browser_e2e AddInReg)

# Start-up and search times with a large registry. Run by scripts/bench, not
# by CTest: figures, not a pass or a fail.
add_executable(browser_bench e2e/browser_bench.cpp)
target_link_libraries(browser_bench PRIVATE test_support)
add_dependencies(browser_bench AddInReg)
