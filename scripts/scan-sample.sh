#!/usr/bin/env bash
# Scans the sample page end to end: builds what is missing into build/, starts
# the virtual scanner (board RM410) with the sample page in a fresh emulated
# machine, scans both sides with siscan through Pelidor.dll, stops the
# scanner and says where the images are.
#
#   scripts/scan-sample.sh [siscan options]
#
# Without options it scans 150 dpi colour duplex. Options replace that
# (for example `--mode gray --resolution 300`); the model is RM410__ and the
# images go to build/sample-scan/page-front.pnm and page-back.pnm.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${PELIDOR_BUILD_DIR:-build}  # another build folder for a try-out
log=$(mktemp)
if { [ -f "$build/build.ninja" ] || cmake -S . -B "$build" -G Ninja >"$log" 2>&1; } &&
   cmake --build "$build" --target siscan emulator Pelidor sample_page -j "$(nproc)" >"$log" 2>&1; then
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

coproc EMULATOR { exec "$build/bin/emulator" --root "$root" --board RM410 \
  --sheet "$build/samples/sample-front.ppm,$build/samples/sample-back.ppm"; }
emulator_pid=$EMULATOR_PID

# The scanner prints `ready` once it serves (loading the 600-dpi page takes a moment).
if ! read -r -t 120 line <&"${EMULATOR[0]}" || [ "$line" != ready ]; then
  echo "scan-sample: the virtual scanner did not start" >&2
  exit 1
fi

options=("$@")
if [ ${#options[@]} -eq 0 ]; then
  options=(--resolution 150 --mode color --duplex)
fi
status=0
PLATFORM_ROOT="$root" "$build/bin/siscan" --model RM410__ "${options[@]}" --out "$out/page" || status=$?
if [ $status -ne 0 ]; then
  echo "scan-sample: the scan failed (siscan exit status $status)" >&2
  exit $status
fi
echo "scan-sample: the scanned page is in $out/ (page-front.pnm$([ -f "$out/page-back.pnm" ] && echo ", page-back.pnm"))"
