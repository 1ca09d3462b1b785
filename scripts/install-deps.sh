#!/usr/bin/env bash
# Installs the Debian packages needed to build, test and benchmark image2d.
# Idempotent: only packages that are missing are installed.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config ccache
  qt6-base-dev qt6-image-formats-plugins
  libtbb-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libgdcm-dev zlib1g-dev
  # The Python package (python/), its tests and batch runs, and the API reference (docs target).
  pybind11-dev python3-dev python3-numpy python3-pytest python3-dask python3-distributed
  doxygen
)
# OpenCV is only a benchmark baseline; never a dependency of the library.
if [[ "${IMAGE2D_WITH_OPENCV:-0}" == 1 ]]; then packages+=(libopencv-dev); fi
# The fuzz targets (cmake --preset fuzz) need clang and its libFuzzer runtime.
if [[ "${IMAGE2D_WITH_FUZZ:-0}" == 1 ]]; then packages+=(clang-14 libclang-rt-14-dev libfuzzer-14-dev); fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo_cmd=()
[[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)
echo "installing: ${missing[*]}" >&2
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
