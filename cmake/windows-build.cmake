# The Windows build, made by the Linux build when Qt for Windows is found (see
# windows-qt-folder.cmake) together with MinGW-w64 and Wine: this same source
# tree configured with windows-qt.cmake into build/win. It makes velkoria.exe
# in a ready program folder (win/program, with Qt's and MinGW's DLLs), the
# unit tests for Windows (win/velkoria-checks), the setup program and the check kit.
# Sets VELKORIA_WINDOWS_BUILD_DIR and VELKORIA_WINDOWS_PROGRAM_DIR (empty when
# there is no Windows build), VELKORIA_MINGW_CXX and VELKORIA_WINE.
include(${CMAKE_CURRENT_LIST_DIR}/windows-qt-folder.cmake)
velkoria_find_windows_qt(VELKORIA_WINDOWS_QT_FOUND ${CMAKE_SOURCE_DIR})
find_program(VELKORIA_MINGW_CXX x86_64-w64-mingw32-g++-posix)
# wine64 installed without its recommendations is not on PATH.
find_program(VELKORIA_WINE wine64 PATHS /usr/lib/wine)

set(VELKORIA_WINDOWS_BUILD_DIR "")
set(VELKORIA_WINDOWS_PROGRAM_DIR "")
if(NOT VELKORIA_WINDOWS_QT_FOUND)
    message(NOTICE "Windows build and tests left out: no Qt for Windows in ../shared/qt6-mingw or "
                   "~/.cache/velkoria/qt6-mingw (tools/windows/build-qt.sh makes it, in about an hour)")
elseif(NOT VELKORIA_MINGW_CXX OR NOT VELKORIA_WINE)
    message(NOTICE "Windows build and tests left out: no MinGW-w64 or Wine (tools/install-deps.sh installs both)")
else()
    include(ExternalProject)
    set(VELKORIA_WINDOWS_BUILD_DIR ${CMAKE_BINARY_DIR}/win)
    set(VELKORIA_WINDOWS_PROGRAM_DIR ${VELKORIA_WINDOWS_BUILD_DIR}/program)
    ExternalProject_Add(velkoria_windows
        SOURCE_DIR ${CMAKE_SOURCE_DIR}
        BINARY_DIR ${VELKORIA_WINDOWS_BUILD_DIR}
        CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/windows-qt.cmake
                   -DVELKORIA_WINDOWS_QT=${VELKORIA_WINDOWS_QT_FOUND}
                   -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
                   -DVELKORIA_HOST_MANUAL=${VELKORIA_PROGRAM_DIR}/Velkoria.pdf
                   -DCMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER}
        INSTALL_COMMAND ""
        # The sources are this tree: let the Windows build decide what is new.
        BUILD_ALWAYS ON
        DEPENDS velkoria_manual_pdf)
endif()
