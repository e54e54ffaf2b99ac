#!/bin/sh
# Installs what building, running and testing Tastomat need on Debian, makes
# 32-bit Windows programs run under Wine, and prepares the project's own Wine
# prefix. Each step it takes is announced in one line; what apt, dpkg and
# Wine print goes to build/setup.log. Silent when all is there.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)

me=setup
log="$here/build/setup.log"
. "$here/scripts/steps.sh"

have() { command -v "$1" >/dev/null 2>&1; }
installed() { dpkg-query -W -f '${Status}' "$1" 2>/dev/null | grep -q ' installed$'; }
# The fuzzer's runtime comes in a package named after clang's major version:
# that of the installed clang, or of the one apt is about to install.
clang_major() {
    if have clang; then
        clang --version | sed -n 's/.*clang version \([0-9]*\).*/\1/p' | head -n 1
    else
        apt-cache depends clang 2>/dev/null | sed -n 's/^ *Depends: clang-\([0-9]*\)$/\1/p' | head -n 1
    fi
}
rt_missing() { ! installed "libclang-rt-$(clang_major)-dev"; }

need=""
have cmake || need="$need cmake"
# CMake's generator, and what the scripts call that a minimal Debian lacks.
have make || need="$need make"
have git || need="$need git"
have x86_64-w64-mingw32-g++-posix || need="$need g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64"
have i686-w64-mingw32-g++-posix || need="$need g++-mingw-w64-i686-posix binutils-mingw-w64-i686"
have clang++ || need="$need clang"
have ld.lld || need="$need lld"
have clang-format || need="$need clang-format"
have clang-tidy || need="$need clang-tidy"
[ -f /usr/src/googletest/CMakeLists.txt ] || need="$need googletest"
[ -x /usr/lib/wine/wine64 ] || need="$need wine wine64"
# Wine's 32-bit half, for the 32-bit exe and its tests.
[ -x /usr/lib/wine/wine ] || need="$need wine32:i386"
# Wine's own fonts, which apt counts among wine's recommendations only: with
# them Wine lays out a dialog in the metrics Windows gives "MS Sans Serif"
# and draws the caption buttons' glyphs (Marlett).
installed fonts-wine || need="$need fonts-wine"
have xvfb-run || need="$need xvfb xauth"
have import || need="$need imagemagick"
have python3 || need="$need python3"
if [ -n "$need" ] || rt_missing; then
    say "apt-get's and dpkg's output goes to $log"
    case "$need" in
    *:i386*)
        if ! dpkg --print-foreign-architectures | grep -qx i386; then
            say "enabling 32-bit packages (dpkg architecture i386) for Wine's 32-bit half"
            logged "adding the i386 architecture" $sudo dpkg --add-architecture i386
        fi
        ;;
    esac
    # Also for apt-cache to know which clang it would install.
    apt_update
    major=$(clang_major)
    [ -n "$major" ] || fail "cannot tell which clang apt would install (apt-cache depends clang)"
    rt_missing && need="$need libclang-rt-$major-dev"
    # shellcheck disable=SC2086 # one word per package
    set -- $need
    say "installing $# packages with apt-get (one to five minutes on a first run):$need"
    apt_install "$@"
fi

