#!/usr/bin/env bash
# A private CUPS scheduler with a driverless queue (-m everywhere) to a
# private printer application: CUPS's test page and the marked test document
# go through CUPS's own filters as PWG raster to the application, whose
# printer stream decodes, with the marks where the document put them.
#   cupsd_driverless_test.sh WORK_DIR APP RASTERFILTER PPD_DIR PAGE_MARKS STREAMVIEW E2E_DIR
set -euo pipefail
work=$1 app=$2 filter=$3 ppd_dir=$4 page_marks=$5 streamview=$6 e2e=$7
. "$e2e/cups_sandbox.sh"

. "$(dirname "$0")/../../support/free_port.sh"
fail() { echo "FAIL: $*" >&2; [ -f "$work/app/log" ] && tail -20 "$work/app/log" >&2; exit 1; }

rm -rf "$work"
mkdir -p "$work/app/spool" "$work/app/tmp" "$work/app/out" "$work/docs" "$work/out"
chmod 755 "$work" "$work/app"
app_pid=
stop_all() {
  if [ -n "$app_pid" ]; then
    kill "$app_pid" 2>/dev/null && wait "$app_pid" 2>/dev/null
    app_pid=
  fi
  sandbox_stop
}
sandbox_start "$work/cups-logs" "$filter" "$ppd_dir"
trap stop_all EXIT

port=$(free_port)
HOME=$work/app TMPDIR=$work/app/tmp "$app" server -o server-port="$port" -o listen-hostname=127.0.0.1 \
  -o server-options=no-tls -o spool-directory="$work/app/spool" -o state-file="$work/app/state" \
  -o log-file="$work/app/log" -o log-level=info &
app_pid=$!
for _ in $(seq 100); do
  (exec 3<>/dev/tcp/127.0.0.1/"$port") 2>/dev/null && break
  sleep 0.1
done
HOME=$work/app TMPDIR=$work/app/tmp "$app" add -u "ipp://127.0.0.1:$port" -d office -m norvane_r05 \
  -v "file://$work/app/out" || fail "add"

lpadmin -p office -E -v "ipp://127.0.0.1:$port/ipp/print/office" -m everywhere ||
  fail "no driverless queue"

gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pdfwrite -dDEVICEWIDTHPOINTS=595 -dDEVICEHEIGHTPOINTS=842 \
  -dFIXEDMEDIA -dPAGES=3 -sOutputFile="$work/docs/a4.pdf" "$e2e/marked_pages.ps"

# job NAME FILE EXPECTED-MARKS|toner [lp options]
job() {
  local name=$1 file=$2 expected=$3 reply id got
  shift 3
  rm -f "$work/app/out"/*
  reply=$(lp -d office "$@" "$file") || fail "lp: $reply"
  id=${reply#request id is office-}
  id=${id%% *}
  for _ in $(seq 600); do
    grep -qE 'Job (completed|stopped|canceled|aborted)' <<<"$(sandbox_job_log "$id")" && break
    sleep 0.2
  done
  grep -q 'Job completed\.' <<<"$(sandbox_job_log "$id")" ||
    { sandbox_job_log "$id" | tail -20 >&2; fail "$name: the scheduler's job did not complete"; }
  for _ in $(seq 100); do
    [ -n "$(ls "$work/app/out")" ] && grep -q "Job [0-9]*\] Completed" "$work/app/log" && break
    sleep 0.2
  done
  local stream
  stream=$(ls "$work/app/out"/* | head -1)
  [ -n "$stream" ] || fail "$name: the application wrote no stream"
  rm -rf "$work/out/$name"
  "$streamview" --strict --platform 3 --summary --png "$work/out/$name" "$stream" \
    >"$work/out/$name.summary" || fail "$name: the stream does not decode"
  if [ "$expected" = toner ]; then
    grep -q 'black=[1-9]' "$work/out/$name.summary" || fail "$name: no toner"
    echo "ok: $name: $(cat "$work/out/$name.summary")"
    return 0
  fi
  got=$("$page_marks" --sheet 595x842 "$work/out/$name"/page-*.png | paste -sd ';')
  [ "$got" = "$expected" ] || { cat "$work/out/$name.summary"; fail "$name: pages landed as '$got', expected '$expected'"; }
  echo "ok: $name: $got"
}

job testpage /usr/share/cups/data/default-testpage.pdf toner -o media=iso_a4_210x297mm
job marked "$work/docs/a4.pdf" "upright 1;upright 2;upright 3" -o media=iso_a4_210x297mm
