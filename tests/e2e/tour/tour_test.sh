#!/usr/bin/env bash
# The demo's guided tour against k40sim, as a test: every step must show what
# it should, and every screenshot must be written.
set -euo pipefail
sim="$1"; tour="$2"
run="$(mktemp -d)"
"$sim" --link "$run/com1" --static --quiet >"$run/path" &
pid=$!
trap 'kill -TERM $pid 2>/dev/null; wait $pid 2>/dev/null; rm -rf "$run"' EXIT
for _ in $(seq 100); do [ -e "$run/com1" ] && break; sleep 0.02; done
K40_COM1="$run/com1" QT_QPA_PLATFORM=offscreen "$tour" --out "$run/shots"
[ "$(ls "$run/shots"/*.png | wc -l)" -eq 7 ]
