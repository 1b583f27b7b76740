#!/usr/bin/env bash
# Prints real documents through a private CUPS scheduler to queues of one
# model of each platform, set up from the built PPDs, and checks each
# printer stream: every job completes without an error, the stream has the
# platform's framing, every page decodes, the pages come in the expected
# order, turned where they should be, and the document's marks land where
# the document put them; the scheduler's temporary folder is empty after
# every job. A German or Chinese user sees the queue's options and the
# manual-duplex instruction in that language.
#   e2e_test.sh WORK_DIR RASTERFILTER PPD_DIR PAGE_MARKS STREAMVIEW|"" SOURCE_DIR
#               QUEUE_OPTIONS
set -euo pipefail
work=$1 filter=$2 ppd_dir=$3 page_marks=$4 streamview=$5 src=$6 queue_options=$7
# English unless a step says otherwise, whatever the caller's locale: LANG
# alone sets a step's language (CUPS needs no installed locale for it).
unset LC_ALL LC_MESSAGES
export LANG=C
. "$src/cups_sandbox.sh"
. "$src/../support/stream_checks.sh"

fail() { echo "FAIL: $*" >&2; exit 1; }

# Outputs of the last run stay in WORK_DIR: streams, summaries, page images
# and the scheduler's logs.
rm -rf "$work"
out=$work/out
docs=$work/docs
mkdir -p "$out" "$docs"
sandbox_start "$work/cups-logs" "$filter" "$ppd_dir"

# The scheduler lists our PPDs and sets queues up from them by name.
# cups-driverd scans every PPD on the machine and may take a while on a busy
# one: ask again a few times before calling it a failure.
listed=0
for _ in 1 2 3 4 5; do
  if grep -qx 'norvane/norvr05.ppd Norvane R05 Series, .*' <<<"$(lpinfo -m 2>/dev/null)"; then
    listed=1
    break
  fi
  sleep 2
done
[ $listed = 1 ] || fail "lpinfo -m does not list norvane/norvr05.ppd"
sandbox_add_queue r01 norvane/norvr01.ppd   # platform 2
sandbox_add_queue r05 norvane/norvr05.ppd   # platform 3
sandbox_add_queue r34 norvane/norvr34.ppd   # platform 1, paper table B
declare -A platform_of=([r01]=2 [r05]=3 [r34]=1)

# marked DOC WIDTH HEIGHT PAGES: the marked test document of that sheet size.
marked() {
  gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pdfwrite -dDEVICEWIDTHPOINTS="$2" \
    -dDEVICEHEIGHTPOINTS="$3" -dFIXEDMEDIA -dPAGES="$4" -sOutputFile="$docs/$1.pdf" \
    "$src/marked_pages.ps"
}
marked a4 595 842 3
marked dl 312 624 1
marked custom 400 600 1

if [ -z "$streamview" ]; then
  echo "NOTE: no stream viewer built: pages are not decoded or looked at"
fi

# job NAME QUEUE FILE [lp options...]: prints and checks the stream as far as
# every job is checked; leaves the summary in $out/NAME.summary and the page
# images in $out/NAME/.
job() {
  local name=$1 queue=$2 file=$3 started=$SECONDS
  shift 3
  sandbox_print "$queue" "$out/$name.prn" "$file" "$@" || exit 1
  sandbox_expect_clean_tmp || exit 1
  expect_platform "$out/$name.prn" "${platform_of[$queue]}" || exit 1
  if [ -n "$streamview" ]; then
    rm -rf "$out/$name"
    "$streamview" --strict --platform "${platform_of[$queue]}" --summary --png "$out/$name" \
      "$out/$name.prn" >"$out/$name.summary" 2>"$out/$name.streamview" ||
      { cat "$out/$name.streamview" >&2; fail "$name: the stream does not decode"; }
  fi
  echo "ok: $name ($queue $*) in $((SECONDS - started))s"
}

# Checks, once the stream viewer is there.
expect_pages() {  # NAME COUNT
  [ -z "$streamview" ] && return 0
  local n
  n=$(grep -c '^doc=' "$out/$1.summary" || true)
  [ "$n" -eq "$2" ] || { cat "$out/$1.summary" >&2; fail "$1: $n pages, expected $2"; }
}
expect_every_page() {  # NAME FIELD=VALUE
  [ -z "$streamview" ] && return 0
  local all with
  all=$(grep -c '^doc=' "$out/$1.summary" || true)
  with=$(grep -c "^doc=.* $2\( \|$\)" "$out/$1.summary" || true)
  if [ "$with" -ne "$all" ]; then
    cat "$out/$1.summary" >&2
    fail "$1: not every page has $2"
  fi
}
expect_toner() {  # NAME: every page prints something
  [ -z "$streamview" ] && return 0
  if grep -q '^doc=.* black=0\( \|$\)' "$out/$1.summary"; then
    cat "$out/$1.summary" >&2
    fail "$1: a page without toner"
  fi
}
# expect_marks NAME SHEET EXPECTED [page_marks options]: where the pages landed
# on a sheet of SHEET (WxH points), one result per page, ';' between pages.
expect_marks() {
  [ -z "$streamview" ] && return 0
  local name=$1 sheet=$2 expected=$3 got
  shift 3
  got=$("$page_marks" --sheet "$sheet" "$@" "$out/$name"/page-*.png | paste -sd ';') ||
    fail "$name: cannot look at the page images"
  [ "$got" = "$expected" ] || fail "$name: pages landed as '$got', expected '$expected'"
}

