#!/bin/sh
# Installs what building, running and testing Tastomat need on Debian, and
# prepares the project's own Wine prefix. Does nothing slow when all is there.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)

need=""
have() { command -v "$1" >/dev/null 2>&1; }
have cmake || need="$need cmake"
have x86_64-w64-mingw32-g++-posix || need="$need g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64"
have i686-w64-mingw32-g++-posix || need="$need g++-mingw-w64-i686-posix binutils-mingw-w64-i686"
have clang++ || need="$need clang"
have ld.lld || need="$need lld"
have clang-format || need="$need clang-format"
have clang-tidy || need="$need clang-tidy"
[ -f /usr/src/googletest/CMakeLists.txt ] || need="$need googletest"
ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1 ||
    need="$need libclang-rt-14-dev"
[ -x /usr/lib/wine/wine64 ] || need="$need wine wine64"
have xvfb-run || need="$need xvfb xauth"
have import || need="$need imagemagick"
have python3 || need="$need python3"
if [ -n "$need" ]; then
    echo "setup: installing$need"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $need
fi

prefix="$here/build/wineprefix"
if ! grep -qs '^"Desktop"="shell"' "$prefix/user.reg"; then
    echo "setup: preparing the Wine prefix $prefix"
    mkdir -p "$prefix"
    run="$here/scripts/wine-run.sh"
    [ -f "$prefix/system.reg" ] || "$run" wineboot -i >/dev/null 2>&1
    # Every program started in this prefix lands in a desktop with Wine's
    # shell taskbar: a Shell_TrayWnd with a start button and a tray.
    "$run" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /t REG_SZ /d shell /f >/dev/null 2>&1
    "$run" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v shell /t REG_SZ /d 1024x768 /f >/dev/null 2>&1
    # The registry reaches its files when the server ends.
    WINEPREFIX="$prefix" /usr/lib/wine/wineserver -w
fi
