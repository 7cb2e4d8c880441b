#!/usr/bin/env bash
# Runs one fuzz target for SECONDS on a working copy of its seed corpus.
# usage: fuzz/run.sh BUILD_DIR TARGET SECONDS
# The tree's seeds are copied into BUILD_DIR/fuzz-corpus/TARGET (kept from
# run to run, so findings accumulate there and never in the tree); the log
# goes to BUILD_DIR/fuzz-logs/TARGET.log, a crashing input to
# BUILD_DIR/fuzz-artifacts/. Exits non-zero when the target found anything.
set -euo pipefail
build=$1
target=$2
seconds=$3
here=$(cd "$(dirname "$0")" && pwd)
case "$target" in
  fuzz_session) max_len=4096 ;;
  fuzz_datastring) max_len=1024 ;;
  fuzz_render) max_len=4096 ;;
  fuzz_crcmodel) max_len=256 ;;
  fuzz_workspace) max_len=2048 ;;
  *) echo "unknown fuzz target $target" >&2; exit 2 ;;
esac
corpus="$build/fuzz-corpus/$target"
mkdir -p "$corpus" "$build/fuzz-logs" "$build/fuzz-artifacts"
cp -n "$here/corpus/$target/"* "$corpus/"
log="$build/fuzz-logs/$target.log"
echo "== $target for ${seconds}s (log: $log)"
status=0
# ASan keeps freed memory for reuse, so resident memory climbs over millions
# of runs even with nothing leaking (a plain build of the same loop stays
# flat); the limit leaves room for that.
ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=64} "$build/bin/$target" -max_total_time="$seconds" -max_len="$max_len" -timeout=10 \
  -rss_limit_mb=6144 -print_final_stats=1 \
  -artifact_prefix="$build/fuzz-artifacts/$target-" "$corpus" >"$log" 2>&1 || status=$?
grep -E "^#[0-9]+.*(DONE|pulse)|stat::number_of_executed_units|ERROR|SUMMARY" "$log" | tail -4
exit $status
