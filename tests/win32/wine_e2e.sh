#!/usr/bin/env bash
# The Windows programs as a user runs them, under Wine: one case per call,
# named by the first argument. Message boxes are answered by the test build
# (VORN_UNATTENDED) and appear on standard error as "[caption]" and text.
#
# Environment: VORN_BIN (the cross build folder), VORN_WINE_RUN (the Wine
# wrapper), VORN_NATIVE_LZX (the native lzx, for the cross-check),
# VORN_OBJDUMP (the cross objdump), VORN_VERSION (the project's version),
# VORN_TOOLS (where resource_check.exe is; by default the tests' folder).
set -euo pipefail
case_name=$1
bin=$VORN_BIN
tools=${VORN_TOOLS:-$bin/tests/win32}
run() { "$VORN_WINE_RUN" "$@"; }
work=$(mktemp -d "${TMPDIR:-/tmp}/vorn-e2e-XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

fail() { echo "FAIL: $*" >&2; exit 1; }

# Runs a program; its status goes to $status, standard error to err.txt
# (as lines: the C runtime writes CR LF, and bash warns about locales that
# this machine lacks, which is no part of the program's output).
status=0
tidy() { tr -d '\r' <err.raw | grep -v '^bash: warning: setlocale' >err.txt || true; }
program() {
  status=0
  run "$@" >out.txt 2>err.raw </dev/null || status=$?
  tidy
}

expect_status() { [ "$status" -eq "$1" ] || { cat err.txt >&2; fail "status $status, expected $1"; }; }
expect_notice() { # caption, text: the whole of standard error
  printf '[%s]\n%s\n' "$1" "$2" >want.txt
  diff want.txt err.txt >&2 || fail "notices differ"
}

registry() { run reg "$@" >/dev/null 2>&1; }
forget_installation() {
  registry delete 'HKCU\Software\Vorn' /f || true
  registry delete 'HKCU\Software\Talvik' /f || true
}
# An installation at $1 with the help file of version 200 in its lzx.ver.
help_installed() {
  rm -rf "$1"
  mkdir -p "$1/help"
  printf 'installed help' >"$1/help/vorn.htm"
  head -c 432 /dev/zero >"$1/lzx.ver"
  printf '#help\\vorn.htm' | dd of="$1/lzx.ver" conv=notrunc status=none
  printf '\xc8' | dd of="$1/lzx.ver" bs=1 seek=260 conv=notrunc status=none # version 200
}
installed() { # location, version
  forget_installation
  registry add 'HKCU\Software\Vorn' /v Location /t REG_SZ /d "$1" /f
  registry add 'HKCU\Software\Vorn' /v Version /t REG_SZ /d "$2" /f
}

case $case_name in
pe-gui-program)
  for p in vorn-update vorn-demo talvik-update talvik-demo; do
    "$VORN_OBJDUMP" -p "$bin/updater/$p.exe" >dump.txt
    grep -q 'Magic.*010b.*(PE32)' dump.txt || fail "$p.exe is not a 32-bit PE file"
    grep -q 'Subsystem.*(Windows GUI)' dump.txt || fail "$p.exe is not a GUI program"
    # Statically linked: only system libraries are imported.
    if grep 'DLL Name' dump.txt | grep -qiv -E 'kernel32|user32|gdi32|advapi32|comctl32|msvcrt|shell32|ole32|api-ms-win'; then
      grep 'DLL Name' dump.txt >&2
      fail "$p.exe needs a library that Windows does not have"
    fi
  done
  ;;
