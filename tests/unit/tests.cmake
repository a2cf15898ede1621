addinreg_test(registry_test SOURCES unit/registry_test.cpp)
addinreg_test(browser_test SOURCES unit/browser_test.cpp)
addinreg_test(writer_test SOURCES unit/writer_test.cpp)
