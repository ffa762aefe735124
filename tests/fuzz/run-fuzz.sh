#!/bin/sh
# Runs one fuzz target for a bounded time from its corpus in the repository.
#   run-fuzz.sh FUZZER CORPUS REGRESSIONS SECONDS [libFuzzer options...]
# New inputs go to a scratch folder, so the repository's corpus stays small.
# A finding fails the run, and its input is kept in REGRESSIONS, which every
# later run replays first. VELKORIA_FUZZ_SECONDS overrides SECONDS.
set -eu
fuzzer=$1 corpus=$2 regressions=$3 seconds=${VELKORIA_FUZZ_SECONDS:-$4}
shift 4
mkdir -p "$regressions"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# Leak checking stays on; Qt's own caches are not leaks of ours.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
export QT_QPA_PLATFORM=offscreen
exec "$fuzzer" -max_total_time="$seconds" -timeout=20 -print_final_stats=1 \
    -artifact_prefix="$regressions/" "$@" "$scratch" "$corpus" "$regressions"
