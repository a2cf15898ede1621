# Benchmarks: run by scripts/bench, never by CTest. They print figures.
add_executable(fill_bench ${PROJECT_SOURCE_DIR}/bench/fill_bench.cpp)
target_link_libraries(fill_bench PRIVATE addinreg_core)

# The floor the main window's start-up is measured against.
add_executable(startup_floor WIN32 ${PROJECT_SOURCE_DIR}/bench/startup_floor.cpp)
target_link_libraries(startup_floor PRIVATE addinreg_core)

# Start-up, search, the companion's find and list, and their floors, with a
# large registry.
add_executable(browser_bench ${PROJECT_SOURCE_DIR}/bench/browser_bench.cpp)
target_link_libraries(browser_bench PRIVATE test_support)
add_dependencies(browser_bench AddInReg AddInRegCli startup_floor)

# The doctor: check on the sample class, stale over 20,000 extra classes.
add_executable(doctor_bench ${PROJECT_SOURCE_DIR}/bench/doctor_bench.cpp)
target_link_libraries(doctor_bench PRIVATE test_support)
add_dependencies(doctor_bench AddInRegCli AddInRegSample)

# The capture of the sample and of msxml3.dll, against starting an empty program.
add_executable(empty_program ${PROJECT_SOURCE_DIR}/bench/empty_program.cpp)
add_executable(capture_bench ${PROJECT_SOURCE_DIR}/bench/capture_bench.cpp)
target_link_libraries(capture_bench PRIVATE test_support)
add_dependencies(capture_bench AddInRegCli AddInRegSample empty_program)

# The doctor's dependency walk on the system's own servers with deep import graphs.
add_executable(dependency_bench ${PROJECT_SOURCE_DIR}/bench/dependency_bench.cpp)
target_link_libraries(dependency_bench PRIVATE addinreg_core)

# The 32-bit load trial and capture, against starting an empty 32-bit program.
addinreg_x86(empty_program32 empty_program32.exe SOURCES ${PROJECT_SOURCE_DIR}/bench/empty_program.cpp)
add_executable(x86_bench ${PROJECT_SOURCE_DIR}/bench/x86_bench.cpp)
target_link_libraries(x86_bench PRIVATE test_support)
add_dependencies(x86_bench AddInRegCli doctor_x86_dll empty_program32 empty_program)

# The type-library items: check on the test add-in, stale over 20,000 classes
# and 2,000 type-library leftovers, each against its floor.
add_executable(typelib_bench ${PROJECT_SOURCE_DIR}/bench/typelib_bench.cpp)
target_link_libraries(typelib_bench PRIVATE test_support ole32 oleaut32)
add_dependencies(typelib_bench AddInRegCli typelib_fixtures)
