# Sourced by the scripts: start_display gives the session a display (a private 24-bit Xvfb
# on a free number when DISPLAY is unset); stop_display ends Wine and that Xvfb again.
KORVEL_XVFB_PID=
start_display() {
  if [ -n "${DISPLAY:-}" ]; then return 0; fi
  local n=90
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  KORVEL_XVFB_PID=$!
  export DISPLAY=":$n"
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
}
# Starts the prefix's Wine session (server, services, desktop) detached from this shell's
# output. A test program that started them itself would hand them its output pipe, and the
# test runner would wait on that pipe until the whole session ended.
start_wine_session() {
  "$1/wine-run"
  wineserver -p </dev/null >/dev/null 2>&1
  "$1/wine-run" cmd /c exit </dev/null >/dev/null 2>&1
}
stop_display() {
  [ -n "${WINEPREFIX:-}" ] && WINEPREFIX="$WINEPREFIX" wineserver -k >/dev/null 2>&1 || true
  if [ -n "$KORVEL_XVFB_PID" ]; then kill "$KORVEL_XVFB_PID" 2>/dev/null || true; wait "$KORVEL_XVFB_PID" 2>/dev/null || true; fi
}
