# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright the Tarvane developers

# Tarvane-<version>-win64.zip: Tarvane.exe with the Qt libraries, the
# platform and picture plugins it loads, and the mingw-w64 runtime, so that
# it runs on a Windows machine with nothing else installed. The style is
# Fusion, built into Qt Widgets: no style plugin is needed.
install(FILES $<TARGET_FILE:Qt6::Core> $<TARGET_FILE:Qt6::Gui> $<TARGET_FILE:Qt6::Widgets>
        DESTINATION .)
install(FILES $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin> DESTINATION platforms)
install(FILES $<TARGET_FILE:Qt6::QJpegPlugin> DESTINATION imageformats)
foreach(runtime libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${runtime}
                    OUTPUT_VARIABLE runtimePath OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${runtimePath}")
        message(FATAL_ERROR "${runtime} not found beside ${CMAKE_CXX_COMPILER}")
    endif()
    install(FILES ${runtimePath} DESTINATION .)
endforeach()
install(FILES ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Tarvane)
set(CPACK_PACKAGE_FILE_NAME Tarvane-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
include(CPack)
