# The proof of the installer formats by a real installer: makensis builds
# installers around the includes that AddInRegCli captures (the
# installer_build fixture, on this side of Wine), and installer_test runs
# them and their uninstallers silently under Wine.
# com_activator32 (the 32-bit client) comes from x86/x86.cmake.
addinreg_test(installer_test SOURCES installer/installer_test.cpp LIBS third_party_headers TIMEOUT 900)
add_dependencies(installer_test AddInRegCli AddInRegSample doctor_x86_dll com_activator com_activator32)

find_program(ADDINREG_MAKENSIS makensis)
if(ADDINREG_MAKENSIS AND CMAKE_CROSSCOMPILING_EMULATOR)
    add_test(NAME installer_build
             COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/build-installers.sh ${CMAKE_BINARY_DIR}/wine-run ${ADDINREG_MAKENSIS}
                     ${CMAKE_BINARY_DIR} ${CMAKE_CURRENT_LIST_DIR}/AddInInstaller.nsi)
    set_tests_properties(installer_build PROPERTIES FIXTURES_SETUP installers FIXTURES_REQUIRED wine_prefix TIMEOUT 600)
    set_tests_properties(installer_test PROPERTIES FIXTURES_REQUIRED "wine_prefix;installers")
endif()
