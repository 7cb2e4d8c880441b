#!/usr/bin/env bash
# Prints one Markdown table row per fuzz log: executions, coverage, features
# and corpus from libFuzzer's last status line and final statistics.
# usage: fuzz/summary.sh BUILD_DIR SECONDS
set -euo pipefail
build=$1
seconds=$2
echo "| Target | Seconds | Executions | cov | ft | Corpus (inputs / bytes) | Findings |"
echo "|---|---|---|---|---|---|---|"
for log in "$build"/fuzz-logs/*.log; do
  target=$(basename "$log" .log)
  last=$(grep -E "^#[0-9]+" "$log" | tail -1)
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
  corp=$(sed -n 's/.* corp: \([^ ]*\).*/\1/p' <<<"$last" | sed 's|/| / |')
  if grep -qE "^==[0-9]+==ERROR|deadly signal|SUMMARY:" "$log"; then
    findings="see $log"
  else
    findings="none"
  fi
  echo "| $target | $seconds | $execs | $cov | $ft | $corp | $findings |"
done
