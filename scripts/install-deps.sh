#!/usr/bin/env bash
# Installs every Debian 12 package that the build, the tests, the benchmarks
# and the demo need. Safe to run again: packages already present are skipped,
# and the package index is refreshed at most once per run.
set -euo pipefail

packages=(
  build-essential cmake pkg-config git
  clang clang-format libclang-rt-14-dev
  libboost-dev libboost-log-dev libboost-thread-dev libboost-system-dev
  libboost-date-time-dev
  libprotobuf-dev protobuf-compiler
  libtbb-dev
  libgtk2.0-dev libx11-dev
  googletest libgtest-dev libgmock-dev
  libbenchmark-dev
  xvfb xauth x11-utils imagemagick
  binutils procps
  # Peers measured by the benchmarks only.
  qtbase5-dev libsigc++-2.0-dev valgrind util-linux python3
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all ${#packages[@]} packages present"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q </dev/null
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}" </dev/null
