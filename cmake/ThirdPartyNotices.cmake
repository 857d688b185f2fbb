# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright the Tarvane developers

# Writes THIRD-PARTY.txt for the Windows zip: the notices of everything
# linked into Tarvane.exe besides its own code. Run as
#   cmake -DQT_LICENSES=DIR -DMINGW_COPYRIGHT=FILE -DGCC_COPYRIGHT=FILE
#         -DOUTPUT=FILE -P ThirdPartyNotices.cmake
# QT_LICENSES is the SDK's licenses/ folder: qtbase/ with Qt's licence texts,
# and 3rdparty/<name>/ with each bundled library's qt_attribution.json and
# licence files, as taken from the source the SDK was built from.

set(rule "================================================================================")
function(section title)
    string(APPEND text "\n${rule}\n${title}\n${rule}\n\n")
    set(text "${text}" PARENT_SCOPE)
endfunction()

set(text "Tarvane.exe is one program built from Tarvane's own source and the
libraries below, all linked into it. Tarvane is licensed under the GNU
General Public License, version 3 or later (LICENSE.txt); the complete
source from which this program was built, with the means to build and
relink it, is the Tarvane source of the same version.
")

section("Qt ${QT_VERSION} (Qt Core, Qt Gui, Qt Widgets)")
string(APPEND text "Copyright (C) The Qt Company Ltd. and other contributors.
Qt is used under the GNU Lesser General Public License, version 3; its text
follows, and the GNU General Public License, version 3, on which it builds,
is LICENSE.txt.

")
file(READ "${QT_LICENSES}/qtbase/LGPL-3.0-only.txt" lgpl)
string(APPEND text "${lgpl}")

file(GLOB parts LIST_DIRECTORIES true "${QT_LICENSES}/3rdparty/*")
list(SORT parts)
foreach(part ${parts})
    # forkfd is Qt Core's on Unix only.
    if(part MATCHES "/forkfd$")
        continue()
    endif()
    file(READ "${part}/qt_attribution.json" json)
    # One attribution, or a list of them. (Not a CMake list: their texts
    # hold semicolons.)
    string(JSON type TYPE "${json}")
    set(count 1)
    if(type STREQUAL "ARRAY")
        string(JSON count LENGTH "${json}")
    endif()
    math(EXPR last "${count} - 1")
    foreach(i RANGE ${last})
        set(entry "${json}")
        if(type STREQUAL "ARRAY")
            string(JSON entry GET "${json}" ${i})
        endif()
        string(JSON name ERROR_VARIABLE none GET "${entry}" Name)
        string(JSON version ERROR_VARIABLE none GET "${entry}" Version)
        string(JSON licence ERROR_VARIABLE none GET "${entry}" License)
        string(JSON copyright ERROR_VARIABLE none GET "${entry}" Copyright)
        if(version)
            section("${name} ${version}, bundled with Qt")
        else()
            section("${name}, bundled with Qt")
        endif()
        string(APPEND text "Licence: ${licence}\n")
        if(copyright)
            string(APPEND text "\n${copyright}\n")
        endif()
    endforeach()
    file(GLOB files LIST_DIRECTORIES false "${part}/*")
    list(SORT files)
    foreach(file ${files})
        get_filename_component(fileName "${file}" NAME)
        if(fileName STREQUAL "qt_attribution.json" OR fileName MATCHES "^README")
            continue()
        endif()
        file(READ "${file}" content)
        string(APPEND text "\n--- ${fileName} ---\n\n${content}")
    endforeach()
endforeach()

section("The mingw-w64 runtime (C runtime start-up, winpthreads)")
file(READ "${MINGW_COPYRIGHT}" mingw)
string(APPEND text "${mingw}")

section("The GCC runtime libraries (libstdc++, libgcc)")
string(APPEND text "Copyright (C) Free Software Foundation, Inc. These libraries are licensed
under the GNU General Public License, version 3 (LICENSE.txt), with the GCC
Runtime Library Exception, version 3.1, which follows.

")
file(READ "${GCC_COPYRIGHT}" gcc)
string(FIND "${gcc}" "GCC RUNTIME LIBRARY EXCEPTION" begin)
string(FIND "${gcc}" "2. No Weakening of GCC Copyleft." end)
if(begin LESS 0 OR end LESS begin)
    message(FATAL_ERROR "No GCC Runtime Library Exception in ${GCC_COPYRIGHT}")
endif()
# Up to the end of the exception's last paragraph.
string(SUBSTRING "${gcc}" ${end} -1 rest)
string(FIND "${rest}" "\n\n\n" after)
math(EXPR length "${end} - ${begin} + ${after} + 1")
string(SUBSTRING "${gcc}" ${begin} ${length} exception)
string(APPEND text "${exception}")

# Windows line ends, for Notepad.
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE "${OUTPUT}" "${text}")
