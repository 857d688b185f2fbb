# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright the Tarvane developers

# Tarvane.exe as a Windows program file: the icon, drawn at build time from
# the project's own SVG, the manifest and the version information, all from
# the identity in the top CMakeLists.txt. Included where the program target
# is made.

find_program(RSVG_CONVERT rsvg-convert REQUIRED)
find_program(ICOTOOL icotool REQUIRED)

set(iconDir ${CMAKE_CURRENT_BINARY_DIR}/windows-icon)
set(TARVANE_ICO ${iconDir}/tarvane.ico)
set(pngs)
foreach(size 16 24 32 48 64 256)
    set(png ${iconDir}/${size}.png)
    list(APPEND pngs ${png})
    add_custom_command(OUTPUT ${png}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${iconDir}
        COMMAND ${RSVG_CONVERT} -w ${size} -h ${size} -o ${png}
                ${PROJECT_SOURCE_DIR}/packaging/tarvane.svg
        DEPENDS ${PROJECT_SOURCE_DIR}/packaging/tarvane.svg VERBATIM)
endforeach()
# The 256 px image is kept as PNG (-r), as Windows expects at that size.
add_custom_command(OUTPUT ${TARVANE_ICO}
    COMMAND ${ICOTOOL} -c -o ${TARVANE_ICO} ${iconDir}/16.png ${iconDir}/24.png
            ${iconDir}/32.png ${iconDir}/48.png ${iconDir}/64.png -r ${iconDir}/256.png
    DEPENDS ${pngs} VERBATIM)

# Windows wants four numbers: 2.5 becomes 2.5.0.0.
set(TARVANE_FILE_VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.0.0)
string(REPLACE "." "," TARVANE_FILE_VERSION_COMMAS ${TARVANE_FILE_VERSION})
set(TARVANE_MANIFEST ${CMAKE_CURRENT_BINARY_DIR}/Tarvane.manifest)
configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/Tarvane.manifest.in ${TARVANE_MANIFEST} @ONLY)
set(resources ${CMAKE_CURRENT_BINARY_DIR}/Tarvane.rc)
configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/Tarvane.rc.in ${resources} @ONLY)
set_source_files_properties(${resources} PROPERTIES
    OBJECT_DEPENDS "${TARVANE_ICO};${TARVANE_MANIFEST}")
# The icon is listed too, so that its rule belongs to the program.
target_sources(tarvane PRIVATE ${resources} ${TARVANE_ICO})