# 32-bit ELF programs, Wine's 32-bit loader among them. Where the kernel does
# not run them itself, QEMU's user-mode emulation does, registered with the
# kernel for i386 ELF files.
runs_32bit() { /usr/lib/wine/wine --version >/dev/null 2>&1; }
qemu=/usr/bin/qemu-i386
binfmt=/proc/sys/fs/binfmt_misc
# What Debian's older QEMU (7.2) takes per 32-bit Wine process, ~50 s, makes
# it useless here; version 8 and later start one in well under a second.
qemu_is_recent() {
    version=$("$qemu" --version 2>/dev/null | sed -n 's/^qemu-i386 version \([0-9]*\).*/\1/p')
    [ -n "$version" ] && [ "$version" -ge 8 ]
}
candidate_is_recent() {
    candidate=$(apt-cache policy "$@" qemu-user-static | sed -n 's/^ *Candidate: *\([0-9]*:\)\{0,1\}\([0-9]*\).*/\2/p')
    [ -n "$candidate" ] && [ "$candidate" -ge 8 ]
}
# The release's backports suite, from the machine's own Debian entry with the
# suite changed, so that it comes from wherever the machine's packages do.
add_backports() {
    codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    [ -n "$codename" ] || fail "no VERSION_CODENAME in /etc/os-release: cannot name the backports suite"
    list=/etc/apt/sources.list.d/tastomat-backports.sources
    [ -f "$list" ] && return 0
    entry=$(awk -v suite="$codename" '
        BEGIN { RS = ""; FS = "\n" }
        !done {
            for (i = 1; i <= NF; i++) if ($i ~ /^Suites:/) {
                n = split(substr($i, 8), s, " ")
                for (j = 1; j <= n; j++) if (s[j] == suite) found = 1
            }
            if (!found) next
            for (i = 1; i <= NF; i++) {
                if ($i ~ /^#/) continue
                print ($i ~ /^Suites:/ ? "Suites: " suite "-backports" : $i)
            }
            done = 1
        }' /etc/apt/sources.list.d/*.sources 2>/dev/null)
    if [ -z "$entry" ]; then
        # The one-line format: "deb URI SUITE COMPONENTS".
        line=$(grep -hE "^deb[[:space:]]+(\[[^]]*\][[:space:]]+)?[^[:space:]]+[[:space:]]+${codename}[[:space:]]" \
            /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null | head -n 1)
        [ -n "$line" ] || fail "found no Debian '$codename' entry among the apt sources to copy for $codename-backports"
        list=/etc/apt/sources.list.d/tastomat-backports.list
        entry=$(echo "$line" | sed -E "s/[[:space:]]${codename}[[:space:]]/ $codename-backports /")
    fi
    say "adding $codename-backports to the apt sources ($list), for a recent QEMU"
    echo "$entry" | $sudo tee "$list" >/dev/null
    apt_update
}
if ! runs_32bit; then
    if ! qemu_is_recent; then
        say "this kernel does not run 32-bit programs: installing QEMU's user-mode emulation for them (about 30 s)"
        [ -n "$lists_updated" ] || apt_update
        if candidate_is_recent; then
            apt_install qemu-user-static
        else
            add_backports
            candidate_is_recent -t "$codename-backports" ||
                fail "no QEMU 8 or later in $codename or $codename-backports for running 32-bit programs"
            apt_install -t "$codename-backports" qemu-user-static
        fi
        qemu_is_recent || fail "$qemu is missing or older than version 8"
    fi
    if [ ! -e "$binfmt/register" ]; then
        $sudo mount -t binfmt_misc binfmt_misc "$binfmt" ||
            fail "cannot mount binfmt_misc on $binfmt (a container without the privilege?)"
    fi
    if ! grep -qs "^interpreter $qemu\$" "$binfmt/qemu-i386"; then
        [ ! -e "$binfmt/qemu-i386" ] || echo -1 | $sudo tee "$binfmt/qemu-i386" >/dev/null
        say "registering $qemu with the kernel for 32-bit (i386) programs"
        # Flag F: the kernel opens the emulator now, so it is found from any
        # mount namespace later. The kernel decodes the \x escapes itself.
        magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
        mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
        printf '%s' ":qemu-i386:M::$magic:$mask:$qemu:F" | $sudo tee "$binfmt/register" >/dev/null ||
            fail "the kernel refused the i386 ELF handler"
    fi
    grep -qx enabled "$binfmt/status" || echo 1 | $sudo tee "$binfmt/status" >/dev/null
    runs_32bit || fail "Wine's 32-bit loader still does not run: $(/usr/lib/wine/wine --version 2>&1 | head -n 1)"
fi

prefix="$here/build/wineprefix"
run="$here/scripts/wine-run.sh"
# The registry and the prefix's files are complete once its server has ended.
end_wine() { WINEPREFIX="$prefix" /usr/lib/wine/wineserver -w; }
if [ ! -f "$prefix/drive_c/windows/syswow64/kernel32.dll" ] && [ -f "$prefix/system.reg" ]; then
    # Made while 32-bit programs could not run: its 32-bit system folder is
    # empty. Updating the prefix fills it.
    say "adding Wine's 32-bit half to the Wine prefix $prefix (about 20 s)"
    rm -f "$prefix/.update-timestamp"
    logged "updating the Wine prefix" "$run" wineboot -u
    logged "waiting for Wine to finish the prefix" end_wine
fi
if ! grep -qs '^"Desktop"="shell"' "$prefix/user.reg"; then
    say "preparing the Wine prefix $prefix with a shell desktop (about 20 s)"
    mkdir -p "$prefix"
    [ -f "$prefix/system.reg" ] || logged "making the Wine prefix" "$run" wineboot -i
    # Every program started in this prefix lands in a desktop with Wine's
    # shell taskbar: a Shell_TrayWnd with a start button and a tray.
    logged "making the shell desktop Wine's default" \
        "$run" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /t REG_SZ /d shell /f
    logged "setting the shell desktop's size" \
        "$run" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v shell /t REG_SZ /d 1024x768 /f
    logged "waiting for Wine to finish the prefix" end_wine
fi

# Wine's own fonts. Wine takes fonts from fontconfig's folders, from the
# prefix's C:\windows\Fonts and from a folder of its own, where fonts-wine
# puts them. Only the last two give it "MS Sans Serif", the bitmap font that
# dialogs are laid out in (fontconfig, as Debian sets it up, leaves bitmap
# fonts out), and the caption buttons' glyphs (Marlett). Debian 12's Wine 8 names its own
# folder "Z:\usr\share\wine\../fonts", which is no valid Windows path, so it
# never opens it; Debian 13's Wine 10 does. Where Wine does not find them,
# the prefix's font folder gets links to them, which also reach a prefix
# made by an earlier set-up. Whether Wine finds them: it lists every font it
# took from outside the prefix in the prefix's registry, Marlett among them
# when it found its own.
own_fonts=$(dpkg -L fonts-wine | sed -n 's|/marlett\.ttf$||p')
prefix_fonts="$prefix/drive_c/windows/Fonts"
finds_own_fonts() {
    [ -e "$prefix_fonts/marlett.ttf" ] || grep -q '^"Marlett (TrueType)"=' "$prefix/user.reg"
}
if [ -n "$own_fonts" ] && ! finds_own_fonts; then
    # The list is of Wine's last start, which may have been before the
    # fonts were installed: a start now lists them anew.
    logged "letting Wine list the fonts it finds" "$run" reg query 'HKCU\Software\Wine\Fonts'
    logged "waiting for Wine to write its font list" end_wine
    if ! finds_own_fonts; then
        say "this Wine does not find its own fonts in $own_fonts: linking them into the Wine prefix's C:\\windows\\Fonts"
        mkdir -p "$prefix_fonts"
        for font in "$own_fonts"/*; do
            target="$prefix_fonts/${font##*/}"
            # A font file of the prefix's own stays; a link is made anew.
            [ -f "$target" ] && [ ! -L "$target" ] && continue
            ln -sf "$font" "$target"
        done
    fi
fi
[ -f "$prefix/drive_c/windows/syswow64/kernel32.dll" ] ||
    fail "the Wine prefix $prefix has no 32-bit system folder (drive_c/windows/syswow64)"
