#!/usr/bin/env bash
# The demo: a zeld on loopback over a small sample tree, and a short zelft
# session against it, each command shown before it runs.
#
#   examples/demo.sh [BUILD_DIR]      (make demo builds first, then runs this)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
zelft=$build/zelft
for program in "$build/zeld" "$zelft"; do
  [ -x "$program" ] || { echo "no $program: build first (make)"; exit 1; }
done

work=$(mktemp -d)
source "$here/zeld_on_loopback.sh"
trap 'stop_zeld; rm -rf "$work"' EXIT

if [ -t 1 ]; then bold=$'\033[1m' plain=$'\033[0m'; else bold='' plain=''; fi
step() { printf '\n%s== %s%s\n' "$bold" "$*" "$plain"; }
# show COMMAND...: prints the command and runs it; the demo stops if it fails.
show() {
  printf '$ %s\n' "$*"
  "$@"
}
# fails CODE COMMAND...: the same for a command that must fail with exit code CODE.
fails() {
  local expected=$1 code=0
  shift
  printf '$ %s\n' "$*"
  "$@" || code=$?
  printf '(exit code %d)\n' "$code"
  [ "$code" -eq "$expected" ] || { echo "demo: expected exit code $expected" >&2; exit 1; }
}

step "A sample tree for the server, in $work/root"
mkdir -p "$work/root/notes" "$work/root/data" "$work/local"
printf 'Welcome to the demo server.\nEverything here lives in a temporary directory.\n' > "$work/root/readme.txt"
printf 'buy milk\ncall the office\n' > "$work/root/notes/todo.txt"
printf 'month,amount\njan,120\nfeb,95\n' > "$work/root/data/q1.csv"
printf 'month,amount\napr,130\n' > "$work/root/data/q2.csv"
head -c 3000000 /dev/urandom > "$work/root/data/archive.bin"
printf 'Written on this machine, sent with zelft put.\n' > "$work/local/report.txt"
(cd "$work" && find root -type f | sort)

step "A users file: user demo, password from zeld --hash-password"
password=demo-password-$$
hash=$(printf '%s\n' "$password" | "$build/zeld" --hash-password)
printf 'demo:%s\n' "$hash" > "$work/users"
echo "demo:${hash:0:20}..."
# zelft reads the password from ZELFT_PASSWORD (or --password-file, or a prompt).
export ZELFT_PASSWORD=$password

step "zeld serving $work/root on loopback"
start_zeld "$build/zeld" "$work/root" "$work/zeld.log" --users "$work/users"
node=demo@127.0.0.1:$ZELD_PORT
echo "zeld is listening on 127.0.0.1:$ZELD_PORT (process $ZELD_PID)"

step "List the server's root, then a directory with sizes and dates"
show "$zelft" dir "$node::"
show "$zelft" dir --full "$node::data"

step "Copy a local file up, and back down under another name"
show "$zelft" put --verbose "$work/local/report.txt" "$node::notes/"
show "$zelft" get --verbose "$node::notes/report.txt" "$work/local/report-back.txt"
show cmp "$work/local/report.txt" "$work/local/report-back.txt"
echo "identical"

step "Every file matching a wildcard, and a larger binary file (byte for byte)"
show "$zelft" get --verbose "$node::data/*.csv" "$work/local"
show "$zelft" get "$node::data/archive.bin" "$work/local"
show cmp "$work/root/data/archive.bin" "$work/local/archive.bin"
echo "identical"

step "Print a remote file record by record"
show "$zelft" type "$node::readme.txt"

step "Rename, show and change protection, make and remove a directory"
show "$zelft" rename "$node::notes/report.txt" notes/report-final.txt
show "$zelft" protection "$node::notes/report-final.txt"
show "$zelft" protection "$node::notes/report-final.txt" --set O:RWD,G:R,W:
show "$zelft" protection "$node::notes/report-final.txt"
show "$zelft" mkdir "$node::archive"
show "$zelft" rmdir "$node::archive"

step "Delete, then ask for what is gone (exit code 1: remote file error)"
show "$zelft" delete --verbose "$node::notes/report-final.txt"
fails 1 "$zelft" get "$node::notes/report-final.txt" "$work/local"

step "A path outside the served tree, and a wrong password (exit code 3)"
fails 1 "$zelft" get "$node::../users" "$work/local"
ZELFT_PASSWORD=wrong fails 3 "$zelft" dir "$node::"

step "A trace of every message of a listing (first lines)"
show "$zelft" dir --trace "$work/trace.txt" "$node::notes"
tr -d '\r' < "$work/trace.txt" | head -n 16
echo "... $(wc -l < "$work/trace.txt") lines in all"
if grep -q -- "$password" "$work/trace.txt"; then echo "demo: the password is in the trace" >&2; exit 1; fi
echo "(the password is nowhere in the trace)"

step "What the server logged (last lines)"
tail -n 8 "$work/zeld.log"

step "Stopping zeld and removing $work"
stop_zeld
echo "demo finished"
