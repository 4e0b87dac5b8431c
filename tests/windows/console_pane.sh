#!/usr/bin/env bash
# Plays the same keys in tmux against the Linux program and against kavrin.exe under Wine, and
# compares the screens as tmux shows them, colours included: a console that tears UTF-8 or escape
# sequences apart shows up as different text. Also checks the card list and a few texts and colours
# directly, so a failure says what broke.
# Usage: console_pane.sh LINUX_KAVRIN KAVRIN_EXE   (Wine ready in the environment: WINEPREFIX, ...)
set -euo pipefail
linux=$1
exe=$2
work=$(mktemp -d)
sock=kv-pane-$$
T() { tmux -L "$sock" "$@"; }
trap 'T kill-server 2>/dev/null || true; rm -rf "$work"' EXIT

# Waits until the pane has stayed the same for a second (at most 30 s), then saves it with its escapes.
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
  T capture-pane -p -e -t "$2" >"$1"
}

# play NAME COMMAND KEYS...: runs COMMAND in a fresh 150x50 pane, types each key followed by Enter.
# Sessions stay until the end: closing the server's last one races with starting the next.
play() {
  local name=$1 cmd=$2 n=0
  shift 2
  T new-session -d -s "$name" -x 150 -y 50 "$cmd; sleep 600"
  settle "$work/$name.0" "$name"
  for key in "$@"; do
    n=$((n + 1))
    T send-keys -t "$name" "$key" Enter
    settle "$work/$name.$n" "$name"
  done
}

keys=(1 1 e 1 1 n e 1 n)
play linux "$linux --seed 5 --fast" "${keys[@]}"
play win "wine $exe --seed 5 --fast" "${keys[@]}"
play cards "wine $exe --cards" ""

fail=0
for i in $(seq 0 ${#keys[@]}); do
  if ! cmp -s "$work/linux.$i" "$work/win.$i"; then
    echo "console_pane: screen $i differs between the builds:"
    diff "$work/linux.$i" "$work/win.$i" | cat -v | head -20
    fail=1
  fi
done

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

if [ $fail -ne 0 ]; then
  echo "--- last Windows screen:"
  cat -v "$work/win.${#keys[@]}"
  exit 1
fi
echo "console_pane: $(( ${#keys[@]} + 1 )) screens identical on both builds; Chinese text and colours intact"
