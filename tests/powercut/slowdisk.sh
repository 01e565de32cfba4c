#!/usr/bin/env bash
# The monitor on a slow disk: the real frekuensi runs from a fresh ext4 on the recording disk
# (recordingdisk.sh), so freq.text is written there, with the simulated device answering at once
# on its port, polling at "0,25 detik" while each write of the disk takes 0, 100, 300 and 1000 ms.
# For each it prints the polls in 6 s, the p95 and worst error of the gaps between requests (as
# the device saw them), how many gaps were off by more than 20 ms, how long after a click on Stop
# the window showed it stopped, when the window and then the program were gone after Exit; and what
# the program said on its error output. It fails when more than a fifth of the gaps are off by more
# than 20 ms: a poll that waits for the disk moves nearly every gap, while one poll held up by a
# busy machine moves two (a sanitizer build on CI once showed a single 62 ms hiccup at 0 ms).
# It fails too when fewer than 20 polls came in the 6 s, when Stop takes longer than 0.5 s, when
# the window is still there 0.5 s after Exit, when the program has not ended 30 s after it or
# ended with an error (the sanitizer build's reports), or when freq.text is left without one whole
# line. A benchmark with generous bounds, not a timed unit test.
# With --windows FOLDER, the Windows program of the unpacked zip FOLDER runs the same way under
# Wine 10 (tests/windows/wine10.sh, COM3 linked to the device), where FlushFileBuffers is an fsync.
# There a gap counts as off past 50 ms: Wine's server renames files for every process of the
# prefix, and a rename that waits for the journal can hold up the poll's own calls to the server.
# Usage: tests/powercut/slowdisk.sh BUILD [--windows FOLDER] [DELAYS_MS]
# Needs root, loop devices, FUSE, Xvfb and xdotool; exits 77 (skipped) without them.
set -euo pipefail
build=$(realpath "$1")
shift
windows=""
if [[ ${1:-} == --windows ]]; then
  windows=$(realpath "$2")
  shift 2
fi
delays=${1:-0 100 300 1000}
repo=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=tests/powercut/recordingdisk.sh
source "$(dirname "$0")/recordingdisk.sh"
# X and its tools: the machine's, or the Wine tree's for the Windows program.
in_x=()
[[ -n $windows ]] && in_x=("$repo/tests/windows/wine10.sh")
"${in_x[@]}" sh -c 'command -v Xvfb && command -v xdotool && command -v xwd' > /dev/null ||
  skip "needs Xvfb, xdotool and xwd (packages xvfb, xdotool, x11-apps)"
device_program="$build/simdevice/frekuensi-simdevice"
monitor=${windows:-$build/window/frekuensi}
[[ -e $monitor && -x $device_program ]] || skip "the monitor or frekuensi-simdevice was not built"
gap_limit=20
[[ -n $windows ]] && gap_limit=50
disk_up "$build" 64M mkfs.ext4 -q -F -b 4096 -- defaults
echo "ext4 on $(basename "$fs_loop") over the recording disk, kernel $(uname -r)${windows:+, the Windows program under Wine 10}"

fail() { echo "FAIL: $*"; exit 1; }
now_ms() { local up; read -r up _ < /proc/uptime; echo $((${up/./} * 10)); } # CLOCK_MONOTONIC, 10 ms
device="" program="" xserver=""
tree=${FREKUENSI_WINE_TREE:-/var/cache/frekuensi/trixie-wine}
disk_cleanup_first() {
  local pid
  for pid in $program $device $xserver; do
    end_process "$pid"
  done
  if [[ -n $windows ]]; then
    "$repo/tests/windows/wine10.sh" wineserver -k 2> /dev/null
    mountpoint -q "$tree$work/fs" && umount "$tree$work/fs"
    "$repo/tests/windows/wine10.sh" --release
  fi
  return 0
}

