#!/usr/bin/env bash
# Writes the same N menu items in the two forms the benchmarks compare:
#   <dir>/menu.xml     an orvik menu file with N items (action "true")
#   <dir>/dialog.args  the tag/item pairs of an equivalent dialog --menu, one word a line
# Usage: bench/menu_items.sh <dir> <N>
set -euo pipefail
dir=$1 count=$2
mkdir -p "$dir"
{
  echo "<Menu>"
  for ((i = 1; i <= count; i++)); do
    printf '<MenuItem><Title>Menu item %04d</Title><Invoke>true</Invoke><Help>Item %d</Help></MenuItem>\n' "$i" "$i"
  done
  echo "</Menu>"
} > "$dir/menu.xml"
for ((i = 1; i <= count; i++)); do
  printf '%d\nMenu item %04d\n' "$i" "$i"
done > "$dir/dialog.args"
