#!/usr/bin/env bash
# Installs what the build needs (Debian packages), then configures, builds and
# tests the three builds: x86-64 (build/), 32-bit x86 (build32/) and x86-64
# with AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/).
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake ninja-build g++ g++-multilib googletest libgtest-dev libbenchmark-dev qemu-user)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi

# 32-bit x86 programs run natively where the kernel can; elsewhere the kernel
# hands them to qemu-user through binfmt_misc.
ensure_i386_programs_run() {
  local dir; dir=$(mktemp -d)
  echo 'int main() { return 0; }' > "$dir/probe.cpp"
  g++ -m32 "$dir/probe.cpp" -o "$dir/probe"
  if ! "$dir/probe" 2>/dev/null; then
    local misc=/proc/sys/fs/binfmt_misc
    mountpoint -q "$misc" || mount -t binfmt_misc binfmt_misc "$misc"
    if [ ! -e "$misc/qemu-i386" ]; then
      printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386:F' > "$misc/register"
    fi
    "$dir/probe"
  fi
  rm -rf "$dir"
}

jobs=$(nproc)
only="${1:-all}"

build_and_test() {
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  (cd "$dir" && ctest --output-on-failure -j "$jobs" --timeout 900)
}

status=0
echo "== include rules"
./scripts/check-includes.sh || status=1
if [ "$only" = all ] || [ "$only" = native ]; then
  echo "== x86-64 build (build/)"
  build_and_test build || status=1
fi
if [ "$only" = all ] || [ "$only" = 32 ]; then
  echo "== 32-bit x86 build (build32/)"
  ensure_i386_programs_run
  build_and_test build32 -DCMAKE_TOOLCHAIN_FILE=cmake/i386.cmake || status=1
fi
if [ "$only" = all ]; then
  # A 64-bit and a 32-bit process share one named mutex (the image service
  # and a 32-bit front end do).
  echo "== 64-bit and 32-bit processes sharing named mutexes"
  PLATFORM_PEER_TEST_PROGRAM="$PWD/build32/bin/platform_tests" \
    build/bin/platform_tests --gtest_filter='CoreMutex.SharedWithTheOtherBuild' || status=1
fi
if [ "$only" = all ] || [ "$only" = asan ]; then
  echo "== sanitizer build (build-asan/)"
  export ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1
  build_and_test build-asan -DPELIDOR_SANITIZE=ON || status=1
fi
exit $status
