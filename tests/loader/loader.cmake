# The truth of "does it load": a child that asks the system's COM loader, and
# the test that holds the server rule and the doctor's verdicts against it.
add_executable(com_activator loader/activator.cpp ${PROJECT_SOURCE_DIR}/src/text/Utf.cpp)
target_include_directories(com_activator PRIVATE ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(com_activator PRIVATE ole32 uuid)
if(NOT MSVC)
    target_link_options(com_activator PRIVATE -municode)
endif()

addinreg_test(loader_test SOURCES loader/loader_test.cpp LIBS third_party_headers TIMEOUT 600)
add_dependencies(loader_test com_activator AddInRegSample AddInRegCli)

# Servers whose fault only loading shows: one hangs in DllGetClassObject, one
# faults in DllMain, one in DllGetClassObject.
foreach(way HANG CRASH FAULT)
    string(TOLOWER ${way} name)
    add_library(Trial_${name} SHARED loader/trial_server.cpp)
    target_compile_definitions(Trial_${name} PRIVATE TRIAL_${way})
    set_target_properties(Trial_${name} PROPERTIES PREFIX "" OUTPUT_NAME Trial${way})
    add_dependencies(loader_test Trial_${name})
endforeach()
