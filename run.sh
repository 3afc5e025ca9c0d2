#!/usr/bin/env bash
# Builds the tuner and starts it.
#
#   ./run.sh [ENGLISH|CESKY|DEUTSCH]         with the simulated unit on COM1, when it is built,
#                                            and settings of its own that are thrown away after
#   ./run.sh --real [ENGLISH|CESKY|DEUTSCH]  on your own settings and serial ports
#
# BUILD_DIR overrides the build folder (default: build).
set -euo pipefail
cd "$(dirname "$0")"

real=0
args=()
for a in "$@"; do
  if [ "$a" = "--real" ]; then real=1; else args+=("$a"); fi
done

case "${QT_QPA_PLATFORM:-}" in
  offscreen*|minimal*|vnc*|eglfs*|linuxfb*) ;;
  *)
    if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
      echo "run.sh: no display: neither DISPLAY nor WAYLAND_DISPLAY is set." >&2
      echo "run.sh: start it from a desktop session (or e.g. under xvfb-run)." >&2
      exit 2
    fi
    ;;
esac

./scripts/install-deps.sh
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" -j "$(nproc)" --target velmora52
if grep -q '^build velmora52-sim:' "$build/build.ninja"; then
  cmake --build "$build" -j "$(nproc)" --target velmora52-sim
fi

program="$build/velmora52"
sim="$build/velmora52-sim"

if [ "$real" -eq 1 ] || [ ! -x "$sim" ]; then
  [ "$real" -eq 1 ] || echo "run.sh: no simulated unit built; using your own settings." >&2
  exec "$program" "${args[@]}"
fi

# A private settings folder whose COM1 is the simulated unit.
private=$(mktemp -d "${TMPDIR:-/tmp}/velmora52-run.XXXXXX")
link="$private/ttyVelmora"
sim_pid=""
cleanup() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  rm -rf "$private"
}
trap cleanup EXIT

"$sim" --link "$link" &
sim_pid=$!
for _ in $(seq 50); do
  [ -e "$link" ] && break
  kill -0 "$sim_pid" 2>/dev/null || { echo "run.sh: the simulated unit did not start" >&2; exit 1; }
  sleep 0.1
done
[ -e "$link" ] || { echo "run.sh: the simulated unit did not create $link" >&2; exit 1; }

cat >"$private/Velmora52.ini" <<EOF
[FORM_HLAV]
ComPort=1

[PORTS]
COM1=$link
EOF

echo "run.sh: simulated unit on $link (COM1); settings in $private" >&2
XDG_CONFIG_HOME="$private" XDG_DATA_HOME="$private" "$program" "${args[@]}" &
prog_pid=$!
# Ctrl+C, kill or logout reach the program as SIGTERM, which closes it as its close button
# does; the simulated unit is stopped once it has gone.
trap 'kill -TERM "$prog_pid" 2>/dev/null || true' INT TERM HUP
status=0
for _ in 1 2 3 4 5; do
  if wait "$prog_pid"; then status=0; break; else status=$?; fi
  [ "$status" -gt 128 ] || break # the program's own exit status, not an interrupted wait
done
exit "$status"
