#!/usr/bin/env bash
# Runs a Windows program under Wine with a private prefix and a virtual display.
#   wine-run.sh --init       create the prefix and start the display (once per test run)
#   wine-run.sh --shutdown   stop the Wine server and the display
#   wine-run.sh PROGRAM ARGS run PROGRAM
set -u
export WINEDEBUG=-all
export WINEPREFIX="${DRELVANT_WINEPREFIX:-/tmp/drelvant-wine-$(id -u)}"
export WINEDLLOVERRIDES="mscoree,mshtml="
display_number="${DRELVANT_DISPLAY_NUMBER:-97}"
lock="/tmp/.X${display_number}-lock"
lock_pid() { tr -d ' ' < "$lock"; }

start_display() {
  if [ -z "${DISPLAY:-}" ] || [ -n "${DRELVANT_DISPLAY_NUMBER:-}" ]; then
    # A lock left by a display that no longer runs (a machine restarted with /tmp kept) would
    # keep a new one from starting.
    if [ -e "$lock" ] && ! kill -0 "$(lock_pid)" 2>/dev/null; then
      rm -f "$lock" "/tmp/.X11-unix/X${display_number}"
    fi
    if [ ! -e "$lock" ]; then
      (Xvfb ":${display_number}" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &)
      for _ in $(seq 50); do [ -e "$lock" ] && break; sleep 0.1; done
    fi
    export DISPLAY=":${display_number}"
  fi
}

case "${1:-}" in
  --init)
    start_display
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      wineboot -i >/dev/null 2>&1
      # Without a window manager Wine waits for one each time a window closes; unmanaged
      # windows close at once.
      wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
      wineserver -w
    fi
    exit 0 ;;
  --shutdown)
    wineserver -k >/dev/null 2>&1 || true
    if [ -e "$lock" ]; then kill "$(lock_pid)" 2>/dev/null || true; fi
    exit 0 ;;
esac

start_display
wine "$@"
status=$?
exit $status