runs-on-xp)
  # Windows XP's loader refuses a program that imports a function its
  # system libraries lack, or whose subsystem version is above 5.1, before
  # the program can say anything. These came with Vista or later.
  post_xp=(
    KERNEL32!GetTickCount64 KERNEL32!GetSystemTimePreciseAsFileTime KERNEL32!GetCurrentProcessorNumber
    KERNEL32!InitializeSRWLock KERNEL32!AcquireSRWLockExclusive KERNEL32!AcquireSRWLockShared
    KERNEL32!ReleaseSRWLockExclusive KERNEL32!ReleaseSRWLockShared KERNEL32!TryAcquireSRWLockExclusive
    KERNEL32!TryAcquireSRWLockShared KERNEL32!InitializeConditionVariable KERNEL32!SleepConditionVariableCS
    KERNEL32!SleepConditionVariableSRW KERNEL32!WakeConditionVariable KERNEL32!WakeAllConditionVariable
    KERNEL32!InitOnceInitialize KERNEL32!InitOnceExecuteOnce KERNEL32!InitOnceBeginInitialize
    KERNEL32!InitOnceComplete KERNEL32!FlsAlloc KERNEL32!FlsFree KERNEL32!FlsGetValue KERNEL32!FlsSetValue
    KERNEL32!InitializeCriticalSectionEx KERNEL32!CreateEventExA KERNEL32!CreateEventExW
    KERNEL32!CreateMutexExA KERNEL32!CreateMutexExW KERNEL32!CreateSemaphoreExW
    KERNEL32!GetFinalPathNameByHandleA KERNEL32!GetFinalPathNameByHandleW KERNEL32!CreateSymbolicLinkA
    KERNEL32!CreateSymbolicLinkW KERNEL32!GetFileInformationByHandleEx KERNEL32!SetFileInformationByHandle
    KERNEL32!CreateFile2 KERNEL32!CancelIoEx KERNEL32!GetErrorMode KERNEL32!QueryFullProcessImageNameA
    KERNEL32!QueryFullProcessImageNameW KERNEL32!GetLocaleInfoEx KERNEL32!LCMapStringEx
    KERNEL32!CompareStringEx KERNEL32!GetUserDefaultLocaleName KERNEL32!SetThreadStackGuarantee
    KERNEL32!GetThreadId KERNEL32!GetProcessIdOfThread KERNEL32!WerRegisterRuntimeExceptionModule
    ADVAPI32!RegGetValueA ADVAPI32!RegGetValueW ADVAPI32!RegDeleteTreeA ADVAPI32!RegDeleteTreeW
    ADVAPI32!RegSetKeyValueA ADVAPI32!RegSetKeyValueW ADVAPI32!RegCopyTreeA ADVAPI32!RegCopyTreeW
    USER32!SetProcessDPIAware USER32!IsProcessDPIAware USER32!ChangeWindowMessageFilter
    USER32!ChangeWindowMessageFilterEx USER32!GetDpiForWindow SHELL32!SHGetKnownFolderPath
    msvcrt!_fseeki64 msvcrt!_ftelli64 msvcrt!strnlen msvcrt!wcsnlen msvcrt!_get_errno msvcrt!_set_errno
    msvcrt!_create_locale msvcrt!_free_locale)
  for p in updater/vorn-update updater/vorn-demo updater/talvik-update updater/talvik-demo tools/lzx; do
    "$VORN_OBJDUMP" -p "$bin/$p.exe" >dump.txt
    # "DLL!function" for every import.
    awk '/^[^ \t]/ { dll = "" } # the next part of the dump
         /DLL Name:/ { dll = toupper($3); sub(/\.DLL$/, "", dll); if (dll == "MSVCRT") dll = "msvcrt" }
         dll != "" && /^\t[0-9a-f]+\t +[0-9]+ +[^ ]+$/ { print dll "!" $3 }' dump.txt >imports.txt
    [ -s imports.txt ] || fail "$p.exe: no imports read"
    bad=$(printf '%s\n' "${post_xp[@]}" | grep -Fxf - imports.txt || true)
    # The secure ("_s") C runtime functions came with Vista's msvcrt.dll.
    bad+=$(grep -E '^msvcrt!.*_s$' imports.txt || true)
    [ -z "$bad" ] || fail "$p.exe imports what Windows XP lacks:" $bad
    if grep 'DLL Name' dump.txt | grep -qi -E 'api-ms-win|ucrtbase|vcruntime|libwinpthread'; then
      fail "$p.exe needs a library that Windows XP does not have: $(grep 'DLL Name' dump.txt | tr -d '\t')"
    fi
    subsystem=$(awk '/MajorSubsystemVersion/ { major = $2 } /MinorSubsystemVersion/ { minor = $2 } END { print major * 100 + minor }' dump.txt)
    [ "$subsystem" -le 501 ] || fail "$p.exe asks for subsystem version $subsystem (XP is 5.1)"
  done
  ;;
