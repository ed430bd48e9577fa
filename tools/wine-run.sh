#!/usr/bin/env bash
# Runs a 64-bit Windows program under Wine in a Wine prefix of its own and returns its exit status.
#
#   tools/wine-run.sh PREFIX PROGRAM [ARG...]         on a private Xvfb display (tests, screenshots)
#   tools/wine-run.sh --here PREFIX PROGRAM [ARG...]  on the user's $DISPLAY
#
# The prefix is made on first use (wineboot, about 10 s) with a 1024 x 768 virtual desktop, so
# that windows get their captions without a window manager. Runs on one prefix take turns.
set -euo pipefail

own_display=1
if [ "${1:-}" = "--here" ]; then own_display=0; shift; fi
[ $# -ge 2 ] || { echo "usage: $0 [--here] PREFIX PROGRAM [ARG...]" >&2; exit 2; }
prefix=$(realpath -m "$1"); shift

wine=${WINE64:-/usr/lib/wine/wine64}
export WINESERVER=${WINESERVER:-/usr/lib/wine/wineserver64}
export WINEPREFIX=$prefix
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="  # no offer to install Mono or Gecko
export WINEARCH=win64

mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9

xvfb_pid=""
finish() {
  "$WINESERVER" -k 2>/dev/null || true  # ends only this prefix's Wine processes
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
}
trap finish EXIT

if [ "$own_display" = 1 ]; then
  display_file=$(mktemp)
  Xvfb -displayfd 8 -screen 0 1024x768x24 -nolisten tcp 8>"$display_file" 2>/dev/null &
  xvfb_pid=$!
  for _ in $(seq 100); do [ -s "$display_file" ] && break; sleep 0.1; done
  [ -s "$display_file" ] || { echo "wine-run: Xvfb did not start" >&2; exit 1; }
  export DISPLAY=":$(head -n1 "$display_file")"
  rm -f "$display_file"
fi

if [ ! -f "$prefix/.veltrass-ready" ]; then
  "$wine" wineboot -i >/dev/null 2>&1
  "$wine" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
  "$wine" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
  "$wine" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  "$WINESERVER" -w  # lets the server write the registry before anything else starts
  touch "$prefix/.veltrass-ready"
fi

status=0
"$wine" "$@" || status=$?
exit "$status"
