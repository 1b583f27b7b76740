#!/usr/bin/env bash
# The printer application's Debian package: its name, files, dependencies
# and maintainer scripts; then the packaged program, started as its systemd
# unit starts it (on 127.0.0.1, a free port and scratch folders instead of
# the system's), takes a print job from ipptool.
#   printer_app_package_test.sh BUILD_DIR VERSION STREAMVIEW
set -euo pipefail
build=$1 version=$2 streamview=$3

work=$build/tests/package/app-work
rm -rf "$work"
mkdir -p "$work"
pid=
cleanup() { [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; true; }
trap cleanup EXIT
. "$(dirname "$0")/../support/free_port.sh"
fail() { echo "FAIL: $*" >&2; [ -f "$work/log" ] && tail -20 "$work/log" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack"; }
# A cross build names its architecture; else it is this machine's.
deb=$work/norvane-printer-app_${version}_${NORVANE_DEB_ARCH:-$(dpkg --print-architecture)}.deb
[ -f "$deb" ] || fail "no $(basename "$deb") in $work: $(ls "$work")"

echo "== contents and control data"
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $1, $2, $6}' | sort >"$work/contents"
cat >"$work/expected" <<END
-rw-r--r-- root/root ./lib/systemd/system/norvane-printer-app.service
-rw-r--r-- root/root ./usr/share/doc/norvane-printer-app/copyright
-rwxr-xr-x root/root ./usr/bin/norvane-printer-app
END
sort -o "$work/expected" "$work/expected"
diff -u "$work/expected" "$work/contents" || fail "package contents differ (- expected, + packaged)"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
grep -qw libpappl1 <<<"$depends" || fail "Depends lacks libpappl1"
dpkg-deb -e "$deb" "$work/control"
for s in postinst prerm postrm; do
  [ -x "$work/control/$s" ] || fail "no $s"
done
grep -q '/var/lib/norvane-printer-app' "$work/control/postinst" || fail "postinst makes no state folder"

echo "== the packaged program, started as its unit starts it"
dpkg-deb -x "$deb" "$work/root"
unit=$work/root/lib/systemd/system/norvane-printer-app.service
exec_start=$(sed -n 's/^ExecStart=//p' "$unit")
[[ $exec_start == "/usr/bin/norvane-printer-app server "* ]] || fail "ExecStart: $exec_start"
port=$(free_port)
mkdir -p "$work/var/lib" "$work/var/spool" "$work/out" "$work/tmp"
cmd=${exec_start//\/usr\/bin\//$work/root/usr/bin/}
cmd=${cmd//\/var\//$work/var/}
cmd=${cmd/server-port=8632/server-port=$port}
export TMPDIR=$work/tmp HOME=$work
# shellcheck disable=SC2086
$cmd -o listen-hostname=127.0.0.1 -o server-options=no-tls -o log-file="$work/log" &
pid=$!
for _ in $(seq 100); do
  (exec 3<>/dev/tcp/127.0.0.1/"$port") 2>/dev/null && break
  sleep 0.1
done
"$work/root/usr/bin/norvane-printer-app" add -u "ipp://127.0.0.1:$port" -d office -m norvane_r05 \
  -v "file://$work/out" || fail "add"
gs -q -dNOPAUSE -dBATCH -sDEVICE=pwgraster -dcupsColorSpace=18 -dcupsBitsPerColor=8 -r600 \
  -sPAPERSIZE=a4 -sOutputFile="$work/page.pwg" -c 'newpath 100 100 moveto 400 600 lineto 20 setlinewidth stroke showpage' ||
  fail "gs"
ipptool -tf "$work/page.pwg" "ipp://127.0.0.1:$port/ipp/print/office" \
  /usr/share/cups/ipptool/print-job.test || fail "ipptool print-job"
for _ in $(seq 100); do
  [ -n "$(ls "$work/out")" ] && break
  sleep 0.1
done
sleep 0.5
stream=$(ls "$work/out"/*)
"$streamview" --summary --strict "$stream" | tee "$work/summary"
grep -q 'platform=3 page=1 paper=9' "$work/summary" || fail "the job's stream"
[ -z "$(ls -A "$work/var/spool/norvane-printer-app")" ] || fail "spool files left: $(ls "$work/var/spool/norvane-printer-app")"
echo "the packaged printer application printed a job"
