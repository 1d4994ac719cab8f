#!/usr/bin/env bash
# Runs clang-tidy with the repository's .clang-tidy over every source file of
# src/, using the compile commands of a build (BUILD/compile_commands.json).
# Fails when any file has a finding.
set -euo pipefail
build="$1"
jobs="${2:-$(nproc)}"
here="$(cd "$(dirname "$0")/../.." && pwd)"
tidy="${CLANG_TIDY:-clang-tidy}"
if ! command -v "$tidy" >/dev/null 2>&1; then
  echo "clang-tidy not found (Debian package clang-tidy)" >&2
  exit 1
fi
if [ ! -f "$build/compile_commands.json" ]; then
  echo "no $build/compile_commands.json: configure the build first" >&2
  exit 1
fi
log="$build/clang-tidy.log"
cd "$here"
# One file per run keeps a finding next to its file in the log; -P runs them side by side.
if find src -name '*.cc' -print0 | sort -z |
   xargs -0 -P "$jobs" -n 1 "$tidy" -p "$build" --quiet >"$log" 2>&1; then
  echo "clang-tidy: no findings in $(find src -name '*.cc' | wc -l) files"
else
  grep -E '(warning|error):' "$log" | sort -u || true
  echo "clang-tidy found problems (whole output: $log)" >&2
  exit 1
fi
