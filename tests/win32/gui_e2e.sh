#!/usr/bin/env bash
# The Windows dialogs end to end, under Wine with a real window on Xvfb:
# gui_driver.exe (run in the same prefix) reads every control, types into the
# directory field, presses the buttons and answers each message box, while
# this script checks the exit status, the installed files, lzx.ver and the
# program-manager commands (recorded by dde_server.exe, or made by Wine's own
# program manager). One case per call, named by the first argument.
#
# Environment: VORN_BIN (the cross build folder), VORN_SOURCE (the sources),
# VORN_WINE_RUN (the Wine wrapper), VORN_NATIVE_LZX (the native lzx tool).
# Screenshots go to $VORN_BIN/screenshots.
set -euo pipefail
case_name=$1
here=$(cd "$(dirname "$0")" && pwd)

# The GUI runs in a prefix of its own, next to the one of the other tests,
# with its own Xvfb server for each case.
if [ -z "${VORN_GUI_INNER:-}" ]; then
  base="${WINEPREFIX:-${TMPDIR:-/tmp}/vorn-wine-$(id -u)/pfx}"
  export WINEPREFIX="$base-gui" VORN_GUI_INNER=1
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.vorn-gui-ready" ]; then
      "$VORN_WINE_RUN" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
      # Without Wine's fonts "MS Sans Serif" falls back to another face.
      mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
      cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"
      touch "$WINEPREFIX/.vorn-gui-ready"
    fi
  ) 9>"$WINEPREFIX.lock"
  "$VORN_WINE_RUN" --prepare
  status=0
  timeout 240 xvfb-run -a -s '-screen 0 1024x768x24 -nolisten tcp' bash "$0" "$@" || status=$?
  timeout 30 wineserver -k 2>/dev/null || true # its desktop belonged to that Xvfb
  exit "$status"
fi

bin=$VORN_BIN
run() { "$VORN_WINE_RUN" "$@"; }
drive() { run "$bin/tests/win32/gui_driver.exe" "$@" | tr -d '\r'; }
work=$(mktemp -d "${TMPDIR:-/tmp}/vorn-gui-XXXXXX")
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"
winpath() { printf 'Z:%s' "${1//\//\\}"; }
fail() { echo "FAIL: $*" >&2; exit 1; }
export VORN_UNATTENDED=0 # the boxes are on the screen, and the driver answers them

# The dialog's title is message 5, which carries the date in the language.
title_eng="Vorn update 20-oct-2003"
title_dut="Vorn update 20-okt-2003"
title_update=$title_eng