display=:$((200 + RANDOM % 100))
"${in_x[@]}" Xvfb "$display" -screen 0 800x600x24 -nolisten tcp > /dev/null 2>&1 &
xserver=$!
export DISPLAY=$display
xdo() { "${in_x[@]}" xdotool "$@" 2> /dev/null; } # no window manager, about which it complains
for _ in $(seq 50); do xdo getmouselocation > /dev/null && break; sleep 0.1; done
click() { xdo mousemove --window "$window" "$1" "$2" click 1; }

# The sanitizer build's monitor: libdbus's own leak at exit is not the program's (any other is).
export LSAN_OPTIONS="suppressions=$(dirname "$0")/lsan-suppressions.txt${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
folder="$work/fs/frekuensi"
mkdir -m 700 "$work/runtime"
if [[ -n $windows ]]; then
  cp -r "$windows" "$folder"
  # The Wine tree sees the slow file system at the same path.
  mkdir -p "$tree$work/fs"
  mount --bind "$work/fs" "$tree$work/fs"
else
  mkdir "$folder"
  cp "$monitor" "$folder/"
fi
sync -f "$folder" # the copy on the disk before it is made slow

# The monitor opens /dev/ttyS2: in a mount namespace of its own, /dev is a small tmpfs where
# ttyS2 links to the simulated device's line; nothing changes in the machine's /dev or /run/lock.
start_monitor() { # PTY ERRORS
  if [[ -n $windows ]]; then
    start_windows_monitor "$@"
    return
  fi
  LANG=C.UTF-8 QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work/runtime" \
    "$repo/tests/support/in-private-dev.sh" "$1" -- "$folder/frekuensi" > /dev/null 2> "$2" &
  program=$!
  window=$(timeout 30 xdotool search --sync --name '^Frekuensi$' | head -1) ||
    fail "no window within 30 s"
}
# COM3 is the device's line, with modem lines from the preloaded library; a GUI program's error
# output does not reach this shell under Wine.
start_windows_monitor() { # PTY ERRORS
  export WINEPREFIX=${WINEPREFIX:-$build-windows-prefix} WINEDEBUG=-all
  ln -sfn "$1" "$WINEPREFIX/dosdevices/com3"
  "$repo/tests/windows/wine10.sh" wineserver -k 2> /dev/null || true
  "$repo/tests/windows/wine10.sh" wineserver -w 2> /dev/null || true
  (cd "$folder" && LD_PRELOAD="$build/tests/windows/frekuensi-modemlines.so" LANG=C.UTF-8 \
    "$repo/tests/windows/wine10.sh" wine frekuensi.exe > /dev/null 2> "$2" &)
  window=$(timeout 30 "$repo/tests/windows/wine10.sh" xdotool search --sync --name '^Frekuensi$' |
    head -1) || fail "no window within 30 s"
  program=$(pgrep -x frekuensi.exe | head -1)
}

row='%-8s %6s %9s %10s %11s %8s %15s %16s\n'
# shellcheck disable=SC2059 # the one row format for the heading and every row
printf "$row" "write ms" polls "p95 (ms)" "worst (ms)" "off >${gap_limit} ms" "Stop ms" "Exit: window ms" \
  "Exit: program ms"
