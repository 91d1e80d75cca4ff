#!/usr/bin/env bash
# Kelvora's main job: boot the board, erase the flash chip, program an Intel hex image and
# verify it. Without KELVORA_PORT a simulated board is started on a pseudo-terminal.
# Usage: scripts/run.sh [IMAGE.hex] [kelvora-flash options...]
#   KELVORA_PORT=/dev/ttyUSB0 scripts/run.sh my.hex --chip amd    (a real board)
set -euo pipefail

# The window. With a display and no arguments: build `kelvora` and the board simulator, start a
# simulated board registered for port discovery (it heads the Port list) and open the window in
# the folder of the sample target files; "&Connect" boots the simulated board.
if [ $# -eq 0 ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }; then
  w_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
  w_build="${KELVORA_BUILD_DIR:-$w_root/build/release}"
  "$w_root/scripts/install-deps.sh"
  cmake -S "$w_root" -B "$w_build" -G Ninja -Wno-dev -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
  cmake --build "$w_build" -j "$(nproc)" --target kelvora kelvora-boardsim
  exec {w_sim}< <(exec "$w_build/sim/kelvora-boardsim" --baud "${KELVORA_SIM_BAUD:-0}" \
                       --flash "$w_build/simulated-flash.bin")
  w_simpid=$!
  trap 'kill -TERM "$w_simpid" 2>/dev/null; wait "$w_simpid" 2>/dev/null || true' EXIT
  read -r -u "$w_sim" w_port
  echo "Simulated board on $w_port; the Port list shows it as kelvora-sim-$w_simpid"
  cd "$w_root/targets"
  "$w_build/ui/kelvora"
  exit 0
fi
if [ $# -eq 0 ]; then
  echo "run.sh: no display (DISPLAY and WAYLAND_DISPLAY unset), so the command-line job runs instead"
fi
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${KELVORA_BUILD_DIR:-$root/build/release}"
image="${1:-$root/targets/sample.hex}"
shift || true

"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -Wno-dev -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build "$build" -j "$(nproc)" --target kelvora-flash kelvora-boardsim

port="${KELVORA_PORT:-}"
ask=()                 # a real board is reset by hand: kelvora-flash waits for Enter
if [ -z "$port" ]; then
  ask=(--yes)          # the simulated board starts in its bootstrap loader
  # The simulated board keeps its flash in a file between runs, like a real one.
  exec {sim}< <(exec "$build/sim/kelvora-boardsim" --baud "${KELVORA_SIM_BAUD:-0}" \
                     --flash "$build/simulated-flash.bin")
  simpid=$!
  trap 'kill -TERM "$simpid" 2>/dev/null; wait "$simpid" 2>/dev/null || true' EXIT
  read -r -u "$sim" port
  echo "Simulated board on $port"
fi

"$build/tools/kelvora-flash" --port "$port" --dir "$root/targets" "${ask[@]}" "$@" "$image"
