#!/usr/bin/env bash
# Runs rasterfilter under valgrind memcheck on a small three-page job for a
# model of each platform: once two-sided with two collated copies, once as a
# collated manual-duplex job. Any memory error or leak fails the test.
set -euo pipefail
filter=$1
sanitized=${2:-0}
if [ "$sanitized" = 1 ]; then
  echo "sanitizer build: memcheck runs in the normal build only"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cat > "$work/doc.ps" <<'PS'
%!PS
/Helvetica findfont 14 scalefont setfont
1 1 3 { /n exch def
  10 120 moveto (Page ) show n 3 string cvs show
  0 1 7 { /i exch def i 8 div setgray 10 i 12 mul add 20 10 10 rectfill } for
  showpage } for
PS
gs -q -dBATCH -dNOPAUSE -dSAFER -sDEVICE=cups -dcupsColorSpace=0 -dcupsBitsPerColor=8 -r600 \
   -dDEVICEWIDTHPOINTS=144 -dDEVICEHEIGHTPOINTS=144 -dFIXEDMEDIA -dNumCopies=2 \
   -sOutputFile="$work/job.ras" "$work/doc.ps" >/dev/null

failed=0
for model in "Norvane R33 Series:PLATFORM_C" "Norvane R02 Series:PLATFORM_Z" "Norvane R20 Series:PLATFORM_M"; do
  name=${model%%:*}
  platform=${model##*:}
  ppd="$work/$platform.ppd"
  cat > "$ppd" <<PPD
*PPD-Adobe: "4.3"
*FormatVersion: "4.3"
*FileVersion: "1.0"
*LanguageVersion: English
*LanguageEncoding: ISOLatin1
*PCFileName: "MEMCHECK.PPD"
*Manufacturer: "Norvane"
*Product: "(Memcheck)"
*ModelName: "$name"
*ShortNickName: "Memcheck"
*NickName: "Memcheck"
*HWMargins: 0 0 0 0
*cupsIPPReason PlatForm/$platform: ""
*cupsIPPReason MDuplex/Turn the stack over: ""
PPD
  for options in "Duplex=DuplexNoTumble Collate=true" "ManualDuplex=true Collate=true"; do
    mkdir -p "$work/tmp"
    if ! PPD="$ppd" TMPDIR="$work/tmp" valgrind --quiet --error-exitcode=99 --leak-check=full \
         --show-leak-kinds=definite,indirect,possible --errors-for-leak-kinds=definite,indirect,possible \
         --log-file="$work/valgrind.log" \
         "$filter" 7 memcheck memcheck 2 "$options" "$work/job.ras" >"$work/out.prn" 2>"$work/err.txt"; then
      echo "FAIL: $name, $options"
      cat "$work/valgrind.log" "$work/err.txt"
      failed=1
    elif [ -n "$(ls -A "$work/tmp")" ]; then
      echo "FAIL: $name, $options left files in TMPDIR: $(ls "$work/tmp")"
      failed=1
    else
      echo "ok: $name, $options ($(wc -c < "$work/out.prn") bytes)"
    fi
  done
done
exit $failed
