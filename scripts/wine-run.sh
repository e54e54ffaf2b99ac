#!/bin/sh
# Runs a Windows program under Wine in the project's own prefix, so that
# nothing touches ~/.wine. TASTOMAT_WINEPREFIX overrides the prefix.
here=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX="${TASTOMAT_WINEPREFIX:-$here/build/wineprefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
exec /usr/lib/wine/wine64 "$@"
