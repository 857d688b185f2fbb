# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright the Tarvane developers

# Cross-builds Tarvane for 64-bit Windows with Debian's mingw-w64 (the POSIX
# thread model, which Qt needs). TARVANE_QT_MINGW names the static Qt SDK
# built for it; Debian's own moc, rcc and uic serve as the host tools.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_STRIP x86_64-w64-mingw32-strip)
# Every program is one file: the C and C++ runtimes and winpthreads are
# linked in, as Qt is, so it imports only the system's own libraries.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

set(TARVANE_QT_MINGW "" CACHE PATH "Prefix of Qt 6 built for mingw-w64")
set(TARVANE_GTEST_MINGW "" CACHE PATH "Prefix of GoogleTest built for mingw-w64")
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${TARVANE_QT_MINGW} ${TARVANE_GTEST_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(QT_HOST_PATH /usr)
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)
