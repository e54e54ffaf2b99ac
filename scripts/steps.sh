# Sourced by scripts/setup.sh and scripts/in-debian.sh: how a step of the
# set-up is announced, logged and failed, and the two apt steps, made to get
# through an archive that is inconsistent for a while (a mirror in mid-sync,
# a proxy holding a stale index, an update suite a step ahead on one
# architecture) instead of stopping at it.
#
# The caller sets `me` (the word in front of each line, as "setup") and `log`
# (the file that apt's, dpkg's and Wine's output goes to).

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
log_started=""
say() { echo "$me: $*"; }
fail() {
    echo "$me: $*" >&2
    exit 1
}
# Names the failed step, shows the end of the log and stops.
fail_with_log() {
    {
        echo "$me: failed: $1"
        echo "$me: the last 30 lines of $log:"
        tail -n 30 "$log"
    } >&2
    exit 1
}
# The log starts empty with the first step that writes to it.
start_log() {
    [ -z "$log_started" ] || return 0
    mkdir -p "$(dirname "$log")"
    : >"$log"
    log_started=1
}
# Runs a command with its output added to the log; its exit status is the
# command's.
to_log() {
    start_log
    echo "\$ $*" >>"$log"
    "$@" >>"$log" 2>&1 </dev/null
}
# Runs a command with its output in the log; on failure it names the step
# and shows the end of the log.
logged() {
    what=$1
    shift
    to_log "$@" || fail_with_log "$what"
}

# The indexes apt could not fetch in the last apt_update, one a line:
# "SUITE/COMPONENT ARCH Packages of URI: apt's reason".
failed_indexes=""
# Set once the lists have been updated in this run; what has been said.
lists_updated=""
reported=""

# Updates apt's package lists. An index that still fails after apt's own
# retries is named in one line, and the set-up goes on with the lists apt
# has; only when no archive answered at all does it stop.
apt_update() {
    start_log
    before=$(wc -c <"$log")
    to_log $sudo apt-get -o Acquire::Retries=3 update || true
    # What this update printed, its "Err:" lines followed by apt's reason.
    output=$(tail -c "+$((before + 1))" "$log")
    failed_indexes=$(echo "$output" | awk '
        /^Err:[0-9]+ / {
            sub(/^Err:[0-9]+ /, "")
            n = split($0, word, " ")
            what = word[2]
            for (i = 3; i <= n; i++) what = what " " word[i]
            what = what " of " word[1]
            reason = ""
            if ((getline reason) > 0) {
                sub(/^[[:space:]]+/, "", reason)
                sub(/ \[IP: [^]]*\]$/, "", reason)
            }
            if (!(what in seen)) print what ": " reason
            seen[what] = 1
        }')
    # A file that came (its size in brackets) or was up to date. A file:
    # source has a "Get:" line also for a file that is not there.
    answered=$(echo "$output" | grep -c -E '^Hit:[0-9]+ |^Get:[0-9]+ .*\[[0-9.,]+ [kMG]?B\]$' || true)
    if [ "$answered" -eq 0 ]; then
        fail_with_log "updating apt's package lists: no archive answered${failed_indexes:+ (
$failed_indexes)}"
    fi
    lists_updated=1
    # Each index once, also when a later update meets it again.
    new=$(echo "$failed_indexes" | grep -vxF -e "${reported:-
}" || true)
    [ -z "$new" ] || echo "$new" | while IFS= read -r index; do
        say "apt could not fetch an index, going on with the lists it has: $index"
    done
    reported="$reported${new:+$new
}"
}

# One installation, without the packages' recommendations; its exit status
# is apt-get's.
apt_get_install() {
    to_log $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "$@"
}

# Installs packages. If that fails, it tries once more with the release's
# own suite preferred to its updates (whose indexes may be a step apart
# between two architectures, and a package that is on both must have one
# version); it stops only when that fails too. With -t SUITE first, it
# installs from that suite and tries nothing else.
apt_install() {
    target=""
    if [ "$1" = -t ]; then
        target=$2
        shift 2
    fi
    start_log
    before=$(wc -c <"$log")
    apt_get_install ${target:+-t "$target"} "$@" && return 0
    step="installing $*"
    codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    if [ -z "$target" ] && [ -n "$codename" ]; then
        why=$(tail -c "+$((before + 1))" "$log" | grep '^E: ' | head -n 1)
        say "installing failed${why:+ ($why)}; trying once more with Debian $codename's own packages preferred to its updates (a later 'apt-get upgrade' brings the updates this skips)"
        apt_get_install -t "$codename" "$@" && return 0
        step="$step (also with $codename's own packages preferred)"
    fi
    [ -z "$failed_indexes" ] || step="$step; apt could not fetch: $failed_indexes"
    fail_with_log "$step"
}
