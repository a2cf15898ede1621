# The release zip that scripts/package leaves in build/: unpacked into a fresh
# folder, its programs run from there. Skipped when the zip was not made.
add_executable(release_check release/release_check.cpp)
target_link_libraries(release_check PRIVATE addinreg_core version)

if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
    return()
endif()
if(NOT ADDINREG_PACKAGE_ZIP)
    set(ADDINREG_PACKAGE_ZIP ${PROJECT_SOURCE_DIR}/build/AddInReg-${PROJECT_VERSION}-win64.zip)
endif()
add_test(NAME package_test
         COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/package_test.sh ${ADDINREG_PACKAGE_ZIP} ${PROJECT_VERSION}
                 ${CMAKE_BINARY_DIR}/wine-run $<TARGET_FILE:release_check> ${CMAKE_BINARY_DIR}/package_test
                 AddInReg.exe $<$<TARGET_EXISTS:AddInRegCli>:AddInRegCli.exe> $<$<TARGET_EXISTS:AddInRegCli>:AddInRegLoad64.exe> $<$<TARGET_EXISTS:AddInRegCli>:AddInRegLoad32.exe>
         COMMAND_EXPAND_LISTS)
set_tests_properties(package_test PROPERTIES TIMEOUT 300 SKIP_RETURN_CODE 77 FIXTURES_REQUIRED wine_prefix)
