#!/usr/bin/env bash
# The fuzz targets of the fuzz preset (build them first: cmake --preset fuzz &&
# cmake --build --preset fuzz).
#   run.sh regress                 every saved input (corpus/ and regressions/) of every target once
#                                  (CI, about a minute)
#   run.sh seeds                   starting corpora into build/fuzz/seeds (test images, pydicom's files)
#   run.sh fuzz TARGET [SECONDS]   fuzz at the lowest priority; new inputs go to build/fuzz/corpus/TARGET,
#                                  failing ones to build/fuzz/artifacts
#   run.sh save TARGET             minimise what fuzzing found into the saved corpus bench/fuzz/corpus/TARGET
set -euo pipefail
cd "$(dirname "$0")/../.."
bin=build/fuzz/bench/fuzz
saved=bench/fuzz/corpus
work=build/fuzz
targets=(dicom raster settings csv ctseries algorithm)
export ASAN_OPTIONS=${ASAN_OPTIONS:-allocator_may_return_null=1:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/bench/fuzz/lsan.supp}
export QT_QPA_PLATFORM=offscreen
# A DICOM header may claim gigabytes; the tool's decoder child bounds its memory for that,
# the fuzzer reports it as a failure above this limit.
limits=(-timeout=20 -rss_limit_mb=3072 -malloc_limit_mb=3072)

case ${1:-} in
regress)
  for t in "${targets[@]}"; do
    # regressions/ holds the inputs of faults found and fixed, kept out of the minimised corpora.
    files=("$saved/$t"/*)
    [[ -d bench/fuzz/regressions/$t ]] && files+=(bench/fuzz/regressions/$t/*)
    echo "fuzz_$t: ${#files[@]} saved inputs"
    "$bin/fuzz_$t" "${limits[@]}" "${files[@]}" >"$work/regress-$t.log" 2>&1 || { tail -40 "$work/regress-$t.log"; exit 1; }
  done ;;
seeds)
  rm -rf "$work/seeds"
  "$bin/image2d_fuzz_seeds" "$work/seeds"
  cmake -DDEST="$work/pydicom" -P tests/apps/FetchPydicom.cmake
  for f in $(find "$work/pydicom" -name '*.dcm' -size -64k); do
    cp "$f" "$work/seeds/dicom/"
  done ;;
fuzz)
  t=$2
  mkdir -p "$work/corpus/$t" "$work/artifacts"
  extra=()
  # GDCM asserts (stopping the process) on damaged files no check before it refuses yet;
  # the tool keeps it in its decoder child. Forked workers go on past those, their artifacts
  # triaged by hand; IMAGE2D_FUZZ_FORK=0 runs these two in one process, stopping at the first.
  [[ ($t == dicom || $t == ctseries) && ${IMAGE2D_FUZZ_FORK:-1} != 0 ]] && extra=(-fork=1 -ignore_crashes=1)
  nice -n 19 "$bin/fuzz_$t" "${limits[@]}" "${extra[@]}" -max_total_time="${3:-3600}" -print_final_stats=1 \
    -artifact_prefix="$work/artifacts/$t-" "$work/corpus/$t" "$saved/$t" "$work/seeds/$t" ;;
save)
  t=$2
  # From a snapshot: a running fuzzer replaces inputs of its corpus as it goes.
  rm -rf "$work/snapshot" "$saved/$t.new" && mkdir -p "$saved/$t.new" && cp -r "$work/corpus/$t" "$work/snapshot"
  "$bin/fuzz_$t" "${limits[@]}" -merge=1 "$saved/$t.new" "$saved/$t" "$work/snapshot" "$work/seeds/$t"
  rm -rf "$saved/$t" "$work/snapshot" && mv "$saved/$t.new" "$saved/$t" ;;
*)
  sed -n '2,11p' "$0"; exit 2 ;;
esac
