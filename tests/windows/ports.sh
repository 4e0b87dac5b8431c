# Ports for the cross-build scripts, sourced by them.

# A port nothing listens on, from a random few.
free_port() {
  local p
  for p in $(shuf -i 20000-60000 -n 40); do
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null; then
      echo "$p"
      return
    fi
  done
  return 1
}

# Waits until something listens on PORT (at most 30 s). It looks in /proc rather than connecting: a
# test connection would take a seat.
listening() {
  local hex i
  hex=$(printf '%04X' "$1")
  for i in $(seq 1 150); do
    grep -q ":$hex 00000000:0000 0A" /proc/net/tcp && return 0
    sleep 0.2
  done
  return 1
}
