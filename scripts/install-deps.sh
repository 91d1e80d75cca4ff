#!/usr/bin/env bash
# Installs the Debian packages Kelvora needs to build, test, fuzz and run its simulator.
# Idempotent: packages already installed are skipped, and apt-get runs only when one is missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ make pkg-config        # build
  libgtest-dev googletest                      # tests
  clang libclang-rt-14-dev                     # fuzzer (libFuzzer) and sanitizer runtimes
  clang-format                                 # the code's layout, checked by the test command
  qt6-base-dev qt6-base-dev-tools              # user interface
  libqt6svg6                                   # the window's SVG icons (image and icon-engine plugins)
  fonts-dejavu-core fonts-liberation           # dialog and log fonts (Liberation Mono stands in for Courier New)
  srecord binutils                             # reference tools for the hex round trips
  util-linux                                   # setarch, for TSan on kernels with wide ASLR
  libcli11-dev                                 # kelvora-cli: command-line parsing
  dpkg-dev                                     # dpkg-shlibdeps: dependencies of the Debian package (cpack -G DEB)
  help2man                                     # the programs' manual pages, from their --help
  lintian                                      # checks the Debian package
  g++-mingw-w64-x86-64-posix                   # Windows build (std::thread needs the POSIX thread model)
  wine wine64                                  # runs the Windows tests here
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all ${#packages[@]} packages present"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