registry() { run reg "$@" >/dev/null 2>&1; }
installed() { # product, location, version (empty: none)
  registry delete "HKCU\\Software\\$1" /f || true
  registry add "HKCU\\Software\\$1" /v Location /t REG_SZ /d "$(winpath "$2")" /f
  [ -z "${3:-}" ] || registry add "HKCU\\Software\\$1" /v Version /t REG_SZ /d "$3" /f
}
version_record() { # name version > a 432-byte lzx.ver record
  local name=$1 version=$2
  printf '%s' "$name"
  head -c $((256 - ${#name})) /dev/zero
  printf '\x00\x00\x00\x00'                                              # size
  printf "\\x$(printf %02x $((version & 255)))\\x$(printf %02x $((version >> 8)))\\x00\\x00" # version
  head -c $((432 - 264)) /dev/zero
}

# Starts a program; its pid goes to $program_pid.
start() {
  run "$bin/updater/$1" "${@:2}" >program.out 2>program.err &
  program_pid=$!
  pids+=("$program_pid")
}
finish() { # expected status
  local status=0
  wait "$program_pid" || status=$?
  [ "$status" -eq "$1" ] || fail "$program_pid ended with status $status, expected $1"
}
expect_box() { # caption|text [button to press, OK by default]
  local got
  got=$(drive box "$title_update" ${2:+"$2"}) || fail "no message box; expected $1"
  [ "$got" = "$1" ] || fail "box \"$got\", expected \"$1\""
}
screenshot() { # name, from the dump's rectangle
  mkdir -p "$bin/screenshots"
  local rect x0 y0 x1 y1
  rect=$(grep '^rect|' dump.txt)
  IFS='|' read -r _ x0 y0 x1 y1 <<<"$rect"
  import -window root -crop "$((x1 - x0))x$((y1 - y0))+$x0+$y0" +repage "$bin/screenshots/$1.png"
}
# The dialog's controls against the expected file, without the rectangle.
check_controls() { # expected file
  drive dump "$title_update" >dump.txt || fail "the dialog did not open"
  grep -v '^rect|' dump.txt >controls.txt
  if [ -n "${VORN_GUI_BLESS:-}" ]; then # writes the expected files anew, for review
    cp controls.txt "$here/expected/$1"
    return
  fi
  diff "$here/expected/$1" controls.txt >&2 || fail "controls differ from expected/$1"
}

prepare_installation() { # directory, records as "name version" pairs
  local dir=$1
  shift
  mkdir -p "$dir"
  : >"$dir/lzx.ver"
  while [ $# -gt 0 ]; do
    version_record "$1" "$2" >>"$dir/lzx.ver"
    shift 2
  done
}
tree_state() { (cd "$1" && find . -type f -exec sha256sum {} + | sort -k2); }

start_dde_server() { # refusal prefix (may be empty)
  : >dde.log
  run "$bin/tests/win32/dde_server.exe" "$(winpath "$work/dde.log")" ${1:+"$1"} >dde.out &
  pids+=($!)
  for _ in $(seq 1 100); do grep -q ready dde.out 2>/dev/null && break; sleep 0.1; done
  grep -q ready dde.out || fail "the DDE server did not start"
}
demo_commands() { # directory: the four commands of a demo install
  local d
  d=$(winpath "$1")
  printf '%s\n' "[CreateGroup(Vorn Demo)]" "[ReplaceItem(Vorn Demo)]" \
    "[AddItem(\"$d\\VornDemo.exe\" , \"Vorn Demo\",,,,,\"$d\")]" \
    "[AddItem(\"$d\\Uninstall.exe\", \"UnInstall\",,,,,\"$d\")]"
}

case $case_name in
dialog-texts)
  # Every configuration in both languages: each control's text and
  # visibility, a screenshot of each template, and cancel writes nothing.
  prepare_installation "$work/inst" '#help\vorn.htm' 200
  installed Vorn "$work/inst" 2.0
  installed Talvik "$work/inst"
  before=$(tree_state "$work/inst")
  for program in vorn-update vorn-demo talvik-update talvik-demo; do
    for language in eng dut; do
      title_update=title_$language
      title_update=${!title_update}
      start "$program.exe" "-$language"
      check_controls "$program-$language.txt"
      case $program in
      vorn-update) screenshot "3001-$language" ;;
      vorn-demo) screenshot "3003-$language" ;;
      talvik-update) screenshot "3002-$language" ;;
      esac
      drive press "$title_update" 2 >/dev/null
      finish 0
      [ ! -s program.err ] || fail "$program wrote: $(cat program.err)"
    done
  done
  [ "$before" = "$(tree_state "$work/inst")" ] || fail "cancel changed the installation"
  ;;
