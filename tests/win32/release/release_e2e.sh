#!/usr/bin/env bash
# The programs as shipped (the win32-release build), one case per call:
#   debug-apart    no debug information in the programs; each one's is in
#                  NAME.exe.debug beside it, named by a debug link
#   fresh-prefix   in a Wine prefix made for this run, as a first start on a
#                  new system: each updater without an installation shows
#                  message 17 (19 for Talvik; the Vorn demo needs none), and
#                  with one its dialog, whose version line agrees with the
#                  version record
#
# Environment: VORN_BIN (the release build folder), VORN_TOOLS (gui_driver.exe,
# resource_check.exe), VORN_WINE_RUN (the Wine wrapper), VORN_OBJDUMP.
set -euo pipefail
case_name=$1
bin=$VORN_BIN
fail() { echo "FAIL: $*" >&2; exit 1; }
programs=(updater/vorn-update updater/vorn-demo updater/talvik-update updater/talvik-demo tools/lzx)

case $case_name in
debug-apart)
  for p in "${programs[@]}"; do
    exe=$bin/$p.exe
    sections=$("$VORN_OBJDUMP" -h "$exe")
    if grep -q ' \.debug_' <<<"$sections"; then fail "$p.exe carries debug information"; fi
    grep -q ' \.gnu_debuglink' <<<"$sections" || fail "$p.exe has no debug link"
    [ -f "$exe.debug" ] || fail "no $p.exe.debug"
    "$VORN_OBJDUMP" -h "$exe.debug" | grep -q ' \.debug_info' || fail "$p.exe.debug holds no debug information"
    strings -a "$exe" | grep -qx "$(basename "$exe").debug" || fail "$p.exe links to another debug file"
    echo "$p.exe $(stat -c %s "$exe") bytes, $(basename "$exe").debug $(stat -c %s "$exe.debug") bytes"
  done
  ;;
fresh-prefix)
  if [ -z "${VORN_RELEASE_INNER:-}" ]; then
    home=$(mktemp -d "${TMPDIR:-/tmp}/vorn-release-XXXXXX")
    export HOME=$home WINEPREFIX=$home/pfx VORN_RELEASE_INNER=1
    trap 'timeout 30 wineserver -k 2>/dev/null || true; rm -rf "$home"' EXIT
    "$VORN_WINE_RUN" --prepare
    # Without a window manager on the test's screen, Wine would wait for
    # each closing window.
    "$VORN_WINE_RUN" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    status=0
    timeout 240 xvfb-run -a -s '-screen 0 1024x768x24 -nolisten tcp' bash "$0" "$@" || status=$?
    exit "$status"
  fi
  work=$(mktemp -d "${TMPDIR:-/tmp}/vorn-release-work-XXXXXX")
  pid=
  trap '[ -z "$pid" ] || kill "$pid" 2>/dev/null || true; rm -rf "$work"' EXIT
  cd "$work"
  run() { "$VORN_WINE_RUN" "$@"; }
  drive() { run "$VORN_TOOLS/gui_driver.exe" "$@" | tr -d '\r'; }
  title="Vorn update 20-oct-2003"
  # The shipped programs have no unattended mode: even with the variable the
  # test build answers to, every message is on the screen.
  export VORN_UNATTENDED=1
  version=$(run "$VORN_TOOLS/resource_check.exe" "$bin/updater/vorn-update.exe" version | tr -d '\r' |
    sed -n 's/^ProductVersion|//p')
  [ -n "$version" ] || fail "no version record"
  for p in vorn-update:Vorn:17 vorn-demo:Vorn: talvik-update:Talvik:19 talvik-demo:Talvik:19; do
    IFS=: read -r program product message <<<"$p"
    run reg delete "HKCU\\Software\\$product" /f >/dev/null 2>&1 || true
    if [ -n "$message" ]; then
      run "$bin/updater/$program.exe" >out.txt 2>&1 &
      pid=$!
      box=$(drive box "$title") || fail "$program: no message without an installation"
      [ "$box" = "Exit program|$product directory not found" ] || fail "$program: \"$box\" instead of message $message"
      wait "$pid" || fail "$program: status $? after message $message"
      [ ! -s out.txt ] || fail "$program wrote: $(cat out.txt)"
    fi

    run reg add "HKCU\\Software\\$product" /v Location /t REG_SZ /d 'C:\Vorn' /f >/dev/null 2>&1
    run reg add "HKCU\\Software\\$product" /v Version /t REG_SZ /d "$version" /f >/dev/null 2>&1
    run "$bin/updater/$program.exe" >out.txt 2>&1 &
    pid=$!
    drive dump "$title" >dump.txt || fail "$program: no dialog with an installation"
    grep -qx "2014|Static|1|Version $version of the" dump.txt ||
      fail "$program: the dialog's version line is not \"Version $version of the\": $(grep '^2014|' dump.txt)"
    drive press "$title" 2 >/dev/null
    wait "$pid" || fail "$program: status $? after cancel"
    pid=
    echo "$program: ${message:+message $message without an installation, }the dialog with one"
  done
  ;;
*)
  fail "unknown case $case_name"
  ;;
esac
echo "ok: $case_name"
