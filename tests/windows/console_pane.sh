#!/usr/bin/env bash
# Plays the same keys in tmux against the Linux program and against kavrin.exe under Wine, and
# compares the screens as tmux shows them, colours included: a console that tears UTF-8 or escape
# sequences apart shows up as different text. Does the same for a hosted game: a Linux host with one
# seat for a client, joined once by the Linux client and once by kavrin.exe, whose panes must show the
# same screens, up to the end of the connection and the client's own exit. Also checks the card list
# and a few texts and colours directly, so a failure says what broke.
# Usage: console_pane.sh LINUX_KAVRIN KAVRIN_EXE   (Wine ready in the environment: WINEPREFIX, ...;
# KEEP=1 keeps the captured screens)
set -euo pipefail
source "$(dirname "$0")/ports.sh"
linux=$1
exe=$2
work=$(mktemp -d)
sock=kv-pane-$$
T() { tmux -L "$sock" "$@"; }
hosts=()
cleanup() {
  T kill-server 2>/dev/null || true
  kill "${hosts[@]}" 2>/dev/null || true
  if [ -n "${KEEP:-}" ]; then echo "kept $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT

# Waits until the pane has stayed the same for a second (at most 30 s), then saves it with its escapes
# (the port of a hosted game replaced by PORT).
settle() {
  local last="" now i stable=0
  for i in $(seq 1 150); do
    sleep 0.2
    now=$(T capture-pane -p -e -t "$2")
    if [ -n "$now" ] && [ "$now" = "$last" ]; then
      stable=$((stable + 1))
      [ $stable -ge 5 ] && break
    else
      stable=0
      last=$now
    fi
  done
  T capture-pane -p -e -t "$2" | sed -E -e 's/127\.0\.0\.1:[0-9]+/127.0.0.1:PORT/' \
    -e 's/座位码：[A-Z0-9]{6}/座位码：CODE/g' >"$1"
}

# play NAME COMMAND KEYS...: runs COMMAND in a fresh 150x50 pane, types each key followed by Enter
# (a key of several words is several keys, such as "2 BSpace 1").
# Sessions stay until the end: closing the server's last one races with starting the next.
play() {
  local name=$1 cmd=$2 n=0
  shift 2
  T new-session -d -s "$name" -x 150 -y 50 "$cmd; sleep 600"
  settle "$work/$name.0" "$name"
  for key in "$@"; do
    n=$((n + 1))
    # shellcheck disable=SC2086
    T send-keys -t "$name" $key Enter
    settle "$work/$name.$n" "$name"
  done
}

# hosted NAME CLIENT KEYS...: a Linux host (its own seat without input) and CLIENT joining it in a pane;
# after the keys the host is stopped, and the pane shows the end of the connection and the exit code.
hosted() {
  local name=$1 client=$2 port
  shift 2
  port=$(free_port)
  "$linux" --host --players 2 --wait 60 --port "$port" --fast --seed 5 --mode normal \
    </dev/null >"$work/$name.host" 2>&1 &
  hosts+=($!)
  listening "$port" || echo "console_pane: $name: the host is not listening"
  play "$name" "$client --join 127.0.0.1 --port $port; echo \"[exit \$?]\"" "$@"
  kill "${hosts[-1]}" 2>/dev/null || true
  settle "$work/$name.$(($# + 1))" "$name"
}

keys=(1 1 e 1 1 n e 1 n)
play linux "$linux --seed 5 --fast" "${keys[@]}"
play win "wine $exe --seed 5 --fast" "${keys[@]}"
play cards "wine $exe --cards" ""
hostedKeys=(h 1 "2 BSpace 1" e 1 n)
hosted hlinux "$linux" "${hostedKeys[@]}"
hosted hwin "wine $exe" "${hostedKeys[@]}"

fail=0
# same A B COUNT: screens 0..COUNT of the two runs
same() {
  local i
  for i in $(seq 0 "$3"); do
    if ! cmp -s "$work/$1.$i" "$work/$2.$i"; then
      echo "console_pane: $1/$2: screen $i differs between the builds:"
      diff "$work/$1.$i" "$work/$2.$i" | cat -v | head -20 || true
      fail=1
    fi
  done
}
same linux win ${#keys[@]}
hostedLast=$((${#hostedKeys[@]} + 1))
same hlinux hwin $hostedLast

esc=$'\x1b'
expect() { # FILE TEXT: the text appears on the screen as it is
  if ! grep -qF -- "$2" "$1"; then
    echo "console_pane: missing on $(basename "$1"): $(printf '%s' "$2" | cat -v)"
    fail=1
  fi
}
expect "$work/win.0" "${esc}[1m${esc}[33m╔══"
expect "$work/win.0" "║ 六人卡维林 · 单机/局域网"
expect "$work/win.2" "${esc}[36m╔══════════════════ 六 人 卡维林"
expect "$work/win.2" "${esc}[31m【"
expect "$work/win.5" "${esc}[33m  -> ━━ Corvane的回合 ━━"
expect "$work/cards.1" "================ 完整牌表 ================"
expect "$work/cards.1" " 1.【杀】对攻击范围内1名角色使用；其不出闪则受1点普通伤害。"
expect "$work/hwin.1" "${esc}[36m╔══════════════════ 六 人 卡维林"
# The client ends by itself with the connection: its exit code comes right after the notice.
if [ "$(grep -v '^$' "$work/hwin.$hostedLast" | tail -2)" != "与主机的连接已结束。
[exit 0]" ]; then
  echo "console_pane: the Windows client did not end by itself with the connection"
  fail=1
fi

if [ $fail -ne 0 ]; then
  echo "--- last Windows screens:"
  cat -v "$work/win.${#keys[@]}"
  cat -v "$work/hwin.$hostedLast"
  exit 1
fi
echo "console_pane: $(( ${#keys[@]} + 1 )) local and $((hostedLast + 1)) hosted screens identical on both builds;" \
  "Chinese text and colours intact"
