# Stands in for regsvr32.exe and regedit.exe where a test checks the exact
# command lines; the end-to-end tests use the real utilities.
add_executable(fake_utility WIN32 unit/fake_utility.cpp)

addinreg_test(registry_test SOURCES unit/registry_test.cpp)
addinreg_test(browser_test SOURCES unit/browser_test.cpp unit/UtilityRecorder.cpp)
addinreg_test(writer_test SOURCES unit/writer_test.cpp unit/UtilityRecorder.cpp)
add_dependencies(browser_test fake_utility)
add_dependencies(writer_test fake_utility)
