#!/usr/bin/env bash
# The same seed gives the same automatic game on both builds: kavrin.exe under Wine, its standard output
# a pipe, must print exactly the bytes of the Linux program (no "\r" added), for a few seeds and both modes.
# Usage: transcripts.sh LINUX_KAVRIN KAVRIN_EXE   (Wine ready in the environment: WINEPREFIX, ...)
set -euo pipefail
linux=$1
exe=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail=0
games=0
for seed in 1 7 2026 4000000000; do
  for mode in normal identity; do
    for color in "" --no-color; do
      args=(--auto --seed "$seed" --mode "$mode" $color)
      "$linux" "${args[@]}" >"$work/linux.txt"
      wine "$exe" "${args[@]}" 2>/dev/null | cat >"$work/win.txt"
      games=$((games + 1))
      if ! grep -q "对局结束" "$work/linux.txt"; then
        echo "transcripts: ${args[*]}: the game did not end"
        fail=1
      elif ! cmp -s "$work/linux.txt" "$work/win.txt"; then
        if tr -d '\r' <"$work/win.txt" | cmp -s - "$work/linux.txt"; then
          echo "transcripts: ${args[*]}: same game, but the Windows bytes carry \\r"
        else
          echo "transcripts: ${args[*]}: the games differ"
          diff "$work/linux.txt" "$work/win.txt" | cat -v | head -10
        fi
        fail=1
      fi
    done
  done
done
[ $fail -eq 0 ] || exit 1
echo "transcripts: $games automatic games byte for byte identical on both builds"
