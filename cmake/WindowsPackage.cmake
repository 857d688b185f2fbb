# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright the Tarvane developers

# Tarvane-<version>-win64.zip, what a Windows player downloads: Tarvane.exe
# (one file, Qt and the runtimes linked in), its licence, the notices of
# what is linked into it, and a short read-me, the texts with Windows line
# ends.

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
add_custom_target(windows_texts ALL DEPENDS ${notices})

install(FILES ${CMAKE_BINARY_DIR}/LICENSE.txt ${notices} ${CMAKE_BINARY_DIR}/README.txt
        DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME ${TARVANE_PRODUCT_NAME})
set(CPACK_PACKAGE_FILE_NAME ${TARVANE_PRODUCT_NAME}-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_STRIP_FILES ON)
include(CPack)
