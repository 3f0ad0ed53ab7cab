#!/bin/sh
# Runs some of the launcher window's tests again at 144 DPI, in a Wine prefix of their own (the
# DPI is a setting of the whole prefix): boots the prefix when it is new, sets LogPixels (which
# every process reads when it starts), runs the tests with the X display of the caller in one
# process, so that they share one window, and ends that prefix's server.
#   launcher_window_hidpi.sh TEST_EXE PREFIX
# At this DPI a few tests stand for the rest: the DPI and the size and place of the window, two
# screens photographed and checked at the scale, and two clicks hit-tested at scaled positions.
# The run fails unless every one of them ran and passed, so that none can drop out unseen.
set -u
test_exe=$1
prefix=$2
tests='LauncherWindowTest.SystemDpiIsTheOneAsked'
tests="$tests:LauncherWindowTest.IsALayeredPopupCentredInTheWorkArea"
tests="$tests:EveryPhase/ScreenTest.LooksAsItsRowOfTheCatalogueSays/Phase0_consent"
tests="$tests:EveryPhase/ScreenTest.LooksAsItsRowOfTheCatalogueSays/Phase1_installing"
tests="$tests:LauncherWindowTest.ClickOnTryAgainStoresRetry"
tests="$tests:LauncherWindowTest.ClickOnTheButtonsEdgeCounts"
tests="$tests:LauncherWindowTest.ADisplayScaleChangeRedrawsAndHitTestsAtTheNewScale"
test_count=7

export WINEPREFIX="$prefix"
export WINEDEBUG=-all
# No Mono or Gecko installer prompts; no menu builder.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export NELO_EXPECT_DPI=144
if [ ! -f "$prefix/system.reg" ]; then
  mkdir -p "$prefix"
  wineboot -i </dev/null >/dev/null 2>&1
fi
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f \
  </dev/null >/dev/null 2>&1
log="$prefix/launcher_window_tests.log"
wine "$test_exe" --gtest_filter="$tests" </dev/null >"$log" 2>&1
status=$?
cat "$log"
wineserver -k </dev/null >/dev/null 2>&1
if [ "$status" -eq 0 ] && ! grep -q "^\[  PASSED  \] $test_count tests\." "$log"; then
  echo "launcher_window_hidpi.sh: not all of the $test_count tests ran and passed" >&2
  status=1
fi
exit "$status"
