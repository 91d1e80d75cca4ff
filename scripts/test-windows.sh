#!/usr/bin/env bash
# Cross-builds the core, the command-line tool and the core's tests for Windows (mingw-w64) and
# runs them under Wine against board simulators that run here on Linux, each reached through a
# COM port of the Wine prefix (a link in its dosdevices folder to the simulator's pty):
#   COM5  board A, its flash kept in a file   - serial port and link tests
#   COM6  board B, identification byte C3     - two ports open at once
#   COM7  board C, its flash kept in a file   - the command-line tool flashing boards C and D at
#   COM8  board D, its flash kept in a file     once, at the same time as the link tests on COM5
# Afterwards the flash of boards A, C and D must equal the image.
# Usage: scripts/test-windows.sh BUILD_DIR [KELVORA_BOARDSIM]
#   BUILD_DIR is wiped; KELVORA_BOARDSIM is the Linux simulator (default: built in BUILD_DIR/host).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="${1:?usage: scripts/test-windows.sh BUILD_DIR [KELVORA_BOARDSIM]}"
boardsim="${2:-}"
jobs="$(nproc)"
image=  # made below: a part of the sample, as Wine makes every echoed byte slow

rm -rf "$out"
mkdir -p "$out"
out="$(cd "$out" && pwd)"

if [ -z "$boardsim" ]; then
  echo "-- Linux board simulator"
  cmake -S "$root" -B "$out/host" -G Ninja -Wno-dev -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKELVORA_BUILD_BENCH=OFF > "$out/host.configure.log"
  cmake --build "$out/host" -j "$jobs" --target kelvora-boardsim
  boardsim="$out/host/sim/kelvora-boardsim"
fi

echo "-- Windows build (mingw-w64, static)"
# Without debug info: statically linked executables with it take long to link.
cmake -S "$root" -B "$out/build" -G Ninja -Wno-dev -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -DNDEBUG" \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" > "$out/build.configure.log"
cmake --build "$out/build" -j "$jobs"
(cd "$out/build" && cpack -G ZIP > "$out/cpack.log")
ls "$out/build"/*.zip

# Two runs in two sectors from the sample: 4 KiB, lock-step through Wine in seconds, not minutes.
image="$out/image.hex"
srec_cat "$root/targets/sample.hex" -intel -crop 0 0x800 0x10000 0x10800 -o "$image" -intel \
  -output_block_size 16

echo "-- Wine prefix"
export WINEPREFIX="$out/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="   # no Mono or Gecko installer
unset DISPLAY                               # headless: nothing here opens a window
wineboot -i > "$out/wineboot.log" 2>&1
# Windows 10, so the version test sees the compatibility shims that make GetVersionEx say 6.2.
wine winecfg -v win10 >> "$out/wineboot.log" 2>&1
winpath() { wine winepath -w "$1" 2>/dev/null | tr -d '\r'; }

pids=()
stop_boards() {
  for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  pids=()
}
trap 'stop_boards; wineserver -k 2>/dev/null || true' EXIT

# start_board COMn [simulator options]: the simulator prints its pty as its first line.
start_board() {
  local com=$1 fd pty
  shift
  exec {fd}< <(exec "$boardsim" --name "kelvora-wine-$com-$$" "$@")
  pids+=($!)
  read -r -u "$fd" pty
  ln -sfn "$pty" "$WINEPREFIX/dosdevices/${com,,}"
  echo "$com -> $pty"
}

# same_as_image FLASH_FILE: the flash holds the image, and 0xFF everywhere else.
same_as_image() {
  local flash=$1 bin="$out/image.bin"
  objcopy -I ihex -O binary --gap-fill 0xFF "$image" "$bin"   # the image starts at address 0
  local size
  size=$(stat -c %s "$bin")
  cmp -n "$size" "$bin" "$flash" &&
    [ "$(tail -c +$((size + 1)) "$flash" | tr -d '\377' | wc -c)" -eq 0 ] &&
    echo "$flash equals $(basename "$image")"
}

start_board COM5 --flash "$out/board-a.flash"
start_board COM6 --cpu-id C3
start_board COM7 --flash "$out/board-c.flash"
start_board COM8 --flash "$out/board-d.flash"

tests="$out/build/tests/windows"
export KELVORA_TEST_PORTS=COM5,COM6
export KELVORA_TEST_TARGETS="$(winpath "$root/targets")"
export KELVORA_TEST_IMAGE="$(winpath "$image")"
export KELVORA_TEST_OS_NAME="Windows 10"

echo "-- discovery and version names"
wine "$tests/test_win_discovery.exe"
if [ -f "$tests/test_win_cli.exe" ]; then
  echo "-- the command-line tool's Windows rules"
  wine "$tests/test_win_cli.exe"
fi
echo "-- serial port"
wine "$tests/test_win_serial.exe"

# The link tests on COM5 and the command-line tool on COM7 and COM8, all at the same time.
echo "-- link tests (COM5) and the command-line tool (COM7, COM8)"
cli_pid=
if [ -f "$out/build/tools/kelvora-cli.exe" ]; then
  # Pipelined, as USB adapters want it: the link tests on COM5 are lock-step, as the window.
  wine "$out/build/tools/kelvora-cli.exe" flash "$KELVORA_TEST_IMAGE" --port COM7 --port COM8 --no-prompt \
    --dir "$KELVORA_TEST_TARGETS" --pipeline > "$out/cli.log" 2>&1 &
  cli_pid=$!
else
  echo "no command-line tool in this build: COM7 not used"
fi
wine "$tests/test_win_link.exe"
if [ -n "$cli_pid" ]; then
  status=0
  wait "$cli_pid" || status=$?
  cat "$out/cli.log"
  [ "$status" -eq 0 ] || { echo "the command-line tool failed ($status)"; exit 1; }
fi

stop_boards
same_as_image "$out/board-a.flash"
if [ -n "$cli_pid" ]; then
  same_as_image "$out/board-c.flash"
  same_as_image "$out/board-d.flash"
fi
echo "-- Windows checks passed"
