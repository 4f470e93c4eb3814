#!/usr/bin/env bash
# Checks the include rules of the three layers:
#  - the system's own code (scanlib/, the front ends) and tools/ include no
#    POSIX or Linux header: they are written against the platform's API;
#  - platform/ and emulator/ include no header of the system's own code;
#  - front ends and tools reach the library only through scanlib/include/;
#  - inside scanlib/ a layer includes only its own and lower layers
#    (os <- device <- chips <- engine <- api).
# Test programs are held to the last three rules only.
# Prints each offending line and exits 1 when there is any.
set -uo pipefail
cd "$(dirname "$0")/.."

status=0
complain() { # rule, grep output
  [ -z "$2" ] && return
  echo "include rule: $1"
  echo "$2" | sed 's/^/  /'
  status=1
}

sources() { # folders...
  local dirs=()
  for d in "$@"; do [ -d "$d" ] && dirs+=("$d"); done
  ((${#dirs[@]})) || return 0
  find "${dirs[@]}" -type f \( -name '*.c' -o -name '*.cpp' -o -name '*.h' -o -name '*.hpp' \) \
    ! -path "${SKIP:-/no-skip}" -print0
}

includes() { # pattern, folders...
  local pattern=$1; shift
  sources "$@" | xargs -0 -r grep -nE "^[[:space:]]*#[[:space:]]*include[[:space:]]*[<\"]($pattern)" || true
}

system_code=(scanlib common twain wia calibrate propext)
front_ends=(common twain wia calibrate propext tools)

posix='unistd\.h|pthread\.h|fcntl\.h|dlfcn\.h|poll\.h|signal\.h|termios\.h|semaphore\.h|dirent\.h|spawn\.h|sched\.h|syslog\.h|netdb\.h|sys/|linux/|asm/|netinet/|arpa/|X11/|cairo|fontconfig|ft2build'
# Test programs may use the host's API to run children and look at files.
complain "no POSIX or Linux header in the system's code or tools" \
  "$(SKIP='*/tests/*' includes "$posix" "${system_code[@]}" tools)"

library='SIInterface\.h|SIPropertyIds\.h|SIRecord\.h|(\.\./)*(scanlib|twain|wia|calibrate|propext|common)/'
complain "platform/ and emulator/ include nothing of the system's code" "$(includes "$library" platform emulator)"

internals='(\.\./)*scanlib/|(os|device|chips|engine|api)/'
complain "front ends and tools see the library only through scanlib/include/" "$(includes "$internals" "${front_ends[@]}")"

layers=(os device chips engine api)
for i in "${!layers[@]}"; do
  above=("${layers[@]:$((i + 1))}")
  ((${#above[@]})) || continue
  pattern=$(IFS='|'; echo "${above[*]}" | sed 's/[a-z]*/&\//g')
  complain "scanlib/${layers[$i]}/ includes no layer above it" "$(includes "$pattern" "scanlib/${layers[$i]}")"
done

exit $status
