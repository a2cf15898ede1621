# What the release zip holds, and how CPack makes it: scripts/package runs
# cpack in a build of its own and leaves AddInReg-<version>-win64.zip in build/.

install(TARGETS AddInReg RUNTIME DESTINATION .)
if(TARGET AddInRegCli)
    install(TARGETS AddInRegCli AddInRegLoad64 RUNTIME DESTINATION .)
    install(PROGRAMS ${CMAKE_BINARY_DIR}/AddInRegLoad32.exe DESTINATION .)
endif()

# The texts with Windows line ends, for Notepad and its kin.
set(ADDINREG_DIST_DIR ${CMAKE_BINARY_DIR}/dist)
foreach(pair "README.md:README.txt" "LICENSE:LICENSE" "CHANGES:CHANGES")
    string(REPLACE ":" ";" pair "${pair}")
    list(GET pair 0 from)
    list(GET pair 1 to)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${from})
    file(READ ${PROJECT_SOURCE_DIR}/${from} text)
    string(REPLACE "\r\n" "\n" text "${text}")
    string(REPLACE "\n" "\r\n" text "${text}")
    file(WRITE ${ADDINREG_DIST_DIR}/${to} "${text}")
    install(FILES ${ADDINREG_DIST_DIR}/${to} DESTINATION .)
endforeach()
# Byte for byte the built-in template.
install(FILES ${PROJECT_SOURCE_DIR}/dist/AddInTemplate.Reg DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME AddInReg)
set(CPACK_PACKAGE_VENDOR "The AddInReg authors")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME AddInReg-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
include(CPack)
