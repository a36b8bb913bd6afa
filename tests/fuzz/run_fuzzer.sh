#!/usr/bin/env bash
# Runs one libFuzzer target for a while from its kept corpus, with leak detection.
# Usage: run_fuzzer.sh FUZZER KEPT_CORPUS WORK_CORPUS ARTIFACT_DIR SECONDS
# Every path is made absolute: the targets change their current directory.
set -euo pipefail
fuzzer=$1 kept=$(realpath "$2") seconds=$5
mkdir -p "$3" "$4"
work=$(realpath "$3") artifacts=$(realpath "$4")
exec "$fuzzer" -max_total_time="$seconds" -timeout=10 -detect_leaks=1 -print_final_stats=1 \
  -artifact_prefix="$artifacts/$(basename "$fuzzer")-" "$work" "$kept"