dialog-layout)
  # Every configuration in both languages: each text fits its control when
  # measured with the dialog's font, and the icon controls keep their size.
  installed Vorn "$work/inst" 2.0
  installed Talvik "$work/inst"
  faults=()
  for program in vorn-update:3001 vorn-demo:3003 talvik-update:3002 talvik-demo:3002; do
    template=${program#*:} program=${program%:*}
    exe=$(winpath "$bin/updater/$program.exe")
    for language in eng dut; do
      title_update=title_$language
      title_update=${!title_update}
      start "$program.exe" "-$language"
      drive fit "$title_update" "$exe" "$template" >fit.txt ||
        { grep clipped fit.txt >&2; faults+=("$program -$language: a text is clipped"); }
      drive icons "$title_update" "$exe" "$template" 2001 2013 >icons.txt ||
        { cat icons.txt >&2; faults+=("$program -$language: the icon controls are not 18x20 dialog units"); }
      drive press "$title_update" 2 >/dev/null
      finish 0
    done
  done
  [ ${#faults[@]} -eq 0 ] || fail "$(printf '\n  %s' "${faults[@]}")"
  ;;
install-once)
  # Install pressed again (a click and Enter) while the closing message is up:
  # nothing more happens; each dialog procedure once.
  for program in vorn-update talvik-update; do
    prepare_installation "$work/inst" '#help\vorn.htm' 200
    installed Vorn "$work/inst" 2.0
    installed Talvik "$work/inst"
    start "$program.exe"
    drive press "$title_update" 1 >/dev/null
    boxes=$(drive pressagain "$title_update" 1 1500) || fail "$program: no closing message"
    [ "$boxes" = 1 ] || fail "$program: a second press ran another install ($boxes messages at once)"
    expect_box "Update report|The update has been applied."
    finish 0
    drive gone "$title_update" || fail "$program: the dialog stayed open"
  done
  ;;
update-install)
  prepare_installation "$work/inst" '#help\vorn.htm' 200
  mkdir -p "$work/inst/help"
  echo "Vorn 2.0 help" >"$work/inst/help/vorn.htm"
  installed Vorn "$work/inst" 2.0
  start vorn-update.exe
  drive dump "$title_update" >/dev/null
  drive press "$title_update" 1 >/dev/null
  expect_box "Update report|The update has been applied."
  finish 0
  cmp -s "$VORN_SOURCE/data/help/vorn.htm" "$work/inst/help/vorn.htm" || fail "the help was not installed"
  "$VORN_NATIVE_LZX" versions "$work/inst/lzx.ver" >versions.txt
  grep -q ' 203  #help\\vorn.htm$' versions.txt || { cat versions.txt >&2; fail "lzx.ver does not record 203"; }
  [ "$(stat -c %s "$work/inst/lzx.ver")" -eq 432 ] || fail "lzx.ver should hold one record"
  ;;
file-in-use)
  # The help file held open by another program: the person is asked, naming
  # the file. Cancel leaves the installation as it was; Retry, once the other
  # program has let go, installs.
  prepare_installation "$work/inst" '#help\vorn.htm' 200
  mkdir -p "$work/inst/help"
  echo "Vorn 2.0 help" >"$work/inst/help/vorn.htm"
  cp -a "$work/inst" before
  installed Vorn "$work/inst" 2.0
  held=$(winpath "$work/inst")\\help\\vorn.htm
  asked="Update report|The file [$held] is in use by another program.\\nClose it and choose Retry; Cancel leaves the installation as it was."
  for answer in cancel retry; do
    rm -f held.txt
    run "$bin/tests/win32/hold_file.exe" "$held" "$([ $answer = cancel ] && echo 8 || echo 4)" >held.txt 2>/dev/null &
    holder=$!
    pids+=("$holder")
    for _ in $(seq 100); do grep -q held held.txt 2>/dev/null && break; sleep 0.1; done
    grep -q held held.txt || fail "the file could not be held"
    start vorn-update.exe
    drive press "$title_update" 1 >/dev/null
    if [ $answer = cancel ]; then
      expect_box "$asked" 2
      expect_box "Einde programma|\\nFile Error : name = [$held] code = 211"
      finish 2
      diff -r before "$work/inst" >&2 || fail "the installation changed after Cancel"
      wait "$holder" || true
    else
      wait "$holder" || true
      expect_box "$asked" 4
      expect_box "Update report|The update has been applied."
      finish 0
      cmp -s "$VORN_SOURCE/data/help/vorn.htm" "$work/inst/help/vorn.htm" || fail "Retry did not install the help"
    fi
  done
  ;;
