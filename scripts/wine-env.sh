# Sourced by the scripts that run Windows programs: a private Wine prefix and an X display.
#   wine_env_start PREFIX   sets WINEPREFIX, WINEDEBUG and DISPLAY (a fresh Xvfb unless
#                           NELO_USE_DISPLAY=1 and DISPLAY is set) and boots the prefix
#   wine_env_stop           ends that prefix's server and the Xvfb started here

wine_env_start() {
  export WINEPREFIX="$1"
  export WINEDEBUG=-all
  # No Mono or Gecko installer prompts; no menu builder copying shortcut icons into $HOME.
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  NELO_XVFB_PID=""
  if [ "${NELO_USE_DISPLAY:-0}" != 1 ] || [ -z "${DISPLAY:-}" ]; then
    local n=90
    while [ -e "/tmp/.X${n}-lock" ] || [ -e "/tmp/.X11-unix/X${n}" ]; do n=$((n + 1)); done
    Xvfb ":${n}" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
    NELO_XVFB_PID=$!
    export DISPLAY=":${n}"
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${n}" ] && break; sleep 0.1; done
  fi
  mkdir -p "$WINEPREFIX"
  # Wine's background services inherit the standard handles of the first process; start them
  # with none of ours attached, so that captured output of later programs reaches its end.
  wineboot -i </dev/null >/dev/null 2>&1 || true
  # A server lingers a few seconds after the last process and would refuse to become
  # persistent: wait for it to end first.
  wineserver -w </dev/null >/dev/null 2>&1 || true
  wineserver -p </dev/null >/dev/null 2>&1 || true
  wine cmd /c exit </dev/null >/dev/null 2>&1 || true
  # The prefix's desktop and Start menu point into $HOME by default; keep the shortcuts that
  # the programs write inside the prefix.
  local shell_folders='HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders'
  mkdir -p "$WINEPREFIX/drive_c/nelo-shell/Desktop" "$WINEPREFIX/drive_c/nelo-shell/Programs"
  wine reg add "$shell_folders" /v Desktop /t REG_EXPAND_SZ /d 'C:\nelo-shell\Desktop' /f \
    </dev/null >/dev/null 2>&1 || true
  wine reg add "$shell_folders" /v Programs /t REG_EXPAND_SZ /d 'C:\nelo-shell\Programs' /f \
    </dev/null >/dev/null 2>&1 || true
}

wine_env_stop() {
  wineserver -k </dev/null >/dev/null 2>&1 || true
  if [ -n "${NELO_XVFB_PID:-}" ]; then
    kill "$NELO_XVFB_PID" 2>/dev/null || true
    wait "$NELO_XVFB_PID" 2>/dev/null || true
  fi
}
