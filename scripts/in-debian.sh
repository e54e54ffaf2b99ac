#!/bin/sh
# Runs a command inside a fresh minimal Debian system of a chosen release, as
# root, in a clean clone of this checkout's current commit:
#
#     scripts/in-debian.sh trixie scripts/test.sh
#     scripts/in-debian.sh bookworm scripts/run.sh
#     scripts/in-debian.sh --keep trixie sh     (look into what the last call left)
#
# The system is made once with debootstrap (--variant=minbase) under
# build/debian/RELEASE/system and kept. Each call runs on a copy of it that
# starts clean: an overlay whose upper layer (build/debian/RELEASE/layer) the
# next call throws away, so the command meets what a new user's machine has.
# With --keep the call goes on with the layer the last one left instead. Only
# the packages apt downloads are kept for every call
# (build/debian/RELEASE/apt), which saves the download but not the
# installation.
#
# All mounts (the overlay, /proc, /sys, /dev) are made in a mount and PID
# namespace of the script's own: they go when its processes go, however it
# ends, and the host never sees them, so removing build/ cannot reach the
# host's /dev, /proc or /sys. Uncommitted changes are not in the clone.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
usage() {
    echo "usage: $0 RELEASE COMMAND [ARGUMENT...]   (RELEASE: bookworm, trixie, ...)" >&2
    exit 2
}
keep=""
if [ "${1:-}" = --keep ]; then
    keep=--keep
    shift
fi
[ $# -ge 2 ] || usage
release=$1
case "$release" in *[!a-z]* | "") usage ;; esac
shift
base="$here/build/debian/$release"
system="$base/system"
me=in-debian
log="$here/build/debian/setup.log"
. "$here/scripts/steps.sh"

if [ -z "${TASTOMAT_IN_NAMESPACE:-}" ]; then
    [ "$(id -u)" -eq 0 ] || fail "needs root (mounts and chroot); run it with sudo"
    # unshare, setpriv, flock and chroot come with every Debian (util-linux,
    # coreutils); these two may be missing.
    missing=""
    for tool in debootstrap git; do
        command -v "$tool" >/dev/null 2>&1 || missing="$missing $tool"
    done
    if [ -n "$missing" ]; then
        say "installing$missing with apt-get; its output goes to $log"
        apt_update
        # shellcheck disable=SC2086 # one word per package
        apt_install $missing
    fi
    # The script goes on as PID 1 of a namespace of its own: when that ends,
    # the kernel ends every process in there and drops every mount. It ends
    # with this process, however this one ends: unshare, which ignores
    # SIGINT and SIGTERM itself, is killed when its parent (this shell) is
    # gone, and takes PID 1 with it (--kill-child).
    trap 'exit 130' INT
    trap 'exit 143' TERM
    # A command started in the background reads /dev/null unless told
    # otherwise; the call's input stays the command's.
    exec 3<&0
    TASTOMAT_IN_NAMESPACE=1 setpriv --pdeathsig KILL unshare --mount --propagation private \
        --pid --fork --kill-child "$0" $keep "$release" "$@" <&3 3<&- &
    namespace=$!
    wait "$namespace"
    exit $?
fi

# The Debian archives the machine's own packages come from: the first URI of
# its Debian sources, and that of its security entry (a suite ending in
# -security). A machine without a security entry gets the archive's usual
# neighbour, the mirror's URI with "-security" behind it.
machine_sources() {
    {
        awk 'BEGIN { RS = ""; FS = "\n" }
            {
                uri = ""; suites = ""
                for (i = 1; i <= NF; i++) {
                    if ($i ~ /^URIs:/) { split(substr($i, 6), u, " "); uri = u[1] }
                    if ($i ~ /^Suites:/) suites = " " substr($i, 8) " "
                }
                if (uri != "") print uri, suites
            }' /etc/apt/sources.list.d/*.sources
        sed -n 's/^deb[[:space:]]\{1,\}\(\[[^]]*\][[:space:]]\{1,\}\)\{0,1\}\([^[:space:]]*\)[[:space:]]\{1,\}\([^[:space:]]*\).*/\2 \3/p' \
            /etc/apt/sources.list /etc/apt/sources.list.d/*.list
    } 2>/dev/null
}
debian_mirror() {
    machine_sources | awk '$1 ~ /\/debian\/?$/ { print $1; exit }'
}
security_mirror() {
    found=$(machine_sources | awk '/-security( |$)/ { print $1; exit }')
    if [ -n "$found" ]; then
        echo "$found"
    else
        echo "$(debian_mirror | sed 's:/*$::')-security"
    fi
}

if [ ! -f "$system/.complete" ]; then
    mirror=$(debian_mirror)
    [ -n "$mirror" ] || fail "found no Debian archive among the machine's apt sources"
    say "making a minimal Debian $release in $system (about a minute, 200 MB)"
    rm -rf "$system"
    mkdir -p "$base"
    debootstrap --variant=minbase "$release" "$system" "$mirror" >"$base/debootstrap.log" 2>&1 || {
        tail -n 20 "$base/debootstrap.log" >&2
        fail "debootstrap failed; its log: $base/debootstrap.log"
    }
    touch "$system/.complete"
fi

# One call a release at a time: the layer of a call that was killed is
# thrown away only by the next one.
exec 9>"$base/lock"
flock -n 9 || fail "another call runs in $base; wait for it to end"

# A clean copy: the kept system below, a new empty layer on top.
layer="$base/layer"
root="$base/root"
[ -n "$keep" ] || rm -rf "$layer"
mkdir -p "$layer/upper" "$layer/work" "$root" "$base/apt/partial"
mount -t overlay overlay -o "lowerdir=$system,upperdir=$layer/upper,workdir=$layer/work" "$root"
mount -t proc proc "$root/proc"
mount --rbind /sys "$root/sys"
mount --rbind /dev "$root/dev"
mount -t tmpfs -o mode=1777 tmpfs "$root/dev/shm"
mount --bind "$base/apt" "$root/var/cache/apt/archives"
cp /etc/resolv.conf "$root/etc/resolv.conf"
# The sources of an installed Debian or a cloud image: the release, its
# updates and its security suite, from the archives the machine's own
# packages come from. debootstrap leaves only the release.
mirror=$(debian_mirror)
[ -n "$mirror" ] || fail "found no Debian archive among the machine's apt sources"
cat >"$root/etc/apt/sources.list.d/debian.sources" <<SOURCES
Types: deb
URIs: $mirror
Suites: $release $release-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb
URIs: $(security_mirror)
Suites: $release-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
rm -f "$root/etc/apt/sources.list"

# The checkout as a new user gets it: a clone of the current commit.
checkout="$root/root/tastomat"
if [ ! -d "$checkout" ]; then
    git clone --quiet --no-hardlinks "$here" "$checkout"
    git -C "$checkout" checkout --quiet --detach "$(git -C "$here" rev-parse HEAD)"
fi

status=0
chroot "$root" /usr/bin/env -i HOME=/root TERM="${TERM:-dumb}" CI="${CI:-}" \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    sh -c 'cd /root/tastomat && exec "$@"' sh "$@" || status=$?
# The mounts go with the namespace, when this last process of it ends.
exit $status
