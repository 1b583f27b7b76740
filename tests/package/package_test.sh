#!/usr/bin/env bash
# Builds the Debian package with cpack and checks it as a user's machine
# would get it: its name, its files, its dependencies, cupstestppd on the
# packaged PPDs, and the packaged filter printing a real page with a
# packaged PPD.
#   package_test.sh BUILD_DIR VERSION SERVERBIN PPD_DIR SUPPORT_DIR [STREAMVIEW]
set -euo pipefail
build=$1 version=$2 serverbin=$3 ppd_dir=$4 support=$5 streamview=${6:-}
. "$support/stream_checks.sh"

work=$build/tests/package/work
rm -rf "$work"
mkdir -p "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }

echo "== building the package"
cpack --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack"; }
# A cross build names its architecture; else it is this machine's.
arch=${NORVANE_DEB_ARCH:-$(dpkg --print-architecture)}
deb=$work/norvane-printer-driver_${version}_${arch}.deb
[ -f "$deb" ] || fail "no $(basename "$deb") in $work: $(ls "$work")"
# The installer picks the package by its architecture.
[[ $(basename "$deb") == *"$arch.deb" ]] || fail "package name lacks $arch.deb"

echo "== contents"
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $1, $2, $6}' | sort >"$work/contents"
{
  echo "-rwxr-xr-x root/root .$serverbin/filter/rasterfilter"
  echo "-rw-r--r-- root/root ./usr/share/doc/norvane-printer-driver/copyright"
  for n in $(seq -w 1 35); do
    echo "-rw-r--r-- root/root .$ppd_dir/norvr$n.ppd"
  done
} | sort >"$work/expected"
diff -u "$work/expected" "$work/contents" || fail "package contents differ (- expected, + packaged)"

echo "== control data"
dpkg-deb -f "$deb" Package Version Architecture
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "version"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for p in cups-filters ghostscript; do
  grep -qw "$p" <<<"$depends" || fail "Depends lacks $p"
done

dpkg-deb -x "$deb" "$work/root"
filter=$work/root$serverbin/filter/rasterfilter
grep -q 'GPL-2.0-or-later' "$work/root/usr/share/doc/norvane-printer-driver/copyright" ||
  fail "copyright does not name the licence"

# Every shared library the filter needs comes from a package it depends on.
for lib in $(readelf -d "$filter" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
  owners=$(dpkg -S "*/$lib" 2>/dev/null | sed 's/:.*//; s/, /\n/g' | sort -u || true)
  [ -n "$owners" ] || fail "no package provides $lib"
  found=0
  for o in $owners; do
    grep -qw "$o" <<<"$depends" && found=1
  done
  [ $found -eq 1 ] || fail "$lib comes from $(echo $owners), which Depends does not name"
done

if [ -n "${NORVANE_HAS_INSTALLER:-}" ]; then
  echo "== release folder: the installer and its locale folder beside the package"
  cmake --install "$build" --component installer --prefix "$work/release" >/dev/null
  [ -x "$work/release/installer" ] || fail "no installer in the release folder"
  ls "$work/release"/locale/*/strings.txt >/dev/null 2>&1 || fail "no locale folder beside the installer"
  [ "$(find "$work/release" -type f | grep -cv '/locale/\|/installer$' || true)" -eq 0 ] ||
    fail "unexpected files in the release folder: $(find "$work/release" -type f)"
fi

echo "== cupstestppd on the packaged PPDs"
for ppd in "$work/root$ppd_dir"/*.ppd; do
  out=$(cupstestppd -W all -R "$work/root" "$ppd" 2>&1) || { echo "$out"; fail "cupstestppd $ppd"; }
  if grep -q WARN <<<"$out"; then echo "$out"; fail "cupstestppd warns on $ppd"; fi
done

echo "== the packaged filter prints with a packaged PPD"
# One model of each platform: R01 (2), R05 (3), R34 (1).
mkdir -p "$work/tmp"
for model in "01 2" "05 3" "34 1"; do
  read -r n platform <<<"$model"
  ppd=$work/root$ppd_dir/norvr$n.ppd
  raster=$work/page-$n.ras
  TMPDIR=$work/tmp cupsfilter -p "$ppd" -m application/vnd.cups-raster /usr/share/cups/data/testprint \
    >"$raster" 2>"$work/cupsfilter-$n.log" || { tail "$work/cupsfilter-$n.log"; fail "cupsfilter"; }
  status=0
  TMPDIR=$work/tmp PPD=$ppd "$filter" 7 user testprint 1 "" "$raster" >"$work/out-$n.prn" 2>"$work/err-$n.log" || status=$?
  [ $status -eq 0 ] || { cat "$work/err-$n.log"; fail "R$n: filter exit status $status"; }
  grep -q '^INFO: Ready to print.' "$work/err-$n.log" || fail "R$n: no final status line"
  expect_platform "$work/out-$n.prn" "$platform"
  if [ -n "$streamview" ]; then
    "$streamview" --strict --platform "$platform" --summary "$work/out-$n.prn" >"$work/summary-$n" ||
      fail "R$n: the stream does not decode"
    [ "$(grep -c '^doc=' "$work/summary-$n")" -eq 1 ] || fail "R$n: expected one page"
  fi
  [ -z "$(ls -A "$work/tmp")" ] || fail "R$n: files left in the temporary folder: $(ls "$work/tmp")"
  echo "R$n: $(stat -c %s "$work/out-$n.prn") bytes, platform $platform"
done

rm -rf "$work"
echo "package OK"