manifest-as-invoker)
  # Without a manifest Vista and later take a program named "update" for an
  # installer and ask for elevation; then another account's settings are read.
  for p in updater/vorn-update updater/vorn-demo updater/talvik-update updater/talvik-demo tools/lzx; do
    program "$tools/resource_check.exe" "$bin/$p.exe" manifest
    [ "$status" -eq 0 ] || { cat err.txt >&2; fail "$p.exe: the manifest is missing or wrong"; }
  done
  ;;
icons-transparent)
  for p in vorn-update vorn-demo talvik-update talvik-demo; do
    program "$tools/resource_check.exe" "$bin/updater/$p.exe" icons 1001 1002 1004
    [ "$status" -eq 0 ] || { cat out.txt err.txt >&2; fail "$p.exe: an icon is not transparent where its mask says"; }
  done
  ;;
version-record)
  # One version (the project's) in every record; each program names its own
  # product line and mode.
  IFS=. read -r major minor <<<"$VORN_VERSION"
  for p in vorn-update:Vorn:update vorn-demo:Vorn:demo talvik-update:Talvik:update talvik-demo:Talvik:demo; do
    IFS=: read -r name product mode <<<"$p"
    program "$tools/resource_check.exe" "$bin/updater/$name.exe" version
    expect_status 0
    printf '%s\n' "fixed|$((10#$major)).$((10#$minor)).0.0|$((10#$major)).$((10#$minor)).0.0" "translation|0413|1252" \
      "CompanyName|$product Software" "FileDescription|$product $mode installer" "FileVersion|$VORN_VERSION" \
      "InternalName|$name" "LegalCopyright|(c) 2003 $product Software" "OriginalFilename|$name.exe" \
      "ProductName|$product" "ProductVersion|$VORN_VERSION" >want.txt
    tr -d '\r' <out.txt | diff want.txt - >&2 || fail "$name.exe: the version record differs"
  done
  ;;
no-installation)
  forget_installation
  program "$bin/updater/vorn-update.exe"
  expect_status 0
  expect_notice "Exit program" "Vorn directory not found"
  # The lookup left the empty key behind.
  run reg query 'HKCU\Software\Vorn' >/dev/null 2>&1 || fail "the key was not created"
  program "$bin/updater/talvik-update.exe" -dut
  expect_status 0
  expect_notice "Einde programma" "Talvik directory niet gevonden"
  ;;
too-old-version)
  installed 'C:\Vorn' 1.9
  program "$bin/updater/vorn-update.exe"
  expect_status 0
  expect_notice "Exit program" "You need Vorn version 2.0 to be able to use this update."
  installed 'C:\Vorn' ''
  program "$bin/updater/vorn-update.exe" -DUT
  expect_status 0
  expect_notice "Einde programma" "U heeft Vorn versie 2.0 nodig voor deze update."
  ;;
version-gate-passes)
  # Past the gate the dialog opens; without a display it cannot, and the
  # program ends normally without any message.
  installed 'C:\Vorn' 2.03
  program "$bin/updater/vorn-update.exe"
  expect_status 0
  [ ! -s err.txt ] || { cat err.txt >&2; fail "a message was shown"; }
  ;;
fatal-without-display)
  # A fatal error whose message box cannot appear (no display) ends with
  # status 1, and its text still reaches standard error. The fatal error:
  # an unattended option beyond the 259 characters that count.
  forget_installation
  status=0
  env -u DISPLAY -u WAYLAND_DISPLAY VORN_UNATTENDED=0 "$VORN_WINE_RUN" "$bin/updater/vorn-update.exe" \
    "$(printf 'x%.0s' $(seq 1 255))" -silent >out.txt 2>err.raw </dev/null || status=$?
  tidy
  expect_status 1
  grep -qx '\[Einde programma\]' err.txt || { cat err.txt >&2; fail "no text of the fatal error"; }
  ;;
product-running)
  forget_installation
  # Started directly (not through a function), so that $! is the wrapper
  # whose time limit passes the signal on to Wine.
  "$VORN_WINE_RUN" "$bin/tests/win32/hold_marker.exe" Quillon 60 >held.txt &
  holder=$!
  for _ in $(seq 1 100); do grep -q held held.txt 2>/dev/null && break; sleep 0.1; done
  grep -q held held.txt || fail "the marker holder did not start"
  program "$bin/updater/vorn-update.exe"
  expect_status 1
  expect_notice "Exit program" "During updating Vorn should not be active."
  # Refused before the settings were touched: no key was created.
  if run reg query 'HKCU\Software\Vorn' >/dev/null 2>&1; then fail "the key was created"; fi
  # The other line looks for its own marker only.
  program "$bin/updater/talvik-update.exe"
  expect_status 0
  kill "$holder" 2>/dev/null || true
  wait "$holder" 2>/dev/null || true
  ;;
