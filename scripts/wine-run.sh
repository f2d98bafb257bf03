#!/usr/bin/env bash
# Runs a Windows program of the cross build under Wine, unattended: a
# throwaway prefix (WINEPREFIX, or one per user under /tmp, made on first
# use), no debug output, no menu builder, and a time limit on the call.
# Its exit status is the program's.
set -euo pipefail
export WINEDEBUG=-all
export WINEDLLOVERRIDES='winemenubuilder.exe=d;mscoree,mshtml='
export VORN_UNATTENDED=1
if [ -z "${WINEPREFIX:-}" ]; then
  export WINEPREFIX="${TMPDIR:-/tmp}/vorn-wine-$(id -u)/pfx"
fi
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  # One maker at a time; the others wait for the finished prefix.
  (
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      HOME="$(dirname "$WINEPREFIX")" timeout 120 wineboot -i >/dev/null 2>&1 || true
      timeout 30 wineserver -w || true
    fi
  ) 9>"$(dirname "$WINEPREFIX")/.lock"
fi
exec timeout "${VORN_WINE_TIMEOUT:-300}" wine "$@"
