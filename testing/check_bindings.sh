#!/usr/bin/env bash

# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

# Proves that no deliverable lets the dynamic linker bind one of its own
# exported symbols to another library's copy.
#
#   check_bindings.sh READELF SAMPLE CONFIG LIBRARY... [-- EMULATOR...]
#
# Static check, per LIBRARY: no dynamic relocation names a symbol that one
# of our libraries exports (with the library's calls bound at link time,
# none is left for the loader to resolve). Dynamic check: SAMPLE runs on
# CONFIG with the host and the plug-ins (the LIBRARY folders) under
# LD_DEBUG=bindings, through EMULATOR when given, and no binding of one of
# our symbols may cross from one of our files into another, except the
# sample's import of the host's entry point.
set -euo pipefail
(($# >= 4)) || { echo "usage: $0 READELF SAMPLE CONFIG LIBRARY... [-- EMULATOR...]" >&2; exit 2; }
readelf=$1 sample=$2 config=$3
shift 3
libraries=()
while (($#)) && [[ $1 != -- ]]; do
  libraries+=("$1")
  shift
done
(($#)) && shift
emulator=("$@")

failed=0
fail() {
  echo "FAIL: $*"
  failed=1
}

# Defined, exported symbols of one file, unversioned.
exported() {
  "$readelf" --dyn-syms -W "$1" |
    awk '$7 != "UND" && ($5 == "GLOBAL" || $5 == "WEAK") &&
         ($4 == "FUNC" || $4 == "OBJECT") { sub(/@.*/, "", $8); print $8 }'
}

# Symbols that a file's dynamic relocations name.
relocated() {
  "$readelf" -rW "$1" |
    awk 'NF >= 5 && $1 ~ /^[0-9a-f]+$/ { sub(/@.*/, "", $5); print $5 }' |
    sort -u
}

ours=$(mktemp)
work=$(mktemp -d)
trap 'rm -rf "$ours" "$work"' EXIT
for library in "${libraries[@]}"; do
  exported "$library"
done | sort -u >"$ours"
if [[ ! -s $ours ]]; then
  fail "no exported symbols found in ${libraries[*]}"
fi

for library in "${libraries[@]}"; do
  crossing=$(relocated "$library" | grep -Fxf "$ours" || true)
  if [[ -n $crossing ]]; then
    fail "$(basename "$library") leaves its exports to the loader:" \
      "$(echo "$crossing" | tr '\n' ' ')"
  fi
done

# The plug-in folder is the one holding a libvantor_*.so.
plugin_dir=
for library in "${libraries[@]}"; do
  [[ $(basename "$library") == libvantor_*.so ]] && plugin_dir=$(dirname "$library")
done

log=$work/bindings
if ((${#emulator[@]})); then
  # The emulator is a program of the build machine: its own loader must not
  # see LD_DEBUG, the target's must.
  printf 'ab' | XDG_CONFIG_HOME=$work VANTOR_PLUGIN_DIR=$plugin_dir \
    "${emulator[@]}" -E LD_DEBUG=bindings -E LD_DEBUG_OUTPUT="$log" \
    "$sample" "$config" >/dev/null 2>&1
else
  printf 'ab' | XDG_CONFIG_HOME=$work VANTOR_PLUGIN_DIR=$plugin_dir \
    LD_DEBUG=bindings LD_DEBUG_OUTPUT="$log" \
    "$sample" "$config" >/dev/null 2>&1
fi
cat "$log".* >"$log" 2>/dev/null || true
if ! grep -q 'binding file' "$log"; then
  fail "the sample ran without a binding log"
fi
sample_name=$(basename "$sample")
crossings=$(awk -v ours="$ours" -v sample="$sample_name" '
  BEGIN { while ((getline line < ours) > 0) mine[line] = 1 }
  /binding file/ {
    from = $0; sub(/.*binding file /, "", from); sub(/ \[.*/, "", from)
    to = $0; sub(/.* to /, "", to); sub(/ \[.*/, "", to)
    symbol = $0; sub(/.*symbol `/, "", symbol); sub(/'"'"'.*/, "", symbol)
    n = split(from, parts, "/"); from_name = parts[n]
    if (!(symbol in mine) || from == to) next
    if (from_name == sample && symbol == "NewVantorEntrypoint") next
    print from " -> " to ": " symbol
  }' "$log")
if [[ -n $crossings ]]; then
  fail "bindings across our libraries:"$'\n'"$crossings"
fi
checked=$(grep -c 'binding file' "$log" || true)

if ((failed)); then
  exit 1
fi
echo "ok: ${#libraries[@]} libraries, $(wc -l <"$ours") exported symbols," \
  "$checked bindings checked"