damaged-update)
  # The program's own copy of the update damaged by one bit (in the coded
  # block, the index, the trailer): -silent ends with status 2 and the text
  # that nothing was changed, and the installation is byte for byte as it was.
  archive=$bin/updater/carried.lzx
  size=$(stat -c %s "$archive")
  # Found as the first 48 bytes in hexadecimal within the program's.
  pattern=$(od -An -v -tx1 -N48 "$archive" | tr -d ' \n')
  at=$(od -An -v -tx1 "$bin/updater/vorn-update.exe" | tr -d ' \n' |
       awk -v p="$pattern" '{ i = index($0, p); if (i % 2 == 1) print (i - 1) / 2 }')
  [ -n "$at" ] || fail "the carried update was not found in vorn-update.exe"
  index=$(od -An -tu4 -j4 -N4 "$archive" | tr -d ' ')
  inst=$WINEPREFIX/drive_c/VornDamaged
  for offset in 40 $((index - 2)) $((index + 3)) $((size - 2)); do
    help_installed "$inst"
    cp -a "$inst" before
    cp "$bin/updater/vorn-update.exe" damaged.exe
    byte=$(od -An -tu1 -j $((at + offset)) -N1 damaged.exe | tr -d ' ')
    printf "\\x$(printf %02x $((byte ^ 16)))" | dd of=damaged.exe bs=1 seek=$((at + offset)) conv=notrunc status=none
    installed 'C:\VornDamaged' 2.03
    # With -silent the log is where the message goes.
    rm -f "$WINEPREFIX/drive_c/damaged.log"
    program ./damaged.exe -silent '-logfile=C:\damaged.log'
    expect_status 2
    grep -qF "The update is damaged; nothing was changed." "$WINEPREFIX/drive_c/damaged.log" ||
      { cat "$WINEPREFIX/drive_c/damaged.log" >&2; fail "no word of the damage (byte $offset)"; }
    diff -r before "$inst" >&2 || fail "the installation changed (byte $offset)"
    rm -rf before
  done
  ;;
dutch-system | belgian-system)
  forget_installation
  locale=nl_NL.UTF-8
  [ "$case_name" = belgian-system ] && locale=nl_BE.UTF-8
  LC_ALL=$locale program "$bin/updater/vorn-update.exe"
  expect_status 0
  expect_notice "Einde programma" "Vorn directory niet gevonden"
  # An option after the system language still wins.
  LC_ALL=$locale program "$bin/updater/vorn-update.exe" -eng
  expect_notice "Exit program" "Vorn directory not found"
  ;;
cross-compress)
  [ -x "${VORN_NATIVE_LZX:-}" ] || { echo "no native lzx given: nothing to compare"; exit 0; }
  : >empty
  printf 'x' >one
  head -c 16383 /dev/urandom >r16383
  head -c 16384 /dev/zero >z16384
  head -c 16385 /dev/urandom >r16385
  for i in $(seq 1 4000); do echo "line $i of the Vorn help, with some words repeated: update help $((i % 37))"; done >text
  # A picture-like file of rows for the row transform.
  for i in $(seq 0 299); do printf '%0200d' "$((i % 7))"; done >rows
  for f in empty one r16383 z16384 r16385 text rows; do
    for mode in "" --huffman --rows; do
      native=0 win=0
      "$VORN_NATIVE_LZX" -f compress $mode "$f" "$f.native" >/dev/null 2>native.err || native=$?
      run "$bin/tools/lzx.exe" -f compress $mode "$f" "$f.win" >/dev/null 2>win.err || win=$?
      if [ "$native" -ne 0 ]; then
        # A file the mode cannot take: both refuse it, with the same text.
        [ "$win" -eq "$native" ] || fail "$f $mode: native status $native, Windows status $win"
        diff <(tr -d '\r' <win.err) native.err >&2 || fail "$f $mode: the refusals differ"
        continue
      fi
      [ "$win" -eq 0 ] || fail "$f ${mode:-(LZ)}: lzx.exe failed"
      cmp -s "$f.native" "$f.win" || fail "$f ${mode:-(LZ)}: the two tools wrote different bytes"
      run "$bin/tools/lzx.exe" -f decompress "$f.native" "$f.back-win" >/dev/null
      "$VORN_NATIVE_LZX" -f decompress "$f.win" "$f.back-native" >/dev/null
      cmp -s "$f" "$f.back-win" || fail "$f ${mode:-(LZ)}: lzx.exe does not read the native file back"
      cmp -s "$f" "$f.back-native" || fail "$f ${mode:-(LZ)}: lzx does not read the Windows file back"
    done
  done
  ;;
