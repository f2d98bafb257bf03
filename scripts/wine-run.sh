#!/usr/bin/env bash
# Runs a Windows program of the cross build under Wine, unattended: a
# throwaway prefix (WINEPREFIX, or one per user under /tmp, made on first
# use), no debug output, no menu builder, and a time limit on the call.
# Its exit status is the program's.
#
#   wine-run.sh --prepare   makes the prefix and starts a persistent wineserver
#                           for it, so that no client meets a server that is
#                           shutting down after an idle moment, and starts its
#                           services; end them with "wineserver -k".
set -euo pipefail
export WINEDEBUG=-all
export WINEDLLOVERRIDES='winemenubuilder.exe=d;mscoree,mshtml='
# Message boxes of the test build go to standard error unless the caller
# wants them on the screen (VORN_UNATTENDED=0).
export VORN_UNATTENDED="${VORN_UNATTENDED-1}"
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
if [ "${1:-}" = --prepare ]; then
  # A server that the last program left running ends after its idle moment;
  # then start the persistent one.
  timeout 30 wineserver -w || true
  wineserver -p || { echo "wine-run.sh: cannot start a persistent wineserver" >&2; exit 1; }
  # Start the prefix's background services now, with no terminal or pipe of
  # a caller's: a service started by a later program would hold that
  # program's output open after it ended.
  timeout 120 wine wineboot </dev/null >/dev/null 2>&1 || true
  exit 0
fi
exec timeout "${VORN_WINE_TIMEOUT:-300}" wine "$@"
