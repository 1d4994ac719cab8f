# Sourced by the demo and the package test: start_zeld starts a zeld on a
# free loopback port, stop_zeld stops it.
#
#   start_zeld ZELD ROOT LOG [MORE ZELD ARGUMENTS...]   sets ZELD_PID and ZELD_PORT
#   stop_zeld

port_answers() {
  (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

start_zeld() {
  local zeld=$1 root=$2 log=$3
  shift 3
  local attempt port tries
  for attempt in 1 2 3 4 5 6 7 8 9 10; do
    port=$(( 20000 + (RANDOM * 32768 + RANDOM) % 40000 ))
    port_answers "$port" && continue   # taken by someone else
    "$zeld" --root "$root" --listen "127.0.0.1:$port" --foreground --log "$log" "$@" &
    ZELD_PID=$!
    for tries in $(seq 200); do
      kill -0 "$ZELD_PID" 2>/dev/null || break
      if port_answers "$port"; then
        ZELD_PORT=$port
        return 0
      fi
      sleep 0.05
    done
    kill "$ZELD_PID" 2>/dev/null || true
    wait "$ZELD_PID" 2>/dev/null || true
  done
  echo "cannot start zeld (see $log)" >&2
  return 1
}

stop_zeld() {
  if [ -n "${ZELD_PID:-}" ]; then
    kill "$ZELD_PID" 2>/dev/null || true
    wait "$ZELD_PID" 2>/dev/null || true
    ZELD_PID=
  fi
}