names-beyond-ascii)
  # Names outside ASCII, packed on Linux, written and packed again by the
  # Windows tool under two system code pages (1252, and Greek 1253, which has
  # none of these letters): the same names and records come back.
  [ -x "${VORN_NATIVE_LZX:-}" ] || { echo "no native lzx given: nothing to compare"; exit 0; }
  mkdir -p tree/help/nl 'tree/café'
  printf 'overview' >'tree/help/nl/Überblick.htm'
  printf 'naive' >'tree/café/naïve'
  printf 'euro' >'tree/€ and Œ.txt'
  "$VORN_NATIVE_LZX" -q mklist tree --version 300 -o tree.list
  "$VORN_NATIVE_LZX" -q pack tree.list
  "$VORN_NATIVE_LZX" -q decompress tree.lzx tree.records
  # Wine takes the code page from the locale and writes Linux names in the
  # locale's encoding, so the Greek one must exist: made here from the
  # locales package's sources.
  localedef -i el_GR -f UTF-8 "$work/el_GR.UTF-8" 2>/dev/null || fail "cannot make the locale el_GR.UTF-8"
  export LOCPATH=$work
  for locale in C.UTF-8 el_GR.UTF-8; do
    rm -rf out out.lzx back.list back.records
    LC_ALL=$locale program "$bin/tools/lzx.exe" unpack tree.lzx out
    expect_status 0
    diff -r tree out >&2 || fail "$locale: the unpacked tree differs"
    LC_ALL=$locale program "$bin/tools/lzx.exe" mklist out --version 300 -o back.list
    expect_status 0
    LC_ALL=$locale program "$bin/tools/lzx.exe" pack back.list
    expect_status 0
    "$VORN_NATIVE_LZX" -q decompress out.lzx back.records
    cmp tree.records back.records || fail "$locale: the Windows archive's records differ"
    # The updater's own names come through whole too: a log at a folder so named.
    rm -rf 'Überblick logs'
    mkdir 'Überblick logs'
    forget_installation
    LC_ALL=$locale program "$bin/updater/vorn-update.exe" -silent "-logfile=Z:${work//\//\\}\\Überblick logs\\run.log"
    grep -q "start: vorn-update" 'Überblick logs/run.log' || fail "$locale: no log in the folder named"
  done
  "$VORN_NATIVE_LZX" list tree.lzx | grep -qF '#help\nl\Überblick.htm' || fail "lzx list shows another name"
  ;;
file-in-use)
  # A file of the installation that another program holds open without
  # sharing: with -silent nobody is asked; the file is named, the
  # installation stays as it was, status 2.
  inst=$WINEPREFIX/drive_c/VornInUse
  help_installed "$inst"
  cp -a "$inst" before
  installed 'C:\VornInUse' 2.03
  run "$tools/hold_file.exe" 'C:\VornInUse\help\vorn.htm' 20 >held.txt 2>/dev/null &
  holder=$!
  for _ in $(seq 100); do grep -q held held.txt 2>/dev/null && break; sleep 0.1; done
  grep -q held held.txt || fail "the file could not be held"
  program "$bin/updater/vorn-update.exe" -silent '-logfile=C:\inuse.log'
  expect_status 2
  grep -qF 'File Error : name = [C:\VornInUse\help\vorn.htm] code = 211' "$WINEPREFIX/drive_c/inuse.log" ||
    { cat "$WINEPREFIX/drive_c/inuse.log" >&2; fail "the log does not name the file"; }
  diff -r before "$inst" >&2 || fail "the installation changed"
  kill "$holder" 2>/dev/null || true
  wait "$holder" 2>/dev/null || true
  ;;
*)
  fail "unknown case $case_name"
  ;;
esac
echo "ok: $case_name"
