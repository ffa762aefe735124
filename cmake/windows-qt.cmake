# Toolchain file of the Windows build made on Linux: MinGW-w64 (see
# mingw-w64-x86_64.cmake) with Qt for Windows cross-built by the same compiler.
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/windows-qt.cmake
# Qt is taken from VELKORIA_WINDOWS_QT when it is set, otherwise from
# ../shared/qt6-mingw beside the source tree, otherwise from the cache folder
# that tools/windows/build-qt.sh fills. Debian's Qt 6.4.2 tools (moc, rcc, uic)
# are the host tools.
get_filename_component(_velkoria_source "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
include("${CMAKE_CURRENT_LIST_DIR}/windows-qt-folder.cmake")
velkoria_find_windows_qt(_velkoria_qt "${_velkoria_source}")
if(NOT _velkoria_qt)
    message(FATAL_ERROR "No Qt for Windows: set VELKORIA_WINDOWS_QT, or make one with tools/windows/build-qt.sh")
endif()
set(VELKORIA_WINDOWS_QT "${_velkoria_qt}" CACHE PATH "Qt for Windows (MinGW-w64) to build against")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VELKORIA_WINDOWS_QT)

set(QT_CHAINLOAD_TOOLCHAIN_FILE "${CMAKE_CURRENT_LIST_DIR}/mingw-w64-x86_64.cmake")
set(QT_HOST_PATH /usr CACHE PATH "")
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "")
include("${_velkoria_qt}/lib/cmake/Qt6/qt.toolchain.cmake")
