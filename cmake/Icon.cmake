# The program's icon: rendered from src/app/AddInReg.svg into a multi-size
# AddInReg.ico in the build folder, where the resource scripts find it.
if(CMAKE_HOST_WIN32)
    # On Windows "convert" is also the name of a file-system tool.
    find_program(ADDINREG_MAGICK NAMES magick REQUIRED
                 DOC "ImageMagick, which packs the icon's pictures into AddInReg.ico")
else()
    find_program(ADDINREG_MAGICK NAMES convert magick REQUIRED
                 DOC "ImageMagick, which packs the icon's pictures into AddInReg.ico")
endif()
find_program(ADDINREG_RSVG NAMES rsvg-convert DOC "librsvg's SVG rasterizer (optional)")

set(ADDINREG_ICON_DIR ${CMAKE_BINARY_DIR}/icon)
set(ADDINREG_ICON ${ADDINREG_ICON_DIR}/AddInReg.ico)
add_custom_command(
    OUTPUT ${ADDINREG_ICON}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${ADDINREG_ICON_DIR}
    COMMAND ${CMAKE_COMMAND} -DSVG=${PROJECT_SOURCE_DIR}/src/app/AddInReg.svg -DICO=${ADDINREG_ICON}
            -DMAGICK=${ADDINREG_MAGICK} -DRSVG=${ADDINREG_RSVG}
            -P ${PROJECT_SOURCE_DIR}/cmake/make-icon.cmake
    DEPENDS ${PROJECT_SOURCE_DIR}/src/app/AddInReg.svg ${PROJECT_SOURCE_DIR}/cmake/make-icon.cmake
    COMMENT "Rendering AddInReg.ico"
    VERBATIM)
add_custom_target(addinreg_icon DEPENDS ${ADDINREG_ICON})

# A program whose resource script names "AddInReg.ico" as its icon 1.
function(addinreg_use_icon target rc)
    add_dependencies(${target} addinreg_icon)
    target_include_directories(${target} PRIVATE ${ADDINREG_ICON_DIR})
    set_property(SOURCE ${rc} APPEND PROPERTY OBJECT_DEPENDS ${ADDINREG_ICON})
endfunction()

addinreg_use_icon(AddInReg ${PROJECT_SOURCE_DIR}/src/app/AddInReg.rc)
# The companion too, once it has a resource script (which then names the icon).
if(TARGET AddInRegCli)
    get_target_property(_cli_rc AddInRegCli SOURCES)
    list(FILTER _cli_rc INCLUDE REGEX "\\.rc$")
    foreach(rc IN LISTS _cli_rc)
        addinreg_use_icon(AddInRegCli ${rc})
    endforeach()
endif()
