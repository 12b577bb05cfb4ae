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
boot_once() {
  mkdir -p "$PREFIX"
  (
    flock 9
    if [ ! -e "$PREFIX/.vuq-booted" ]; then
      wine wineboot -i >/dev/null 2>&1 9>&-
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
    wineserver -p >/dev/null 2>&1
    # Boots the prefix (making it on first use); the services the boot starts stay up
    # with the server, their output on /dev/null.
    (
      flock 9
      wine wineboot -i >/dev/null 2>&1 9>&-
      touch "$PREFIX/.vuq-booted"
    ) 9>"$PREFIX.lock"
    ;;
  --stop)
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
    ;;
  *)
    boot_once
    exec wine "$@"
    ;;
esac
