#!/usr/bin/env bash
# Runs Windows programs under Wine in a private prefix: the CTest emulator of the
# Windows presets.
#   tools/wine-run.sh PREFIX PROGRAM [ARGS...]   runs PROGRAM; its exit status is returned
#   tools/wine-run.sh PREFIX --start             makes and boots the prefix on first use and
#                                                starts a persistent wineserver for it
#   tools/wine-run.sh PREFIX --stop              stops that wineserver and every process of the prefix
# Without --start, a program may start Wine's server and background services itself;
# they inherit its output pipe and CTest waits for them to let go of it (the whole
# Windows run took 37 s instead of 7.6 s). tools/test.sh starts the server before
# ctest and stops it after.
set -euo pipefail
if [ $# -lt 2 ]; then
  echo "usage: $0 PREFIX (PROGRAM [ARGS...] | --start | --stop)" >&2
  exit 2
fi
PREFIX="$1"
shift
export WINEPREFIX="$PREFIX" WINEARCH=win64 WINEDEBUG=-all
# No Mono or Gecko: the programs need neither, and their installers would ask.
# WinUSB: a WinUsb.dll beside the program comes before Wine's own stub, as it would on
# Windows, so the tests' own library is the one the programs load by name.
export WINEDLLOVERRIDES="mscoree,mshtml=;winusb=n,b"

# Makes and boots the prefix once; concurrent first runs wait for each other. Wine's
# processes never get the lock's descriptor: the services outlive the boot and would
# hold the lock.
# Display drivers: X11 when the environment names a display (the dialog tests run on
# a virtual one, Xvfb), else Wine's null driver, so that windows can still be created
# and found (the tests of the Windows host make some) without an X display. Wine
# reads the setting when a server's desktop starts, so the server that made the
# setting is stopped. No server of the prefix may be running while the setting is
# made (the first run of a prefix, or --start).
# Windows are not handed to a window manager: the virtual display has none, and Wine
# would wait 2 s for one at every window it hides. A program that crashes ends with
# its backtrace on standard error instead of a dialog that would wait for a user.
# The legacy updater's pages are set in "Times New Roman", which Wine does not have:
# it is replaced by Liberation Serif (the same metrics), so pages and pictures show
# the serif face the pages are laid out for.
make_prefix() {
  mkdir -p "$PREFIX"
  (
    flock 9
    if [ ! -e "$PREFIX/.vuq-booted" ] || ! grep -q '^"Graphics"="x11,null"' "$PREFIX/user.reg" 2>/dev/null ||
       ! grep -q '^"ShowCrashDialog"=dword:00000000' "$PREFIX/user.reg" 2>/dev/null ||
       ! grep -q '^"Times New Roman"="Liberation Serif"' "$PREFIX/user.reg" 2>/dev/null; then
      wine wineboot -i >/dev/null 2>&1 9>&-
      wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d x11,null /f >/dev/null 2>&1 9>&-
      wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 9>&-
      wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 9>&-
      wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'Times New Roman' /d 'Liberation Serif' /f >/dev/null 2>&1 9>&-
      wineserver -k >/dev/null 2>&1 || true
      wineserver -w >/dev/null 2>&1 || true
      touch "$PREFIX/.vuq-booted"
    fi
  ) 9>"$PREFIX.lock"
}

case "$1" in
  --start)
    mkdir -p "$PREFIX"
    # A server still up from an earlier run may be about to exit: replace it.
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
    make_prefix
    wineserver -p >/dev/null 2>&1
    # Boots the prefix: the first program of a server runs Wine's boot, which starts
    # the service manager and the services (and, with a display, the desktop that
    # every program with windows then shares); they stay up with the server, their
    # output on /dev/null. (An explicit "wineboot -i" as that first program would
    # boot twice and leave two service managers that each know other services.)
    (
      flock 9
      wine cmd /c exit >/dev/null 2>&1 9>&-
    ) 9>"$PREFIX.lock"
    ;;
  --stop)
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
    ;;
  *)
    make_prefix
    exec wine "$@"
    ;;
esac
