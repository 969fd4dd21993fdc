# Sourced by the timing scripts: when a program given by $pid has gone idle after
# keys sent to it. Polls every 2 ms with shell builtins alone, since a poll that
# starts processes (date, awk, sleep) takes a core from the two the program
# renders on, and reads processor time in nanoseconds, summed over its threads.

exec {never_ready}<> <(:)

# Microseconds since the epoch, into the variable named $1.
now_us() { printf -v "$1" '%s' "${EPOCHREALTIME/./}"; }

# Nanoseconds of processor time the program's threads have run so far, into $cpu_ns.
read_cpu_ns() {
  local file run rest
  cpu_ns=0
  for file in /proc/"$pid"/task/*/schedstat; do
    read -r run rest <"$file" 2>/dev/null || continue
    cpu_ns=$((cpu_ns + run))
  done
}

# Waits until the program has used no processor time for 0.3 s; sets $idle_since_us
# to when it last did.
wait_idle() {
  local last now
  read_cpu_ns
  last=$cpu_ns
  now_us idle_since_us
  while :; do
    read -r -t 0.002 -u "$never_ready" _ || true
    read_cpu_ns
    now_us now
    if [ "$cpu_ns" != "$last" ]; then
      last=$cpu_ns idle_since_us=$now
    elif ((now - idle_since_us > 300000)); then
      return
    fi
  done
}

# Milliseconds per key of `count` keys sent at once to window $panel, into $per_key_ms.
time_keys() {
  local count=$1 begin
  shift
  now_us begin
  xdotool key --window "$panel" --delay 0 "$@"
  wait_idle
  per_key_ms=$(((idle_since_us - begin) / count))  # microseconds, made milliseconds below
  printf -v per_key_ms '%d.%03d' $((per_key_ms / 1000)) $((per_key_ms % 1000))
}