summary=""
for delay in $delays; do
  echo 0 > "$work/fuse/delay"
  rm -f "$folder/freq.text"
  log="$work/requests-$delay.log"
  errors="$work/errors-$delay.log"
  "$device_program" --delay 0 --log-requests > "$log" &
  device=$!
  for _ in $(seq 50); do [[ -s $log ]] && break; sleep 0.1; done
  start_monitor "$(head -1 "$log")" "$errors"
  # Stop (120,136 35x25), the interval's text (256,32 89x21), Start (40,136 41x25).
  click 140 148
  click 300 42
  xdo key --window "$window" ctrl+a
  xdo type --window "$window" "0,25 detik"
  click 60 148
  sleep 1.5
  echo "$delay" > "$work/fuse/delay"
  from=$(now_ms)
  sleep 6
  to=$(now_ms)
  # Stop has taken effect when the window shows the stopped state (Start enabled, Stop not) and
  # stays so: the first of the window's pictures since the click that equals the last one.
  click 140 148
  stopped=$(now_ms)
  pictures=()
  while (($(now_ms) - stopped < 1500)); do
    picture=$("${in_x[@]}" xwd -silent -id "$window" | md5sum)
    pictures+=("$(($(now_ms) - stopped)) ${picture%% *}")
  done
  stop_ms=""
  for picture in "${pictures[@]}"; do
    [[ ${picture#* } == "${pictures[-1]#* }" ]] && { stop_ms=${picture%% *}; break; }
  done
  mapfile -t times < <(awk -v a="$from" -v b="$to" '/^request/ && $3 >= a && $3 < b {print $3}' "$log")
  last=$(awk '/^request/ {t = $3} END {print t + 0}' "$log")
  ((last <= stopped + stop_ms + 10)) || fail "$delay ms: a poll came $((last - stopped)) ms after Stop"
  errors_ms=()
  for ((i = 1; i < ${#times[@]}; ++i)); do
    gap=$((times[i] - times[i - 1] - 250))
    errors_ms+=(${gap#-})
  done
  read -r p95 worst < <(printf '%s\n' "${errors_ms[@]:-999}" | sort -n |
    awk '{e[NR] = $1} END {i = int(NR * 0.95 + 0.999); print e[i], e[NR]}')
  off=$(printf '%s\n' "${errors_ms[@]:-999}" | awk -v limit="$gap_limit" '$1 > limit' | wc -l)
  # Exit (175,136 41x25): the window must go at once; the program may finish its one write.
  click 212 148
  clicked=$(now_ms)
  window_gone="" program_gone=""
  while (($(now_ms) - clicked < 30000)); do
    [[ -z $window_gone ]] && ! xdo search --onlyvisible --name '^Frekuensi$' > /dev/null &&
      window_gone=$(($(now_ms) - clicked))
    if ! kill -0 "$program" 2> /dev/null; then
      program_gone=$(($(now_ms) - clicked))
      [[ -n $window_gone ]] || window_gone=$program_gone
      break
    fi
    sleep 0.01
  done
  status=0
  [[ -n $windows ]] || wait "$program" || status=$? # the Linux program is this shell's child
  program=""
  kill "$device"
  wait "$device" 2> /dev/null || true
  device=""
  echo 0 > "$work/fuse/delay"
  # shellcheck disable=SC2059
  printf "$row" "$delay" "${#times[@]}" "$p95" "$worst" "$off" "$stop_ms" "$window_gone" \
    "${program_gone:-(running)}"
  [[ -n $windows ]] || sed "s/^/    said: /" "$errors"
  line=$(od -An -c "$folder/freq.text" 2> /dev/null | tr -s ' ')
  [[ $line == " 5 0 . 0 0 \r \n" ]] || fail "$delay ms: freq.text holds '$line', not one whole line"
  ((${#times[@]} >= 20)) || summary+="$delay ms: only ${#times[@]} polls in 6 s. "
  ((off * 5 <= ${#times[@]} - 1)) ||
    summary+="$delay ms: $off of $((${#times[@]} - 1)) poll gaps were off by more than $gap_limit ms. "
  ((stop_ms <= 500)) || summary+="$delay ms: Stop took $stop_ms ms. "
  ((window_gone <= 500)) || summary+="$delay ms: the window was there $window_gone ms after Exit. "
  [[ -n $program_gone ]] || summary+="$delay ms: the program did not end within 30 s of Exit. "
  ((status == 0)) || summary+="$delay ms: the program ended with status $status. "
done
[[ -z $summary ]] || fail "$summary"
echo "slow-disk check: passed"
