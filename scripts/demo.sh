#!/bin/sh
# The demonstration `make demo` runs: the residue-curve map of ethanol / water / benzene at
# 101325 Pa with two liquids allowed (heterogeneous azeotropes, distillation boundaries, the
# vapour-liquid-liquid envelope), from the bundled example problem.
#
#   scripts/demo.sh [path/to/distil]        (default: build/release/bin/distil)
#
# The picture goes to build/demo/; a PNG as well when rsvg-convert (librsvg2-bin) is installed.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
distil=${1:-$root/build/release/bin/distil}
problem=$root/examples/ethanol-water-benzene.toml
out=$root/build/demo
name=ethanol-water-benzene

if [ ! -x "$distil" ]; then
    echo "demo: no distil program at $distil (build it first: make demo)" >&2
    exit 1
fi
mkdir -p "$out"

echo "== Azeotropes of ethanol / water / benzene at 101325 Pa (NRTL, two liquids allowed)"
"$distil" azeotropes "$problem" --pressure 101325 --phases 3
echo

png_option=
if command -v rsvg-convert >/dev/null 2>&1; then
    png_option="--png $out/$name.png"
fi
echo "== Residue curve map"
# shellcheck disable=SC2086  # png_option is empty or two words
"$distil" map "$problem" --pressure 101325 --phases 3 --svg "$out/$name.svg" $png_option
echo

echo "The map is in build/demo/$name.svg"
if [ -n "$png_option" ]; then
    echo "        and in build/demo/$name.png"
else
    echo "(install librsvg2-bin for a PNG as well)"
fi
