# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright the Tarvane developers

# Tarvane-<version>-win64.zip, what a Windows player downloads: Tarvane.exe
# (one file, Qt and the runtimes linked in), its licence, the notices of
# what is linked into it, a short read-me on the download, and Tarvane's own
# read-me where its button looks for it once the zip is unpacked into the
# game's Frontlines folder; the texts with Windows line ends.

set(noticesScript ${CMAKE_SOURCE_DIR}/cmake/ThirdPartyNotices.cmake)
set(notices ${CMAKE_BINARY_DIR}/THIRD-PARTY.txt)
set(mingwCopyright /usr/share/doc/mingw-w64-common/copyright)
set(gccCopyright /usr/share/doc/gcc-mingw-w64-base/copyright)
add_custom_command(OUTPUT ${notices}
    COMMAND ${CMAKE_COMMAND} -DQT_LICENSES=${TARVANE_QT_MINGW}/licenses
            -DQT_VERSION=${Qt6_VERSION} -DMINGW_COPYRIGHT=${mingwCopyright}
            -DGCC_COPYRIGHT=${gccCopyright} -DOUTPUT=${notices} -P ${noticesScript}
    DEPENDS ${noticesScript} ${mingwCopyright} ${gccCopyright} VERBATIM)

string(LENGTH "${TARVANE_PRODUCT_NAME} ${PROJECT_VERSION}" titleLength)
string(REPEAT "=" ${titleLength} TARVANE_TITLE_RULE)
configure_file(packaging/windows/README.txt.in ${CMAKE_BINARY_DIR}/README.txt @ONLY
               NEWLINE_STYLE CRLF)
configure_file(LICENSE ${CMAKE_BINARY_DIR}/LICENSE.txt NEWLINE_STYLE CRLF)
set(ownReadMe demo/EAW/Frontlines/ReadMe/TarvaneReadMe.txt)
configure_file(${ownReadMe} ${CMAKE_BINARY_DIR}/ReadMe/TarvaneReadMe.txt @ONLY NEWLINE_STYLE CRLF)

# The zip and, beside it, the SHA-256 sums of the zip and of the program,
# for players to check a download against. The same commit gives the same
# bytes: the program is stripped, the entries stand in a fixed order and
# carry the time SOURCE_DATE_EPOCH names.
set(zipName ${TARVANE_PRODUCT_NAME}-${PROJECT_VERSION}-win64.zip)
set(zipTexts README.txt LICENSE.txt THIRD-PARTY.txt ReadMe/TarvaneReadMe.txt)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/${zipName} ${CMAKE_BINARY_DIR}/SHA256SUMS
    COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:tarvane> -DSTRIP=${CMAKE_STRIP}
            "-DTEXTS=${zipTexts}" -DZIP=${zipName} -P ${CMAKE_SOURCE_DIR}/cmake/WindowsZip.cmake
    DEPENDS tarvane ${CMAKE_BINARY_DIR}/README.txt ${CMAKE_BINARY_DIR}/LICENSE.txt ${notices}
            ${CMAKE_BINARY_DIR}/ReadMe/TarvaneReadMe.txt
            ${CMAKE_SOURCE_DIR}/cmake/WindowsZip.cmake
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR} VERBATIM)
add_custom_target(windows_zip ALL DEPENDS ${CMAKE_BINARY_DIR}/${zipName})
