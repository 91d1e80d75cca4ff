#!/usr/bin/env bash
# Kelvora's main job: boot the board, erase what the image needs, program an Intel hex image and
# verify it, with kelvora-cli. Without KELVORA_PORT a simulated board is started on a
# pseudo-terminal and nothing waits for a reset.
# Usage: scripts/run.sh [IMAGE.hex] [kelvora-cli flash options...]   (in any order)
#   KELVORA_PORT=/dev/ttyUSB0 scripts/run.sh my.hex --flash-chip AMD --dir /path/to/loaders
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${KELVORA_BUILD_DIR:-$root/build/release}"

# Starts kelvora-boardsim (registered for port discovery) and sets `port` to its device.
# The simulated board keeps its flash in a file between runs, like a real one.
start_simulator() {
  exec {sim}< <(exec "$build/sim/kelvora-boardsim" --baud "${KELVORA_SIM_BAUD:-0}" \
                     --flash "$build/simulated-flash.bin")
  simpid=$!
  trap 'kill -TERM "$simpid" 2>/dev/null; wait "$simpid" 2>/dev/null || true' EXIT
  read -r -u "$sim" port
}

# The window. With a display and no arguments: build `kelvora` and the board simulator, start a
# simulated board registered for port discovery (it heads the Port list) and open the window in
# the folder of the sample target files; "&Connect" boots the simulated board.
if [ $# -eq 0 ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }; then
  "$root/scripts/install-deps.sh"
  cmake -S "$root" -B "$build" -G Ninja -Wno-dev -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
  cmake --build "$build" -j "$(nproc)" --target kelvora kelvora-boardsim
  start_simulator
  echo "Simulated board on $port; the Port list shows it as kelvora-sim-$simpid"
  cd "$root/targets"
  "$build/ui/kelvora"
  exit 0
fi
if [ $# -eq 0 ]; then
  echo "run.sh: no display (DISPLAY and WAYLAND_DISPLAY unset), so the command-line job runs instead"
fi
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -Wno-dev -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null

# ---- command line: kelvora-cli flash on a real or simulated board -------------------------
run_cli() {
  cmake --build "$build" -j "$(nproc)" --target kelvora-cli kelvora-boardsim
  # The image is the first argument that is neither an option nor an option's value.
  local args=("$@") image="" have_dir="" i=0
  while [ $i -lt ${#args[@]} ]; do
    case "${args[$i]}" in
      -p|--port|-b|--baud|--flash-chip|--erase) i=$((i + 1)) ;;
      -d|--dir) have_dir=1; i=$((i + 1)) ;;
      --dir=*) have_dir=1 ;;
      -*) ;;
      *) [ -z "$image" ] && image="${args[$i]}" ;;
    esac
    i=$((i + 1))
  done
  # Relative to where the operator stands, so that the log shows a short path.
  [ -n "$image" ] || args+=("$(realpath --relative-to=. "$root/targets/sample.hex")")
  [ -n "$have_dir" ] || args+=(--dir "$root/targets")

  port="${KELVORA_PORT:-}"
  if [ -n "$port" ]; then
    # A real board is reset by hand: kelvora-cli asks for it and waits for Enter.
    "$build/tools/kelvora-cli" flash --port "$port" "${args[@]}"
    return
  fi
  # The simulated board starts in its bootstrap loader: nothing waits for a reset.
  start_simulator
  echo "Simulated board on $port"
  "$build/tools/kelvora-cli" flash --port "$port" --no-prompt "${args[@]}"
}
# ---------------------------------------------------------------------------------------------

run_cli "$@"
