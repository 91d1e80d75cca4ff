#!/usr/bin/env bash
# Builds Kelvora from scratch and runs every check: all tests; the Debian package with lintian;
# the core, link and simulator tests again under AddressSanitizer+UBSan and under ThreadSanitizer;
# the Windows build and its tests under Wine; the hex file and link fuzzers.
# Usage: scripts/test.sh [BUILD_DIR]   (default: build/ in the repository; it is wiped first)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="${1:-$root/build}"
fuzz_seconds="${KELVORA_FUZZ_SECONDS:-20}"
jobs="$(nproc)"

"$root/scripts/install-deps.sh"
"$root/scripts/check-format.sh"

rm -rf "$out"
mkdir -p "$out"

stage() { echo "== $* (${SECONDS} s since the start)"; }
configure() { local dir=$1; shift; cmake -S "$root" -B "$dir" -G Ninja -Wno-dev "$@" > "$dir.configure.log"; }

stage "release build and tests"
# -O2 as in RelWithDebInfo, without the debug info nobody reads here: a shorter build.
configure "$out/release" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -DNDEBUG"
cmake --build "$out/release" -j "$jobs"
# Many tests spend their time waiting for simulated erases: twice as many at once as cores.
ctest --test-dir "$out/release" --output-on-failure -j "$((jobs * 2))"

stage "install: kelvora with its desktop entry and icon"
cmake --install "$out/release" --prefix "$out/install" > /dev/null
for f in bin/kelvora share/applications/kelvora.desktop share/icons/hicolor/scalable/apps/kelvora.svg; do
  [ -f "$out/install/$f" ] || { echo "install: $f missing" >&2; exit 1; }
done

stage "package: the Debian package, lintian, and kelvora-cli from it"
# From the release build as it is: cpack installs and strips it, nothing is compiled again.
(cd "$out/release" && cpack -G DEB > "$out/release.cpack.log" 2>&1) || { cat "$out/release.cpack.log" >&2; exit 1; }
deb=("$out"/release/kelvora_*.deb)
lintian --fail-on error,warning "${deb[@]}"
dpkg -x "${deb[0]}" "$out/package-root"
"$out/package-root/usr/bin/kelvora-cli" --version
"$out/package-root/usr/bin/kelvora-cli" hexinfo "$out/package-root/usr/share/kelvora/targets/sample.hex"

stage "ASan+UBSan build and tests"
# Line tables only (-g1): the reports keep their files and lines, the build is shorter.
configure "$out/asan" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g1" -DKELVORA_SANITIZE=address \
  -DKELVORA_BUILD_BENCH=OFF
cmake --build "$out/asan" -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  ctest --test-dir "$out/asan" --output-on-failure -j "$((jobs * 2))"

stage "TSan build and tests (threads: serial port, link, simulator, the board session)"
configure "$out/tsan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" \
  -DKELVORA_SANITIZE=thread -DKELVORA_BUILD_BENCH=OFF
cmake --build "$out/tsan" -j "$jobs" --target test_serial test_link test_sim test_job test_cli_board kelvora-cli \
  kelvora-boardsim
# TSan's shadow memory needs the classic address layout; setarch -R is inherited by the tests.
# Of kelvora-cli (built with TSan too) only the cases with threads of its own: several boards
# at once, and Ctrl-C.
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  setarch "$(uname -m)" -R ctest --test-dir "$out/tsan" --output-on-failure -j "$jobs" \
  -L '^(test_serial|test_link|test_sim|test_job)$'
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  setarch "$(uname -m)" -R ctest --test-dir "$out/tsan" --output-on-failure -j "$jobs" \
  -L '^test_cli_board$' -R 'CliBoard\.(SeveralBoards|CtrlC)'
# The window's runs on their worker thread are checked by hand (README, Build options): a TSan
# build of Qt's widgets does not fit in CI's time.

stage "Windows build and tests under Wine (simulated boards on COM ports)"
"$root/scripts/test-windows.sh" "$out/windows" "$out/release/sim/kelvora-boardsim"

stage "fuzzers: build (clang, ASan+UBSan)"
CC=clang CXX=clang++ configure "$out/fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELVORA_FUZZ=ON \
  -DKELVORA_SANITIZE=address -DKELVORA_BUILD_TESTS=OFF -DKELVORA_BUILD_BENCH=OFF -DKELVORA_BUILD_TOOLS=OFF
cmake --build "$out/fuzz" -j "$jobs" --target hexfile_fuzz link_fuzz
# Each fuzzer grows a copy of its seeds; the committed corpus stays as it is.
for fuzzer in hexfile link; do
  stage "$fuzzer fuzzer (${fuzz_seconds} s)"
  mkdir -p "$out/fuzz/corpus-$fuzzer"
  cp "$root"/fuzz/corpus/"$fuzzer"/* "$out/fuzz/corpus-$fuzzer/"
  (cd "$out/fuzz" && "./fuzz/${fuzzer}_fuzz" -max_total_time="$fuzz_seconds" -print_final_stats=1 "corpus-$fuzzer")
done

stage "all checks passed"
