# Renders the program's SVG icon at 16, 32, 48 and 256 pixels and packs the
# four pictures into one .ico. Run with cmake -P, given SVG, ICO, MAGICK and,
# where it is installed, RSVG (rsvg-convert, librsvg's sharper rasterizer;
# without it ImageMagick renders the SVG itself).
foreach(var SVG ICO MAGICK)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "make-icon.cmake needs -D${var}=...")
    endif()
endforeach()

get_filename_component(dir "${ICO}" DIRECTORY)
set(pngs)
foreach(size 16 32 48 256)
    set(png "${dir}/AddInReg-${size}.png")
    if(RSVG)
        execute_process(COMMAND "${RSVG}" -w ${size} -h ${size} -o "${png}" "${SVG}"
                        RESULT_VARIABLE rc)
    else()
        execute_process(COMMAND "${MAGICK}" -background none -density 384 "${SVG}"
                                -resize ${size}x${size} "PNG32:${png}"
                        RESULT_VARIABLE rc)
    endif()
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "Could not render ${SVG} at ${size} pixels")
    endif()
    list(APPEND pngs "${png}")
endforeach()

execute_process(COMMAND "${MAGICK}" ${pngs} "${ICO}" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "Could not write ${ICO}")
endif()
file(REMOVE ${pngs})
