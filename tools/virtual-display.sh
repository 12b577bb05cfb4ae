# Sourced by tools/test.sh and tools/screenshots.sh: start_virtual_display starts a
# virtual X display (Xvfb, 1280x1024, 24-bit) on the first free number from 90 on
# and exports DISPLAY; XVFB_PID holds its process for stop_virtual_display. A number
# another run takes at the same moment makes that Xvfb exit; the next is tried then.
start_virtual_display() {
  local NUMBER=89
  XVFB_PID=""
  while [ -z "$XVFB_PID" ]; do
    NUMBER=$((NUMBER + 1))
    if [ -e "/tmp/.X$NUMBER-lock" ] || [ -e "/tmp/.X11-unix/X$NUMBER" ]; then
      continue
    fi
    Xvfb ":$NUMBER" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    for _ in $(seq 100); do
      [ -e "/tmp/.X11-unix/X$NUMBER" ] && break
      kill -0 "$XVFB_PID" 2>/dev/null || break
      sleep 0.1
    done
    kill -0 "$XVFB_PID" 2>/dev/null || XVFB_PID=""
  done
  export DISPLAY=":$NUMBER"
}

stop_virtual_display() {
  if [ -n "${XVFB_PID:-}" ]; then
    kill "$XVFB_PID" 2>/dev/null || true
  fi
}
