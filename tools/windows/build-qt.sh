#!/usr/bin/env bash
# Makes Qt 6.4.2 for Windows x86-64 (Core, Gui, Widgets, Test as DLLs, the
# qwindows and qminimal platform plugins, the WindowsVista style plugin),
# cross-built with Debian's MinGW-w64 from Debian's own qt6-base source
# package, into the cache folder where the Windows build looks for it:
#   ${XDG_CACHE_HOME:-~/.cache}/velkoria/qt6-mingw
# It is the same Qt as ../shared/qt6-mingw on the development machines, for a
# machine without that folder. Compiling takes about an hour on 2 cores
# (about 1 GB of downloads and 6 GB of disk while it builds).
#
#   tools/windows/build-qt.sh              everything
#   tools/windows/build-qt.sh --prepare    only the download, the unpacking and the edits
#
# Needs the packages of tools/install-deps.sh (Debian's Qt 6.4.2 tools are the
# host tools; MinGW-w64) and network access to Debian's archive.
set -euo pipefail
cd "$(dirname "$0")/../.."
source_tree=$PWD
version=6.4.2+dfsg-10
cache=${XDG_CACHE_HOME:-$HOME/.cache}/velkoria
prefix=$cache/qt6-mingw
work=$cache/qt6-mingw-build
prepare_only=false
[ "${1:-}" = "--prepare" ] && prepare_only=true

if [ -e "$prefix/lib/cmake/Qt6/qt.toolchain.cmake" ] && ! $prepare_only; then
    echo "build-qt.sh: Qt for Windows is already in $prefix (remove it to build it again)"
    exit 0
fi
mkdir -p "$work"
cd "$work"

# 1. The source package, through apt with a source list of its own (a copy of
#    the system's with Types: deb-src): the system's apt setup is not touched.
apt_options=(-o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$work/apt/sources"
             -o Dir::State::Lists="$work/apt/lists" -o Dir::Cache="$work/apt/cache" -o Debug::NoLocking=1)
if [ ! -e "qt6-base_${version#*:}.dsc" ]; then
    mkdir -p apt/sources apt/lists/partial apt/cache/archives/partial
    for list in /etc/apt/sources.list.d/*.sources; do
        [ -e "$list" ] && sed 's/^Types:.*/Types: deb-src/' "$list" > "apt/sources/src-$(basename "$list")"
    done
    for list in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -e "$list" ] && sed -n 's/^deb /deb-src /p' "$list" > "apt/sources/src-$(basename "$list")"
    done
    apt-get "${apt_options[@]}" update
    apt-get "${apt_options[@]}" source --download-only "qt6-base=$version"
fi
orig=$(ls qt6-base_*.orig.tar.xz)
rm -rf src
mkdir src
tar -xf "$orig" -C src --strip-components=1

# 2. Three edits to the Windows platform plugin: Debian's source has no
#    src/3rdparty/wintab (its wintab.h was removed), so the tablet code is
#    compiled out (tablets and pens then act as a mouse); and with OpenGL off,
#    6.4.2 still takes the dynamic-OpenGL branch, which does not compile.
#    Each edit must find what it changes, or the build stops here.
edit() { # FILE FROM TO COUNT: replaces FROM (a fixed string) by TO, COUNT times exactly
    local found
    found=$(grep -cF -- "$2" "$1" || true)
    if [ "$found" != "$4" ]; then
        echo "build-qt.sh: expected $4 of '$2' in $1, found $found" >&2
        exit 1
    fi
    FROM=$2 TO=$3 perl -0pi -e 's/\Q$ENV{FROM}\E/$ENV{TO}/g' "$1"
}
windows=src/src/plugins/platforms/windows
edit $windows/qwindowscontext.cpp '#if QT_CONFIG(tabletevent)' '#if 0 // no wintab' 8
edit $windows/qwindowspointerhandler.cpp '#if QT_CONFIG(tabletevent)' '#if 0 // no wintab' 4
edit $windows/qwindowspointerhandler.h '#if QT_CONFIG(tabletevent)' '#if 0 // no wintab' 2
edit $windows/CMakeLists.txt 'CONDITION QT_FEATURE_tabletevent' 'CONDITION FALSE # no wintab' 1
edit src/src/plugins/platforms/CMakeLists.txt 'add_subdirectory(direct2d)' '# no direct2d: it compiles the tablet code' 1
edit $windows/qwindowswindow.cpp '#if QT_CONFIG(dynamicgl)' '#if 0 // OpenGL is off' 2
echo "build-qt.sh: the source is unpacked and edited in $work/src"
$prepare_only && exit 0

# 3. Configure, build (about an hour on 2 cores) and install.
rm -rf build "$prefix.partial"
cmake -S src -B build -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$source_tree/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON -DCMAKE_INSTALL_PREFIX="$prefix.partial" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
    -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_opengl=OFF -DFEATURE_vulkan=OFF \
    -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_icu=OFF -DFEATURE_freetype=OFF \
    -DFEATURE_testlib=ON -DFEATURE_widgets=ON -DFEATURE_gui=ON \
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_png=OFF \
    -DFEATURE_system_jpeg=OFF -DFEATURE_system_freetype=OFF
nice cmake --build build -j"$(nproc)"
cmake --install build

# 4. Usable from wherever it lies: Qt's toolchain file loads the MinGW one beside it.
cp "$source_tree/cmake/mingw-w64-x86_64.cmake" "$prefix.partial/mingw-w64-x86_64.cmake"
sed -i 's|^set(__qt_initially_configured_toolchain_file .*|set(__qt_initially_configured_toolchain_file "${CMAKE_CURRENT_LIST_DIR}/../../../mingw-w64-x86_64.cmake")|' \
    "$prefix.partial/lib/cmake/Qt6/qt.toolchain.cmake"
rm -rf "$prefix.partial/doc"
# Only a whole Qt is ever found by the Windows build.
rm -rf "$prefix"
mv "$prefix.partial" "$prefix"
echo "build-qt.sh: Qt for Windows is in $prefix; ./test.sh now builds and runs the Windows tests"