update-keeps-higher-version)
  prepare_installation "$work/inst" '#HELP\VORN.HTM' 300
  mkdir -p "$work/inst/help"
  echo "newer help" >"$work/inst/help/vorn.htm"
  installed Vorn "$work/inst" 2.03
  start vorn-update.exe -dut
  title_update=$title_dut
  drive press "$title_update" 1 >/dev/null
  expect_box "Update verslag|De update is aangebracht.\\n1 bestanden niet vervangen."
  expect_box "Update verslag|De update is aangebracht."
  finish 0
  [ "$(cat "$work/inst/help/vorn.htm")" = "newer help" ] || fail "the newer help was replaced"
  ;;
update-without-version-file)
  mkdir -p "$work/inst"
  installed Vorn "$work/inst" 2.03
  start vorn-update.exe
  drive press "$title_update" 1 >/dev/null
  expect_box "Einde|$(winpath "$work/inst")\\lzx.ver not found"
  expect_box "Update report|The update has been applied."
  finish 0
  [ -z "$(ls -A "$work/inst")" ] || fail "the installation was touched"
  ;;
demo-install)
  # The directory rules, then the four commands in order.
  start_dde_server ""
  start vorn-demo.exe
  drive dump "$title_update" | grep -qx '2022|Edit|1|C:\\Program Files\\Vorn Demo' || fail "no default directory"
  for short in 'C:\' '\' 'C:\\\' 'ab\'; do
    drive set "$title_update" 2022 "$short" >/dev/null
    drive press "$title_update" 1 >/dev/null
    drive nobox "$title_update" 1500 >nobox.txt || fail "directory '$short' was not refused silently: $(cat nobox.txt)"
  done
  [ ! -s dde.log ] || fail "a command was sent for a refused directory"
  drive set "$title_update" 2022 "$(winpath "$work/demo")\\\\" >/dev/null
  drive press "$title_update" 1 >/dev/null
  expect_box "Installation finished|Installation completed."
  finish 0
  [ -f "$work/demo/help/vorn.htm" ] || fail "the demo was not installed into the directory without its backslashes"
  demo_commands "$work/demo" >want.txt
  tr -d '\r' <dde.log | diff want.txt - >&2 || fail "the program-manager commands differ"
  ;;
demo-refused-commands)
  for refuse in '[CreateGroup' '[AddItem("Z' "[AddItem(\"$(winpath "$work/d")\\Uninstall"; do
    start_dde_server "$refuse"
    rm -rf "$work/d"
    start vorn-demo.exe
    drive set "$title_update" 2022 "$(winpath "$work/d")" >/dev/null
    drive press "$title_update" 1 >/dev/null
    case $refuse in
    '[CreateGroup') expect_box "Error|SendShellCommand(CreateGroup) failed!"; sent=1 ;;
    '[AddItem("Z') expect_box "Error|SendShellCommand(AddItem) failed"; sent=3 ;;
    *) expect_box "Error|Creating UnInstall failed"; sent=4 ;;
    esac
    expect_box "Installation finished|Installation completed."
    finish 0
    demo_commands "$work/d" | head -n "$sent" >want.txt
    sed -i "${sent}s/\$/ -> refused/" want.txt
    tr -d '\r' <dde.log | diff want.txt - >&2 || fail "commands after refusing $refuse differ"
    kill "${pids[-2]}" 2>/dev/null || true
  done
  ;;
silent)
  # -silent: every outcome's status and log lines, and no window at all,
  # watched for while each program runs.
  log=$work/run.log
  silent_run() { # status, program, arguments...; the log's lines on standard input, in order
    local want=$1 status=0
    shift
    rm -f "$log"
    drive nowindow - 8000 >window.txt &
    local watcher=$!
    run "$bin/updater/$1" -silent "-logfile=$(winpath "$log")" "${@:2}" >program.out 2>program.err </dev/null || status=$?
    kill "$watcher" 2>/dev/null && wait "$watcher" 2>/dev/null || true
    [ ! -s window.txt ] || fail "$1 ${*:2}: a window appeared: $(cat window.txt)"
    [ "$status" -eq "$want" ] || fail "$1 ${*:2}: status $status, expected $want"
    local at=0 line
    tr -d '\r' <"$log" >log.txt
    while IFS= read -r line; do
      grep -nF -- "$line" log.txt | awk -F: -v at="$at" '$1 > at {print $1; exit}' >found.txt
      [ -s found.txt ] || { cat log.txt >&2; fail "$1 ${*:2}: no line '$line' after line $at"; }
      at=$(cat found.txt)
    done
  }
  prepare_installation "$work/inst"
  installed Vorn "$work/inst" 2.0
  silent_run 0 vorn-update.exe <<EOF
