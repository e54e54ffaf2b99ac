#!/bin/sh
# The set-up's apt steps (scripts/steps.sh) with real apt and dpkg against a
# real local archive that is inconsistent as a mirror in mid-sync is: the
# updates suite's Release promises an i386 index of another size than the
# file it holds, and its amd64 index has a newer version of a Multi-Arch:
# same package that is wanted on both architectures. Run as root:
#     tests/scripts/apt_fallback_test.sh RELEASE
# runs the cases inside a fresh minimal Debian of that release
# (scripts/in-debian.sh), whose apt is then given only the local archive:
# as a file: suite, where apt finds the fault by the index's hashes, and
# served over HTTP on the loopback, where apt's HTTP method finds it by the
# size ("File has unexpected size", as a real mirror in mid-sync gives it).
set -u
here=$(cd "$(dirname "$0")/../.." && pwd)
if [ "${1:-}" != --inside ]; then
    exec "$here/scripts/in-debian.sh" "${1:?usage: $0 RELEASE}" tests/scripts/apt_fallback_test.sh --inside
fi

. "$here/tests/scripts/checks.sh"
# Whether a text holds a line.
holds() { printf '%s\n' "$1" | grep -qF -- "$2"; }
work=$(mktemp -d)
# Runs shell code with the set-up's steps sourced, as the set-up runs them;
# leaves its output in `out` and its exit status in `status`.
steps() {
    out=$(me=setup log="$work/apt.log" sh -c ". '$here/scripts/steps.sh'; $1" 2>&1)
    status=$?
}

# apt-ftparchive, from the system's own archive, before apt is pointed at
# the local one.
steps "apt_update && apt_install apt-utils python3"
[ "$status" -eq 0 ] || {
    echo "$out"
    echo "0 passed, 1 failed"
    exit 1
}
codename=$(. /etc/os-release && echo "$VERSION_CODENAME")

# The archive: probe-lib 1.0 in the release for both architectures, 1.1 in
# its updates.
archive=/srv/tastomat-archive
rm -rf "$archive"
deb() {
    version=$1 arch=$2 suite=$3
    package="$work/probe-lib-$version-$arch"
    mkdir -p "$package/DEBIAN" "$archive/pool/$suite/$arch"
    cat >"$package/DEBIAN/control" <<CONTROL
Package: probe-lib
Version: $version
Architecture: $arch
Multi-Arch: same
Maintainer: Tastomat developers <tastomat@localhost>
Description: a library wanted on two architectures at one version
CONTROL
    dpkg-deb --build "$package" "$archive/pool/$suite/$arch/probe-lib_${version}_$arch.deb" >/dev/null
}
index() {
    suite=$1 arch=$2
    mkdir -p "$archive/dists/$suite/main/binary-$arch"
    (cd "$archive" && apt-ftparchive packages "pool/$suite/$arch") >"$archive/dists/$suite/main/binary-$arch/Packages"
}
release() {
    suite=$1
    (cd "$archive/dists/$suite" && apt-ftparchive \
        -o APT::FTPArchive::Release::Suite="$suite" -o APT::FTPArchive::Release::Codename="$suite" \
        -o APT::FTPArchive::Release::Architectures="amd64 i386" \
        -o APT::FTPArchive::Release::Components=main release .) >"$work/Release"
    mv "$work/Release" "$archive/dists/$suite/Release"
}
for arch in amd64 i386; do
    deb 1.0 "$arch" "$codename"
    deb 1.1 "$arch" "$codename-updates"
    index "$codename" "$arch"
    index "$codename-updates" "$arch"
done
release "$codename"
release "$codename-updates"
# The mirror in mid-sync: the updates' i386 index is still an old one, which
# has no 1.1, so it has another size than its Release promises.
stale="$archive/dists/$codename-updates/main/binary-i386/Packages"
cp "$archive/dists/$codename/main/binary-i386/Packages" "$stale"

