#!/usr/bin/env bash
# Turns the gnuplot scripts that the demo's measuring scenes write (*.plt) into PNG plots with Debian's gnuplot.
#   tools/plotmeasure.sh [--ppm] FILE.plt...
# Each plot is drawn in the script's own folder (its data files are named relative to it) and written beside it
# as FILE.png (or FILE.ppm with --ppm, a plain picture that tests can read). The scripts' own terminal lines (an
# EPS copy, and a Windows screen terminal that Linux lacks) are left out.
set -euo pipefail

format=png
if [ "${1:-}" = "--ppm" ]; then
  format=ppm
  shift
fi
[ $# -gt 0 ] || { echo "usage: $0 [--ppm] FILE.plt..." >&2; exit 2; }
command -v gnuplot >/dev/null || { echo "$0: gnuplot is not installed (tools/deps.sh installs it)" >&2; exit 3; }

if [ "$format" = png ]; then
  if gnuplot -e "set terminal pngcairo" >/dev/null 2>&1; then
    terminal="pngcairo size 800,600"
  else
    terminal="png size 800,600"
  fi
else
  terminal="pbm color medium size 800,600"
fi

status=0
for script in "$@"; do
  dir=$(dirname -- "$script")
  name=$(basename -- "$script" .plt)
  # Everything is drawn on a text device thrown away first; the last plot is then drawn again, whole, into the picture.
  if ! (cd -- "$dir" && grep -Ev '^[[:space:]]*(set[[:space:]]+term|set[[:space:]]+output|rep[[:space:]]*$)' -- "$name.plt" |
        gnuplot -e "set terminal dumb; set output '/dev/null'" - -e "set terminal $terminal; set output '$name.$format'; replot; unset output"); then
    echo "$0: cannot plot $script" >&2
    status=1
  fi
done
exit $status