start: vorn-update (Vorn, update mode)
installation: $(winpath "$work/inst"), version 2.0
entry #help\\vorn.htm version 203: new: $(winpath "$work/inst")\\help\\vorn.htm
message [Update report] The update has been applied.
end: installed, status 0
EOF
  cmp -s "$VORN_SOURCE/data/help/vorn.htm" "$work/inst/help/vorn.htm" || fail "the help was not installed"
  rm "$work/inst/lzx.ver"
  silent_run 5 vorn-update.exe <<EOF
message [Einde] $(winpath "$work/inst")\\lzx.ver not found
end: version file missing, nothing installed, status 5
EOF
  installed Vorn "$work/inst" 1.9
  silent_run 4 vorn-update.exe <<EOF
message [Exit program] You need Vorn version 2.0 to be able to use this update.
end: installed version too old, status 4
EOF
  registry delete 'HKCU\Software\Talvik' /f || true
  silent_run 3 talvik-update.exe <<EOF
message [Exit program] Talvik directory not found
end: installation not found, status 3
EOF
  # Started directly (not through a function), so that $! is the wrapper,
  # whose time limit passes the signal on to Wine.
  "$VORN_WINE_RUN" "$bin/tests/win32/hold_marker.exe" Quillon 30 >held.txt &
  pids+=($!)
  for _ in $(seq 1 100); do grep -q held held.txt 2>/dev/null && break; sleep 0.1; done
  silent_run 1 vorn-update.exe <<EOF
message [Exit program] During updating Vorn should not be active.
end: the product is running, status 1
EOF
  kill "${pids[-1]}" 2>/dev/null || true
  wait "${pids[-1]}" 2>/dev/null || true
  silent_run 6 vorn-demo.exe -dir=ab <<EOF
demo directory: ab
end: demo directory refused (fewer than 4 characters), status 6
EOF
  start_dde_server '[CreateGroup'
  silent_run 7 vorn-demo.exe "-dir=$(winpath "$work/d")" <<EOF
message [Error] SendShellCommand(CreateGroup) failed!
end: program-manager entries failed, status 7
EOF
  kill "${pids[-1]}" 2>/dev/null || true
  start_dde_server ''
  silent_run 0 vorn-demo.exe "-dir=$(winpath "$work/e")" <<EOF
message [Installation finished] Installation completed.
end: installed, status 0
EOF
  demo_commands "$work/e" >want.txt
  tr -d '\r' <dde.log | sed 's/ -> ok$//' | diff want.txt - >&2 || fail "the silent demo's commands differ"
  ;;
demo-wine-program-manager)
  # Wine's own program manager adds items only for programs that exist.
  mkdir -p "$work/w"
  cp "$bin/tests/win32/hold_marker.exe" "$work/w/VornDemo.exe"
  cp "$bin/tests/win32/hold_marker.exe" "$work/w/Uninstall.exe"
  start vorn-demo.exe
  drive set "$title_update" 2022 "$(winpath "$work/w")" >/dev/null
  drive press "$title_update" 1 >/dev/null
  expect_box "Installation finished|Installation completed."
  finish 0
  find "$WINEPREFIX/drive_c" -type d -name 'Vorn Demo' | grep -q 'Start Menu' || fail "no Vorn Demo group in the Start Menu"
  ;;
*)
  fail "unknown case $case_name"
  ;;
esac
echo "ok: $case_name"
