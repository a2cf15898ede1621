# The main window, driven in the real AddInReg.exe from a separate program.
addinreg_test(browser_e2e SOURCES e2e/browser_e2e.cpp TIMEOUT 600)
add_dependencies(browser_e2e AddInReg AddInRegLoad64 AddInRegLoad32 AddInRegSample doctor_x86_dll Trial_hang)