use_sources() {
    rm -f /etc/apt/sources.list /etc/apt/sources.list.d/*
    printf '%s\n' "$@" >/etc/apt/sources.list.d/probe.list
    rm -rf /var/lib/apt/lists/*
}
# The loopback server's port is the one the system gives it.
python3 -u -m http.server --bind 127.0.0.1 --directory "$archive" 0 >"$work/http.out" 2>&1 &
server=$!
trap 'kill "$server" 2>/dev/null' EXIT
for _ in $(seq 50); do
    port=$(sed -n 's/.* port \([0-9]*\) .*/\1/p' "$work/http.out")
    [ -n "$port" ] && break
    sleep 0.1
done

promised=$(awk '$3 == "main/binary-i386/Packages" { print $2; exit }' "$archive/dists/$codename-updates/Release")
for uri in "file:$archive" "http://127.0.0.1:$port"; do
    case "$uri" in
    file:*) reason="Hash Sum mismatch" ;;
    *) reason="File has unexpected size ($(wc -c <"$stale") != $promised). Mirror sync in progress?" ;;
    esac
    # A machine that had its package lists before i386 was added, as a new
    # machine or a cloud image has: the update that adds i386 fails the
    # updates suite as a whole, and apt keeps that suite's old amd64 index,
    # whose probe-lib is newer than any the i386 lists know.
    dpkg --purge probe-lib:amd64 probe-lib:i386 >/dev/null 2>&1
    dpkg --remove-architecture i386 2>/dev/null
    use_sources "deb [trusted=yes] $uri $codename main" "deb [trusted=yes] $uri $codename-updates main"
    apt-get update >/dev/null 2>&1
    dpkg --add-architecture i386
    line="setup: apt could not fetch an index, going on with the lists it has: $codename-updates/main i386 Packages of $uri: $reason"

    # Without the fallback the archive stops the installation, as it
    # stopped the set-up before.
    steps "apt_update && apt_get_install probe-lib:amd64 probe-lib:i386"
    echo "$out"
    holds "$out" "$line" && check "$uri: the update names the index that failed and apt's reason" ok ||
        check "$uri: the update names the index that failed and apt's reason" "no line \"$line\""
    [ "$status" -ne 0 ] && holds "$(cat "$work/apt.log")" "probe-lib:i386 : " &&
        check "$uri: without the fallback the installation fails on this archive" ok ||
        check "$uri: without the fallback the installation fails on this archive" "exit $status: the archive tests nothing"

    # The set-up's installation prefers the release's own suite once the
    # updates fail it, and gets both architectures.
    steps "apt_update && apt_install probe-lib:amd64 probe-lib:i386"
    echo "$out"
    [ "$status" -eq 0 ] && check "$uri: the set-up's installation passes" ok ||
        check "$uri: the set-up's installation passes" "exit status $status"
    holds "$out" "trying once more with Debian $codename's own packages preferred to its updates" &&
        check "$uri: it says in one line that it tries the release's own suite" ok ||
        check "$uri: it says in one line that it tries the release's own suite" "no such line"
    versions=$(dpkg-query -W -f '${Package}:${Architecture} ${Version} ${Status}\n' 'probe-lib:*' 2>/dev/null | sort)
    expected="probe-lib:amd64 1.0 install ok installed
probe-lib:i386 1.0 install ok installed"
    [ "$versions" = "$expected" ] && check "$uri: probe-lib 1.0 is installed for amd64 and i386" ok ||
        check "$uri: probe-lib 1.0 is installed for amd64 and i386" "dpkg has: ${versions:-nothing}"
done

# When the second try fails too, the set-up stops and says what failed.
steps "apt_update && apt_install probe-missing"
[ "$status" -ne 0 ] && holds "$out" "setup: failed: installing probe-missing (also with $codename's own packages preferred); apt could not fetch: $codename-updates/main i386 Packages" &&
    check "a failed second try stops, naming the step and the failed index" ok ||
    check "a failed second try stops, naming the step and the failed index" "exit $status: $out"

# An update that no archive answers stops at once.
kill "$server"
for uri in "file:$archive-gone" "http://127.0.0.1:$port"; do
    use_sources "deb [trusted=yes] $uri $codename main"
    steps "apt_update && echo went on"
    [ "$status" -ne 0 ] && holds "$out" "setup: failed: updating apt's package lists: no archive answered" &&
        ! holds "$out" "went on" &&
        check "$uri: an update that no archive answers stops the set-up" ok ||
        check "$uri: an update that no archive answers stops the set-up" "exit $status: $out"
done

rm -rf "$work"
checks_done
