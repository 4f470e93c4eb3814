#!/usr/bin/env bash
# Scans the sample page end to end: builds what is missing into build/, starts
# the virtual scanner (board RM410) in a fresh emulated machine with the
# calibration sheet and then the sample page in its feeder, calibrates on the
# first and scans both sides of the second with siscan through Pelidor.dll
# (paper-end detection on), stops the scanner and says where the images are.
#
#   scripts/scan-sample.sh [siscan options]
#
# Without options it calibrates and scans 150 dpi colour duplex. Options
# replace that (for example `--calibrate --mode gray --resolution 300`;
# without --calibrate the page is scanned uncalibrated); the model is RM410__
# and the images go to build/sample-scan/page-front.pnm and page-back.pnm.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${PELIDOR_BUILD_DIR:-build}  # another build folder for a try-out
log=$(mktemp)
# The first run builds the library, the scanner and siscan (a few minutes):
# say so, and show the build's progress lines as they come.
if [ ! -x "$build/bin/siscan" ] || [ ! -x "$build/bin/emulator" ]; then
  echo "scan-sample: building the library, the virtual scanner and siscan into $build/ (the first time takes a few minutes)"
fi
progress() {
  local shown=no
  while IFS= read -r line; do
    echo "$line" >>"$log"
    case $line in
      \[*/*\]*) [ "${line%% *}" = "[0/2]" ] || { printf '\r  building %s' "${line%% *}"; shown=yes; } ;;
    esac
  done
  if [ $shown = yes ]; then printf '\n'; fi
}
if { [ -f "$build/build.ninja" ] || cmake -S . -B "$build" -G Ninja >"$log" 2>&1; } &&
   cmake --build "$build" --target siscan emulator Pelidor sample_page -j "$(nproc)" 2>&1 | progress &&
   [ "${PIPESTATUS[0]}" -eq 0 ]; then
  rm -f "$log"
else
  cat "$log" >&2
  rm -f "$log"
  echo "scan-sample: the build failed" >&2
  exit 1
fi

root=$(mktemp -d "${TMPDIR:-/tmp}/pelidor-root-XXXXXX")
out="$build/sample-scan"
mkdir -p "$out"
rm -f "$out"/page-front.pnm "$out"/page-back.pnm

emulator_pid=""
cleanup() {
  if [ -n "$emulator_pid" ]; then
    { echo quit >&"${EMULATOR[1]}"; } 2>/dev/null || true
    wait "$emulator_pid" 2>/dev/null || kill "$emulator_pid" 2>/dev/null || true
  fi
  rm -rf "$root"
}
trap cleanup EXIT

options=("$@")
if [ ${#options[@]} -eq 0 ]; then
  options=(--calibrate --resolution 150 --mode color --duplex)
fi
calibrate=no
for o in "${options[@]}"; do [ "$o" = --calibrate ] && calibrate=yes; done
# The feeder takes the sheets in the order given: with --calibrate the
# calibration sheet, then the page.
sheets=(--sheet "$build/samples/sample-front.ppm,$build/samples/sample-back.ppm")
[ $calibrate = yes ] && sheets=(--calibration-sheet "${sheets[@]}")

coproc EMULATOR { exec "$build/bin/emulator" --root "$root" --board RM410 "${sheets[@]}"; }
emulator_pid=$EMULATOR_PID

# The scanner prints `ready` once it serves (loading the 600-dpi page takes a moment).
if ! read -r -t 120 line <&"${EMULATOR[0]}" || [ "$line" != ready ]; then
  echo "scan-sample: the virtual scanner did not start" >&2
  exit 1
fi

if [ $calibrate = yes ]; then
  echo "scan-sample: calibrating on the calibration sheet, then scanning the sample page (siscan ${options[*]})"
else
  echo "scan-sample: scanning the sample page uncalibrated (siscan ${options[*]})"
fi
status=0
PLATFORM_ROOT="$root" "$build/bin/siscan" --model RM410__ "${options[@]}" --out "$out/page" || status=$?
if [ $status -ne 0 ]; then
  echo "scan-sample: the scan failed (siscan exit status $status)" >&2
  exit $status
fi
echo "scan-sample: the scanned page is in $out/ (page-front.pnm$([ -f "$out/page-back.pnm" ] && echo ", page-back.pnm"));"
echo "  it starts with the scanner's own band of backing (0.58 in, the paper sensor's distance from the scan line)"
echo "  and ends with the sheet (paper-end detection)$([ $calibrate = yes ] && echo "; calibrated on the calibration sheet first")."
