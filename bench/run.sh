#!/usr/bin/env bash
# The transfer benchmarks of `make bench`, on loopback, side by side with the
# limit: the raw framed transfer of the same file (bench/limit). Each case
# runs several times; the table shows the median.
#
#   bench/run.sh [BUILD_DIR]          (default build-bench)
#
# ZEL_BENCH_RUNS (7), ZEL_BENCH_BYTES (1 GiB), ZEL_BENCH_DIR (the directory
# the temporary data goes under: /dev/shm when it has 8 GiB free, else
# $TMPDIR or /tmp), ZEL_BENCH_NO_FTP=1 (skip
# the FTP comparison), ZEL_BENCH_NO_INSTALL=1 (never install vsftpd or curl).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/.." && pwd)
build=$(cd "${1:-$source_dir/build-bench}" && pwd)
runs=${ZEL_BENCH_RUNS:-7}
bytes=${ZEL_BENCH_BYTES:-1073741824}
small_bytes=$((16 * 1024 * 1024))
parallel=64
listed_files=10000

tool=$build/bench/zel_bench_tool
zelft=$build/zelft
zeld=$build/zeld
for program in "$tool" "$zelft" "$zeld" "$build/bench/zel_raw_transfer" "$build/bench/zel_read_records"; do
  [ -x "$program" ] || { echo "bench: $program is missing; build with -DZEL_BENCH=ON" >&2; exit 1; }
done

# The data goes to memory (/dev/shm) when it has room, so that what is
# measured is the transfer, not the disk's writeback: on a disk the figures
# of every case, the limit's too, follow the page cache's flushing.
data_dir=${ZEL_BENCH_DIR:-}
if [ -z "$data_dir" ]; then
  data_dir=${TMPDIR:-/tmp}
  shm_free_kb=$(df -Pk /dev/shm 2>/dev/null | awk 'NR == 2 { print $4 }')
  [ "${shm_free_kb:-0}" -gt $((8 * 1024 * 1024)) ] && data_dir=/dev/shm
