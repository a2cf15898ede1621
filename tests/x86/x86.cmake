# The 32-bit side end to end, where 32-bit programs run: the x86 sample
# server registered by the system's 32-bit regsvr32 and seen by every
# command, its capture merged and activated from a 32-bit client, and x86
# servers that cannot load, each judged as the 32-bit loader judges it.
set(x86_deps ${CMAKE_BINARY_DIR}/deps32)
set(deps_source ${PROJECT_SOURCE_DIR}/tests/doctor/deps/fixtures.cpp)
addinreg_x86(com_activator32 com_activator32.exe
    SOURCES ${PROJECT_SOURCE_DIR}/tests/loader/activator.cpp ${PROJECT_SOURCE_DIR}/src/text/Utf.cpp
    OPTIONS -std=c++20 -I${PROJECT_SOURCE_DIR}/src -municode -lole32 -luuid)
# The dependency chain for 32 bits: DepsAddIn.dll imports DepsHelper.dll,
# which imports DepsMissing.dll, left in link/ and never installed.
addinreg_x86(deps32_missing DepsMissing.dll FOLDER ${x86_deps}/link
    SOURCES ${deps_source} OPTIONS -shared -DDEPS_MISSING)
addinreg_x86(deps32_helper DepsHelper.dll FOLDER ${x86_deps}
    SOURCES ${deps_source} OPTIONS -shared -DDEPS_HELPER ${x86_deps}/link/DepsMissing.dll
    DEPENDS ${x86_deps}/link/DepsMissing.dll)
addinreg_x86(deps32_addin DepsAddIn.dll FOLDER ${x86_deps}
    SOURCES ${deps_source} OPTIONS -shared -DDEPS_ADDIN ${x86_deps}/DepsHelper.dll
    DEPENDS ${x86_deps}/DepsHelper.dll)
addinreg_x86(deps32_noentry DepsNoEntry.dll FOLDER ${x86_deps}
    SOURCES ${deps_source} OPTIONS -shared -DDEPS_NOENTRY)
# Servers that fault in DllMain and in DllGetClassObject.
foreach(way CRASH FAULT)
    string(TOLOWER ${way} name)
    addinreg_x86(trial32_${name} Trial${way}.dll FOLDER ${x86_deps}
        SOURCES ${PROJECT_SOURCE_DIR}/tests/loader/trial_server.cpp OPTIONS -shared -DTRIAL_${way} -Wl,--kill-at)
endforeach()

addinreg_test(x86_test SOURCES x86/x86_test.cpp LIBS third_party_headers TIMEOUT 900)
add_dependencies(x86_test AddInRegCli doctor_x86_dll com_activator com_activator32 deps32_addin deps32_noentry
                 trial32_crash trial32_fault)
