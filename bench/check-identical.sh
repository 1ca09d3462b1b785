#!/usr/bin/env bash
# Shows that the current tree computes bit-identical outputs to an earlier revision:
# builds image2d_digests at BASE (default HEAD) in a scratch worktree and in the current
# build tree, runs both on the benchmark images and compares the digests line by line.
# Usage: bench/check-identical.sh [BASE_REVISION]
set -euo pipefail
cd "$(dirname "$0")/.."
base=${1:-HEAD}
scratch=$(mktemp -d /tmp/image2d-base.XXXXXX)
trap 'git worktree remove --force "$scratch/src" >/dev/null 2>&1 || true; rm -rf "$scratch"' EXIT

git worktree add --detach -q "$scratch/src" "$base"
# The digest program only uses the algorithm classes' interface, so today's copy builds
# against the earlier revision too.
cp bench/Digests.cpp "$scratch/src/bench/Digests.cpp"
grep -q image2d_digests "$scratch/src/bench/CMakeLists.txt" || cat >> "$scratch/src/bench/CMakeLists.txt" <<'CMAKE'
add_executable(image2d_digests Digests.cpp BenchImages.h BenchImages.cpp)
target_link_libraries(image2d_digests PRIVATE image2d::image2d)
CMAKE
cmake -S "$scratch/src" -B "$scratch/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DIMAGE2D_BUILD_TESTS=OFF -DIMAGE2D_BUILD_APPS=OFF >/dev/null
cmake --build "$scratch/build" --target image2d_digests >/dev/null
cmake --build --preset release --target image2d_digests >/dev/null

"$scratch/build/bench/image2d_digests" >"$scratch/base.txt"
./build/release/bench/image2d_digests >"$scratch/current.txt"
if diff "$scratch/base.txt" "$scratch/current.txt"; then
  echo "identical: $(wc -l <"$scratch/current.txt") outputs match $base"
else
  echo "outputs differ from $base" >&2
  exit 1
fi
