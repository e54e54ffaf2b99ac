#!/bin/sh
# Runs a Windows program under Wine in the project's own prefix, so that
# nothing touches ~/.wine. TASTOMAT_WINEPREFIX overrides the prefix; Wine's
# messages stay off unless WINEDEBUG asks for some.
#
# Run as root, Wine would read and write any file whatever its permissions,
# which no user of Tastomat can. So root's two permission overrides are
# dropped where the system allows it: the Wine server started from here then
# opens files the way it would for an ordinary user who owns them.
here=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX="${TASTOMAT_WINEPREFIX:-$here/build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
no_override="--bounding-set=-dac_override,-dac_read_search"
if [ "$(id -u)" -eq 0 ] && setpriv "$no_override" true 2>/dev/null; then
    exec setpriv "$no_override" "$wine" "$@"
fi
exec "$wine" "$@"