fi
work=$(mktemp -d "$data_dir/zel-bench.XXXXXX")
ftp_pid=
source "$source_dir/examples/zeld_on_loopback.sh"
stream_pid= records_pid=
cleanup() {
  for pid in $stream_pid $records_pid $ftp_pid; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT

# ---- The machine ------------------------------------------------------------

load() { cut -d' ' -f1 /proc/loadavg; }
cpu_model=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
memory_gib=$(awk '/^MemTotal/ { printf "%.1f", $2 / 1048576 }' /proc/meminfo)
echo "machine: $(nproc) CPUs ($cpu_model), $memory_gib GiB memory, $(uname -sr)"
echo "data:    $work ($(df -T "$work" | awk 'NR == 2 { print $2 }')), $runs runs per case, median shown"
echo "load:    $(load) at the start"
if awk -v l="$(load)" 'BEGIN { exit !(l > 0.5) }'; then
  echo "         (the machine is not quiet: the figures will be low and uneven)"
fi

# ---- The data ---------------------------------------------------------------

mkdir -p "$work/data" "$work/out" "$work/stream/up" "$work/records/up" "$work/stream/many"
"$tool" generate binary "$work/data/bin.dat" "$bytes"
"$tool" generate text "$work/data/text.txt" "$bytes"
"$tool" generate text-crlf "$work/data/crlf.txt" "$bytes"
"$tool" generate binary "$work/data/small.dat" "$small_bytes"
"$tool" files "$work/stream/many" "$listed_files"
for tree in stream records; do
  for file in bin.dat text.txt crlf.txt small.dat; do ln "$work/data/$file" "$work/$tree/$file"; done
done
mkdir -p "$work/records/many"
for file in "$work/stream/many"/*; do ln "$file" "$work/records/many/"; done

text_bytes=$(stat -c %s "$work/data/text.txt")
crlf_bytes=$(stat -c %s "$work/data/crlf.txt")
export ZELFT_PASSWORD=bench
start_zeld "$zeld" "$work/stream" "$work/zeld-stream.log" --personality stream
stream_pid=$ZELD_PID stream_address="127.0.0.1:$ZELD_PORT" stream_node="bench@127.0.0.1:$ZELD_PORT"
ZELD_PID=
start_zeld "$zeld" "$work/records" "$work/zeld-records.log" --personality records
records_pid=$ZELD_PID records_address="127.0.0.1:$ZELD_PORT" records_node="bench@127.0.0.1:$ZELD_PORT"
ZELD_PID=

# ---- FTP: vsftpd and curl, when they are at hand ----------------------------

# Starts vsftpd over $work/ftp (anonymous, uploads into up/) and sets
# ftp_url, or says in ftp_note why there is no FTP comparison.
ftp_url= ftp_note=
start_ftp() {
  local vsftpd
  vsftpd=$(command -v vsftpd || echo /usr/sbin/vsftpd)
  if [ "${ZEL_BENCH_NO_FTP:-0}" = 1 ]; then
    ftp_note="FTP comparison skipped (ZEL_BENCH_NO_FTP=1)"
    return
  fi
  if { [ ! -x "$vsftpd" ] || ! command -v curl > /dev/null; } && [ "${ZEL_BENCH_NO_INSTALL:-0}" != 1 ] &&
     [ "$(id -u)" -eq 0 ] && command -v apt-get > /dev/null; then
    echo "installing vsftpd and curl for the FTP comparison..." >&2
    { apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq vsftpd curl; } > /dev/null 2>&1 || true
  fi
  if [ ! -x "$vsftpd" ] || ! command -v curl > /dev/null; then
    ftp_note="FTP comparison skipped: vsftpd or curl is not installed (apt-get install vsftpd curl)"
    return
  fi
  local ftp_user=ftp port attempt
  getent passwd ftp > /dev/null || ftp_user=nobody
  mkdir -p "$work/ftp/up" "$work/ftp-empty"
  chmod 755 "$work" "$work/ftp"
  chown "$ftp_user" "$work/ftp/up"
  ln "$work/data/bin.dat" "$work/ftp/bin.dat"
  for attempt in 1 2 3 4 5; do
    port=$(( 20000 + (RANDOM * 32768 + RANDOM) % 40000 ))
    port_answers "$port" && continue
    cat > "$work/vsftpd.conf" <<EOF
listen=YES
listen_ipv6=NO
listen_address=127.0.0.1
listen_port=$port
background=NO
anonymous_enable=YES
no_anon_password=YES
anon_root=$work/ftp
ftp_username=$ftp_user
local_enable=NO
write_enable=YES
anon_upload_enable=YES
anon_other_write_enable=YES
anon_umask=022
pasv_enable=YES
pasv_min_port=$((port + 1))
pasv_max_port=$((port + 200))
secure_chroot_dir=$work/ftp-empty
seccomp_sandbox=NO
isolate=NO
isolate_network=NO
xferlog_enable=NO
EOF
    "$vsftpd" "$work/vsftpd.conf" > "$work/vsftpd.out" 2>&1 &
    ftp_pid=$!
    for _ in $(seq 100); do port_answers "$port" && break; sleep 0.05; done
    if curl -sS --fail --list-only "ftp://127.0.0.1:$port/" > /dev/null 2> "$work/curl.out"; then
      ftp_url="ftp://127.0.0.1:$port"
      return
    fi
    kill "$ftp_pid" 2>/dev/null || true
    wait "$ftp_pid" 2>/dev/null || true
    ftp_pid=
  done
  ftp_note="FTP comparison skipped: vsftpd did not serve ($(cat "$work/vsftpd.out" "$work/curl.out" | tr '\n' ' '))"
}
start_ftp

# ---- Measuring --------------------------------------------------------------

results=$work/results
limit_walls=$work/limit-walls
: > "$results"
: > "$limit_walls"
median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
fastest() { sort -g | head -n 1; }

# One run of the limit: the raw framed transfer of the binary file.
limit_run() {
  local line
  line=$("$tool" run -- "$build/bench/zel_raw_transfer" "$work/data/bin.dat" "$work/out/limit.dat") ||
    { echo "bench: the raw transfer failed" >&2; exit 1; }
  rm -f "$work/out/limit.dat"
  echo "${line%% *}"
}

# measure LABEL BYTES SERVER_PID PARALLEL [TOOL OPTIONS] -- COMMAND...
# Runs the case $runs times (removing the outputs in between) and appends
# "label|bytes|wall|cpu|client_kb|server_kb|copies|limit_wall|best_wall|best_limit"
# to $results. Each run of a case that moves bytes follows a run of the
# limit, and the case is compared with the median of those runs of the
# limit: the load of a shared machine changes from minute to minute, and
# the case and its runs of the limit see the same. The fastest run of each
# is kept too: on a machine whose slow spells last longer than a few runs,
# the two fastest runs tell what each can do when nothing gets in the way.
measure() {
  local label=$1 size=$2 server=$3 copies=$4
  shift 4
  local options=(--parallel "$copies")
  [ "$server" = - ] || options+=(--server "$server")
  local walls=() cpus=() limits=() client_kb=0 server_kb=0 run line limit
  for run in $(seq "$runs"); do
    rm -rf "$work/out" "$work/stream/up" "$work/records/up" "$work/ftp/up"/* 2>/dev/null || true
    mkdir -p "$work/out" "$work/stream/up" "$work/records/up"
    if [ "$size" -gt 0 ] && [ "$label" != "$limit_label" ]; then
      sync
      limit=$(limit_run)
      limits+=("$limit")
      echo "$limit" >> "$limit_walls"
    fi
    sync
    line=$("$tool" run "${options[@]}" "$@") || { echo "bench: $label failed" >&2; exit 1; }
    read -r wall client server peak server_peak server_base <<< "$line"
    walls+=("$wall")
    [ "$label" = "$limit_label" ] && echo "$wall" >> "$limit_walls"
    cpus+=("$(awk -v a="$client" -v b="$server" 'BEGIN { printf "%.3f", a + b }')")
    [ "$peak" -gt "$client_kb" ] && client_kb=$peak
    local grown=$(( server_peak > 0 ? (server_peak - (copies > 1 ? server_base : 0)) / copies : 0 ))
    [ "$grown" -gt "$server_kb" ] && server_kb=$grown
  done
  local wall cpu best best_limit=
  wall=$(printf '%s\n' "${walls[@]}" | median)
  best=$(printf '%s\n' "${walls[@]}" | fastest)
  cpu=$(printf '%s\n' "${cpus[@]}" | median)
  limit=
  if [ ${#limits[@]} -gt 0 ]; then
    limit=$(printf '%s\n' "${limits[@]}" | median)
    best_limit=$(printf '%s\n' "${limits[@]}" | fastest)
  fi
  echo "$label|$size|$wall|$cpu|$client_kb|$server_kb|$copies|$limit|$best|$best_limit" >> "$results"
  printf '  %-44s %8.3f s\n' "$label" "$wall" >&2
}

limit_label="limit: raw framed transfer"
echo "measuring (load $(load))..." >&2
measure "$limit_label" "$bytes" - 1 -- \
  "$build/bench/zel_raw_transfer" "$work/data/bin.dat" "$work/out/limit.dat"

for mode in image text; do
  measure "get $mode, stream, binary" "$bytes" "$stream_pid" 1 -- \
    "$zelft" get -q "--$mode" "$stream_node::bin.dat" "$work/out/bin.dat"
  measure "put $mode, stream, binary" "$bytes" "$stream_pid" 1 -- \
    "$zelft" put -q "--$mode" "$work/data/bin.dat" "$stream_node::up/bin.dat"
  if [ $mode = image ] && [ -n "$ftp_url" ]; then
    measure "FTP get (vsftpd, curl)" "$bytes" "$ftp_pid" 1 --settle 200 -- \
      curl -sS --fail -o "$work/out/ftp.dat" "$ftp_url/bin.dat"
    measure "FTP put (vsftpd, curl)" "$bytes" "$ftp_pid" 1 --settle 200 -- \
      curl -sS --fail -T "$work/data/bin.dat" "$ftp_url/up/bin.dat"
  fi
  measure "get $mode, stream, text lines" "$text_bytes" "$stream_pid" 1 -- \
    "$zelft" get -q "--$mode" "$stream_node::text.txt" "$work/out/text.txt"
  measure "put $mode, stream, text lines" "$text_bytes" "$stream_pid" 1 -- \
    "$zelft" put -q "--$mode" "$work/data/text.txt" "$stream_node::up/text.txt"
done
measure "get text, records, text lines" "$text_bytes" "$records_pid" 1 -- \
  "$zelft" get -q --text "$records_node::text.txt" "$work/out/text.txt"
measure "put text, records, text lines (CR LF)" "$crlf_bytes" "$records_pid" 1 -- \
  "$zelft" put -q --text "$work/data/crlf.txt" "$records_node::up/crlf.txt"
measure "get image, records, binary" "$bytes" "$records_pid" 1 -- \
  "$zelft" get -q --image "$records_node::bin.dat" "$work/out/bin.dat"

for personality in stream records; do
  node=$stream_node address=$stream_address pid=$stream_pid
  [ $personality = records ] && node=$records_node address=$records_address pid=$records_pid
  : > "$work/read-$personality"
  measure "RfaReadFile by record, $personality" "$text_bytes" "$pid" 1 --output "$work/read-$personality" -- \
    "$build/bench/zel_read_records" "$address" text.txt
  measure "listing of $listed_files files, $personality" 0 "$pid" 1 -- "$zelft" dir "$node::many/"
done

measure "$parallel parallel gets of 16 MiB" $((parallel * small_bytes)) "$stream_pid" "$parallel" -- \
  "$zelft" get -q "$stream_node::small.dat" "$work/out/small-{}.dat"
measure "$parallel parallel puts of 16 MiB" $((parallel * small_bytes)) "$stream_pid" "$parallel" -- \
  "$zelft" put -q "$work/data/small.dat" "$stream_node::up/small-{}.dat"

# ---- The table ----------------------------------------------------------------

# The limit's row shows the median of every run of the limit: its own and
# the one before each run of the other cases, taken all through the benchmark.
limit_median=$(median < "$limit_walls")
limit_count=$(wc -l < "$limit_walls")
awk -F'|' -v OFS='|' -v wall="$limit_median" 'NR == 1 { $3 = wall } { print }' "$results" > "$results.new"
mv "$results.new" "$results"

echo
echo "load: $(load) at the end"
awk -F'|' -v records_stream="$work/read-stream" -v records_records="$work/read-records" '
  function readcount(file,   line, parts) {
    if ((getline line < file) > 0) { split(line, parts, " "); return parts[1] }
    return 0
  }
  function verdict(met) { return met ? "met" : "MISSED" }
  {
    n = NR; label[n] = $1; size[n] = $2; wall[n] = $3; cpu[n] = $4; client[n] = $5; server[n] = $6; copies[n] = $7
    rate[n] = $2 > 0 ? $2 / $3 / 1e6 : 0
    if (n == 1) limitbytes = $2
    # Against the runs of the limit made beside the runs of the case.
    local[n] = $8 > 0 && $2 > 0 ? rate[n] / (limitbytes / $8 / 1e6) : 0
    best[n] = $9 > 0 && $10 > 0 && $2 > 0 ? ($2 / $9) / (limitbytes / $10) : 0
    if ($1 ~ /^FTP get/) ftpget = local[n]
    if ($1 ~ /^FTP put/) ftpput = local[n]
  }
  END {
    printf "%-42s %8s %7s %7s %6s %5s %8s %8s  %s\n", "case", "median s", "MB/s", "CPU s", "ratio", "best",
           "zelft MiB", "zeld MiB", "target"
    for (i = 1; i <= n; i++) {
      ratio = i == 1 ? 1 : local[i]
      target = ""
      # Copies of the binary file, and image copies of the text file, are
      # binary copies; text-mode copies of the text file convert lines.
      if (label[i] ~ /^(get|put) (.*binary|image)/) target = sprintf(">= 0.85: %s", verdict(ratio >= 0.85))
      if (label[i] ~ /^(get|put) text, .*text lines/) target = sprintf(">= 0.6: %s", verdict(ratio >= 0.6))
      if (label[i] ~ /^get image, stream, binary/ && ftpget > 0)
        target = target sprintf("; FTP get: %s", verdict(ratio >= ftpget))
      if (label[i] ~ /^put image, stream, binary/ && ftpput > 0)
        target = target sprintf("; FTP put: %s", verdict(ratio >= ftpput))
      if (label[i] ~ /^RfaReadFile/) {
        records = readcount(label[i] ~ /stream/ ? records_stream : records_records)
        target = sprintf("%.2f M records/s >= 1: %s", records / wall[i] / 1e6, verdict(records / wall[i] >= 1e6))
      }
      if (label[i] ~ /^listing/) target = sprintf("< 1 s: %s", verdict(wall[i] < 1))
      if (label[i] !~ /^(limit|FTP)/ && client[i] > 16 * 1024) target = target "; zelft memory MISSED"
      if (label[i] !~ /^(limit|FTP)/ && server[i] > 8 * 1024) target = target "; zeld memory MISSED"
      speed = size[i] > 0 ? sprintf("%.0f", rate[i]) : "-"
      shown = size[i] > 0 ? sprintf("%.2f", ratio) : "-"
      fast = i == 1 ? "1.00" : best[i] > 0 ? sprintf("%.2f", best[i]) : "-"
      zelft = label[i] ~ /^(limit|FTP)/ ? "-" : sprintf("%.1f", client[i] / 1024)
      zeld = label[i] ~ /^(limit|FTP)/ || server[i] == 0 ? "-" : sprintf("%.1f%s", server[i] / 1024, copies[i] > 1 ? "/c" : "")
      printf "%-42s %8.3f %7s %7.2f %6s %5s %8s %8s  %s\n", label[i], wall[i], speed, cpu[i], shown, fast, zelft, zeld, target
    }
  }
' "$results"
echo
echo "MB/s: 10^6 bytes of the source file per second, from the median wall time."
echo "ratio: MB/s over that of the limit at the median of its runs made beside the case's"
echo "own, one before each. The limit's row: the median of all $limit_count runs of the limit."
echo "best: the same ratio for the fastest run of the case and the fastest of those runs of"
echo "the limit (on a shared machine, what each does when nothing gets in the way)."
echo "CPU s: client and server together (getrusage of the client processes, /proc of the"
echo "server). zelft MiB: the largest resident peak of a client process; zeld MiB: the"
echo "server's resident peak during the case (/c: its growth divided by the connections)."
[ -n "$ftp_note" ] && echo "$ftp_note"
exit 0