# expect_instruction QUEUE [LANGUAGE]: the last job showed the PPD's
# manual-duplex instruction, in that language, as its state message.
expect_instruction() {
  local text prefix=${2:+$2.}
  text=$(sed -n "s|^\\*${prefix}cupsIPPReason MDuplex/\\(.*\\): \"\"\$|\\1|p" "$(sandbox_queue_ppd "$1")")
  [ -n "$text" ] || fail "$1: the PPD has no ${prefix}MDuplex text"
  grep -qF "job-printer-state-message to \"$text\"" <<<"$(sandbox_job_log "$SANDBOX_LAST_JOB")" ||
    fail "$1: the manual-duplex instruction was not shown"
}

echo "== CUPS's test page on each platform"
# The test page frames the imageable area: all four sides must be on the page.
for q in r01 r05 r34; do
  job "testpage-$q" "$q" /usr/share/cups/data/testprint
  expect_pages "testpage-$q" 1
  expect_toner "testpage-$q"
  expect_marks "testpage-$q" 595x842 framed
done

echo "== two-sided: backs turned, a blank back for the odd page"
job duplex r34 "$docs/a4.pdf" -o PageSize=A4 -o Duplex=DuplexNoTumble
expect_pages duplex 4
expect_every_page duplex duplex=duplex
expect_marks duplex 595x842 "upright 1;rotated 2;upright 3;blank"

echo "== collated copies made by the filter"
job collated r01 "$docs/a4.pdf" -o PageSize=A4 -n 2 -o Collate=True
expect_pages collated 6
expect_every_page collated copies=1
expect_marks collated 595x842 "upright 1;upright 2;upright 3;upright 1;upright 2;upright 3"

echo "== uncollated copies made by the printer"
job uncollated r01 "$docs/a4.pdf" -o PageSize=A4 -n 2
expect_pages uncollated 3
expect_every_page uncollated copies=2
expect_marks uncollated 595x842 "upright 1;upright 2;upright 3"

echo "== manual two-sided: odd pages, then a blank back and the even pages"
job manual r05 "$docs/a4.pdf" -o PageSize=A4 -o ManualDuplex=True
expect_pages manual 4
expect_every_page manual duplex=manual
expect_marks manual 595x842 "upright 1;upright 3;blank;upright 2"
expect_instruction r05

echo "== in German and Chinese: the dialog's options, the instruction"
# A print dialog takes the queue's PPD from the scheduler and shows it in
# the user's language (lpoptions -l shows only keywords).
expect_option() {  # LANG QUEUE LINE
  local listed
  listed=$(LANG=$1 "$queue_options" "$2") || fail "$2: cannot list its options"
  grep -qxF -- "$3" <<<"$listed" || { echo "$listed" >&2; fail "$2 in $1: no line '$3'"; }
}
expect_option C r05 'ManualDuplex/Manual 2-Sided Printing: *False/Off True/On'
expect_option de_DE.UTF-8 r05 'ManualDuplex/Manueller doppelseitiger Druck: *False/Aus True/Ein'
expect_option de_DE.UTF-8 r01 'TonerMode/Tonersparmodus: *False/Aus True/Ein'
expect_option zh_CN.UTF-8 r34 'ManualDuplex/手动双面打印: *False/关 True/开'
# lp sends the user's language with the job, the scheduler hands it to the
# filter, which shows the instruction in it and prints as for anyone else.
LANG=de_DE.UTF-8 job manual-de r05 "$docs/a4.pdf" -o PageSize=A4 -o ManualDuplex=True
expect_pages manual-de 4
expect_marks manual-de 595x842 "upright 1;upright 3;blank;upright 2"
expect_instruction r05 de
LANG=zh_CN.UTF-8 job manual-zh r01 "$docs/dl.pdf" -o PageSize=EnvDL -o ManualDuplex=True
expect_pages manual-zh 2
expect_instruction r01 zh_CN

echo "== an envelope whose image starts at an offset"
job envelope r34 "$docs/dl.pdf" -o PageSize=EnvDL
expect_pages envelope 1
expect_marks envelope 312x624 "upright 1" --offset 240,120

echo "== 1200 x 600 dpi on platform 1"
job dpi1200x600 r34 "$docs/a4.pdf" -o PageSize=A4 -o Resolution=1200x600dpi -o page-ranges=1
expect_pages dpi1200x600 1
expect_marks dpi1200x600 595x842 "upright 1" --dpi 1200x600

echo "== 2-bit mode, darker and toner saving on platform 3"
job twobit r05 "$docs/a4.pdf" -o PageSize=A4 -o DPI1200=True -o Density=4 -o TonerMode=True \
  -o page-ranges=2
expect_pages twobit 1
expect_every_page twobit bpp=2
expect_marks twobit 595x842 "upright 2"

echo "== a custom page size"
job custom r05 "$docs/custom.pdf" -o PageSize=Custom.400x600
expect_pages custom 1
expect_marks custom 400x600 "upright 1" --slack 16

sandbox_stop
echo "e2e OK"
