#!/usr/bin/env bash
# Pictures of Kelvora's windows for the documentation, taken from the real windows on Qt's
# offscreen platform against a simulated board; written to docs/ (or DIR) as PNG files.
# Usage: scripts/screenshot.sh [DIR [NAME...]]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${KELVORA_BUILD_DIR:-$root/build/release}"
out="${1:-$root/docs}"
shift || true

"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -Wno-dev -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build "$build" -j "$(nproc)" --target kelvora-screenshots
mkdir -p "$out"
QT_QPA_PLATFORM=offscreen "$build/tests/ui/kelvora-screenshots" "$out" "$@"
# The shots at a display scale of 2 (the window laid out as at 1, only larger).
QT_QPA_PLATFORM=offscreen QT_SCALE_FACTOR=2 "$build/tests/ui/kelvora-screenshots" "$out" "$@"
