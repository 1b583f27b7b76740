#!/usr/bin/env bash
# Runs cupstestppd on every generated PPD, with the built filter standing in
# the CUPS filter folder of a scratch root: every PPD must pass with no
# warning at all.
#   cupstestppd_all.sh PPD_DIR RASTERFILTER SERVERBIN
set -euo pipefail
ppd_dir=$1 filter=$2 serverbin=$3

root=$(mktemp -d "${TMPDIR:-/tmp}/norvane-ppdtest.XXXXXX")
trap 'rm -rf "$root"' EXIT
mkdir -p "$root$serverbin/filter"
ln -s "$filter" "$root$serverbin/filter/rasterfilter"

shopt -s nullglob
ppds=("$ppd_dir"/*.ppd)
if [ ${#ppds[@]} -ne 35 ]; then
  echo "expected 35 PPDs in $ppd_dir, found ${#ppds[@]}" >&2
  exit 1
fi

status=0
for ppd in "${ppds[@]}"; do
  if ! out=$(cupstestppd -W all -R "$root" "$ppd" 2>&1); then
    echo "$out"
    status=1
  elif grep -q 'WARN' <<<"$out"; then
    echo "$out"
    status=1
  fi
done
[ $status -eq 0 ] && echo "all ${#ppds[@]} PPDs pass cupstestppd without warnings"
exit $status
