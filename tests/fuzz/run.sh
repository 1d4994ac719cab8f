#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a bounded time, each on a copy
# of its seed corpus. Fails on the first crash, leak or timeout found.
set -euo pipefail
build="$1"
seconds="${2:-20}"
here="$(cd "$(dirname "$0")" && pwd)"
status=0
for target in "$build"/fuzz/*_fuzzer; do
  [ -x "$target" ] || continue
  name="$(basename "$target")"
  work="$(mktemp -d)"
  if [ -d "$here/corpus/$name" ]; then cp -r "$here/corpus/$name/." "$work/"; fi
  echo "fuzzing $name for ${seconds}s"
  if ! "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
       -artifact_prefix="$build/fuzz/$name-" "$work" 2>"$build/fuzz/$name.log"; then
    echo "FAILED: $name (see $build/fuzz/$name.log)"; tail -40 "$build/fuzz/$name.log"; status=1
  fi
  rm -rf "$work"
done
exit $status
