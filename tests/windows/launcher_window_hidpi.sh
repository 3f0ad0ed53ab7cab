#!/bin/sh
# Runs the launcher window's tests again at 144 DPI, in a Wine prefix of their own (the DPI is a
# setting of the whole prefix): makes and boots the prefix once, sets LogPixels, runs the tests
# with the X display of the caller, and ends that prefix's server.
#   launcher_window_hidpi.sh TEST_EXE PREFIX
set -u
test_exe=$1
prefix=$2
export WINEPREFIX="$prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export NELO_EXPECT_DPI=144
if [ ! -f "$prefix/system.reg" ]; then
  mkdir -p "$prefix"
  wineboot -i </dev/null >/dev/null 2>&1
fi
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f \
  </dev/null >/dev/null 2>&1
# The DPI is read when the server starts: restart it with the setting in place.
wineserver -k </dev/null >/dev/null 2>&1
wineserver -w </dev/null >/dev/null 2>&1
wine "$test_exe" </dev/null
status=$?
wineserver -k </dev/null >/dev/null 2>&1
exit $status
