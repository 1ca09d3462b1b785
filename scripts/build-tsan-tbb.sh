#!/usr/bin/env bash
# Builds oneTBB with ThreadSanitizer for the tsan preset and prints its install prefix.
#
# Debian's libtbb is not instrumented: its headers are compiled with -fsanitize=thread in our
# sources but its scheduler is not, so the sanitizer misses the hand-overs between the
# scheduler's threads and reports the tasks' own memory as raced. The source is Debian's own
# package of the installed libtbb-dev version (apt-get source, with Debian's patches), so the
# headers and the library match the ones the other builds use. Built once into a cache
# folder (IMAGE2D_CACHE, default ~/.cache/image2d) and reused; progress goes to stderr.
set -euo pipefail

version=${IMAGE2D_TSAN_TBB_VERSION:-$(dpkg-query -W -f='${Version}' libtbb-dev 2>/dev/null || true)}
if [[ -z "$version" ]]; then
  echo "build-tsan-tbb: libtbb-dev is not installed (run scripts/install-deps.sh)" >&2
  exit 1
fi
cache=${IMAGE2D_CACHE:-${XDG_CACHE_HOME:-${HOME:-/tmp}/.cache}/image2d}
prefix="$cache/onetbb-${version//[^A-Za-z0-9.+-]/_}-tsan"
if [[ -f "$prefix/.complete" ]]; then
  echo "$prefix"
  exit 0
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
{
  # A private source list: the machine's own apt configuration is left as it is.
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
  mkdir -p lists/partial
  printf 'deb-src http://deb.debian.org/debian %s main\n' "$codename" "$codename-updates" >sources.list
  printf 'deb-src http://deb.debian.org/debian-security %s-security main\n' "$codename" >>sources.list
  apt_opts=(-o Dir::Etc::SourceList="$work/sources.list" -o Dir::Etc::SourceParts=/nonexistent
            -o Dir::State::Lists="$work/lists" -o APT::Sandbox::User=root -qq)
  apt-get "${apt_opts[@]}" update
  apt-get "${apt_opts[@]}" source --download-only "onetbb=$version"
  # The sources stay beside the library, so that reports show TBB's own lines.
  rm -rf "$prefix"
  mkdir -p "$prefix"
  dpkg-source -x ./*.dsc "$prefix/src"
  rm -f "$prefix"/*.orig.tar.*

  # Only libtbb: the allocator is not used, the tests and IPO are not needed (IPO is off
  # with TSan in oneTBB's own build anyway).
  cmake -S "$prefix/src" -B build -G Ninja \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DCMAKE_CXX_COMPILER_LAUNCHER="$(command -v ccache || true)" \
    -DTBB_SANITIZE=thread -DTBB_TEST=OFF -DTBB_STRICT=OFF \
    -DTBBMALLOC_BUILD=OFF -DTBB_ENABLE_IPO=OFF
  cmake --build build -j "${IMAGE2D_JOBS:-2}"
  cmake --install build
  touch "$prefix/.complete"
} >&2
echo "$prefix"
