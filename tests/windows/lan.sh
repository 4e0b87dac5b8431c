#!/usr/bin/env bash
# LAN games across the builds over 127.0.0.1, each to its end:
#   A: a Linux host; clients kavrin.exe under Wine (first) and Linux (second);
#   B: kavrin.exe hosting under Wine; two Linux clients.
# Scripted clients send a long list of answers at once (they wait in the socket until the host asks)
# and keep their input open until the end of the game reaches them. Same seed and same answers give
# the same game, so every program's output must match between A and B byte for byte (but for the
# port and the host's list of its own addresses).
# Usage: lan.sh LINUX_KAVRIN KAVRIN_EXE   (Wine ready in the environment: WINEPREFIX, ...)
set -euo pipefail
source "$(dirname "$0")/ports.sh"
linux=$1
exe=$2
work=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] && echo "kept $work" || rm -rf "$work"' EXIT
limit=${LIMIT:-120}

# Waits until FILE contains TEXT, at most SECONDS.
wait_for() {
  local i
  for i in $(seq 1 $((${3} * 5))); do
    grep -qF -- "$2" "$1" 2>/dev/null && return 0
    sleep 0.2
  done
  return 1
}

# A fixed list of answers for any prompt. It is drawn at random, since a short cycle can lock in step
# with a prompt loop (a card played, its target cancelled, the same card played again).
answers() {
  awk 'BEGIN { srand(7); n = split("e e e 0 0 1 1 2 n n y", a, " ");
               for (i = 0; i < 3000; i++) print a[int(rand() * n) + 1] }'
}

# client OUT PORT PROGRAM...: joins, answers, and closes its input once the game has ended.
client() {
  local out=$1 port=$2
  shift 2
  {
    answers
    wait_for "$out" "[对局结束]" "$limit" || true
  } | timeout "$limit" "$@" --join 127.0.0.1 --port "$port" >"$out" 2>"$out.err"
}

# page PORT: the web page's answer to GET / on the port, within 10 s; empty when it never answers.
page() {
  local i
  for i in $(seq 1 20); do
    if exec 3<>"/dev/tcp/127.0.0.1/$1" 2>/dev/null; then
      printf 'GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n' >&3
      timeout 10 cat <&3 || true
      exec 3>&-
      return 0
    fi
    sleep 0.5
  done
}

# game NAME HOST-PROGRAM CLIENT1-PROGRAM CLIENT2-PROGRAM (a program is one word: the Linux binary or "wine EXE")
game() {
  local name=$1 port pids=() rc=0
  port=$(free_port)
  timeout "$limit" $2 --host --players 3 --wait 60 --port "$port" --fast --seed 11 --mode normal \
    --max-rounds 40 </dev/null >"$work/$name.host" 2>"$work/$name.host.err" &
  pids+=($!)
  listening "$port" || echo "lan: $name: the host is not listening"
  # The host serves the web page on the next port, to a browser that only looks: it takes no seat.
  page $((port + 1)) >"$work/$name.page"
  if ! head -1 "$work/$name.page" | grep -q "^HTTP/1.1 200" || ! grep -qi "<!doctype html" "$work/$name.page"; then
    echo "lan: $name: the host did not serve its web page"
    rc=1
  fi
  client "$work/$name.c1" "$port" $3 &
  pids+=($!)
  wait_for "$work/$name.c1" "连接成功" 30 || echo "lan: $name: first client did not connect"
  client "$work/$name.c2" "$port" $4 &
  pids+=($!)
  for p in "${pids[@]}"; do wait "$p" || rc=1; done
  [ $rc -eq 0 ] || echo "lan: $name: a program failed or timed out"
  for f in c1 c2; do
    grep -qF "[对局结束]" "$work/$name.$f" || { echo "lan: $name: $f did not see the end"; rc=1; }
    grep -qF "[开局] 你是" "$work/$name.$f" || { echo "lan: $name: $f got no seat"; rc=1; }
  done
  grep -qF "对局结束" "$work/$name.host" || { echo "lan: $name: the host did not end"; rc=1; }
  if grep -qF "断线" "$work/$name.host"; then
    echo "lan: $name: a client dropped"
    rc=1
  fi
  return $rc
}

# The port differs between the games, and so do the seat codes (random for every game) and the lines
# that name this machine's addresses (Wine finds none of the machine's own), the web page's among them.
normalise() {
  sed -E -e 's/(端口|--port |127\.0\.0\.1:)[0-9]+/\1PORT/g' -e 's/座位码：[A-Z0-9]{6}/座位码：CODE/g' \
    -e '/^本机IPv4地址：/d' -e '/^  http:\/\//d' -e '/^网页端口/d' "$1"
}

fail=0
game A "$linux" "wine $exe" "$linux" || fail=1
game B "wine $exe" "$linux" "$linux" || fail=1
for f in host c1 c2; do
  if ! cmp -s <(normalise "$work/A.$f") <(normalise "$work/B.$f"); then
    echo "lan: the $f output differs between the two games:"
    diff <(normalise "$work/A.$f") <(normalise "$work/B.$f") | cat -v | head -10
    fail=1
  fi
done
if [ $fail -ne 0 ]; then
  for f in "$work"/*; do
    echo "--- $(basename "$f") (end)"
    tail -5 "$f" | cat -v
  done
  exit 1
fi
echo "lan: Linux host with a Windows client, Windows host with Linux clients: both games ended, outputs identical"
