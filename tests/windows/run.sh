#!/usr/bin/env bash
# The Windows program under Wine, from the zip an operator gets: the zip is unpacked, the unit
# tests run against its DLLs, then frekuensi.exe runs under Xvfb with COM3 linked to the simulated
# device. It must poll once a second from the moment its window opens, cost under 5 % of a core,
# and end when Exit is clicked. Needs `cmake --workflow --preset windows` and the Linux build
# (for the simulated device) first. Usage: tests/windows/run.sh [LINUX_BUILD] [WINDOWS_BUILD]
set -euo pipefail
linux_build=$(realpath "${1:-build}")
windows_build=$(realpath "${2:-build-windows}")
zip=$(ls "$windows_build"/frekuensi-*-windows-x64.zip)
fail() { echo "FAIL: $*"; exit 1; }
now_ms() { awk '{printf "%d\n", $1 * 1000}' /proc/uptime; } # the device's clock, to 10 ms

rm -rf "$windows_build/unpacked"
mkdir -p "$windows_build/unpacked"
(cd "$windows_build/unpacked" && cmake -E tar xf "$zip")
folder=$(ls -d "$windows_build"/unpacked/frekuensi-*-windows-x64)
echo "zip: $(basename "$zip"), $(stat -c %s "$zip") bytes, $(find "$folder" -type f | wc -l) files"

# What the zip ships is what its programs import, and what they import that it does not ship is
# Windows' own (Qt's and MinGW's libraries are not).
imports=$(find "$folder" -iname '*.exe' -o -iname '*.dll' | while read -r pe; do
  x86_64-w64-mingw32-objdump -p "$pe" | awk '/DLL Name:/ {print tolower($3)}'
done | sort -u)
for dll in "$folder"/*.dll; do
  name=$(basename "$dll" | tr '[:upper:]' '[:lower:]')
  grep -qx "$name" <<< "$imports" || fail "the zip ships $name, which nothing imports"
done
for name in $imports; do
  [[ -n $(find "$folder" -maxdepth 1 -iname "$name") ]] && continue
  [[ $name =~ ^(qt6|lib) ]] && fail "$name is imported but not in the zip"
done

export WINEPREFIX="$windows_build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
[[ -d "$WINEPREFIX" ]] || wineboot --init > /dev/null 2>&1
ctest --test-dir "$windows_build" --output-on-failure
# Wine's desktop process, started by the tests without a display, would keep every later window
# off the X server.
wineserver -k 2> /dev/null || true
wineserver -w

work=$(mktemp -d)
cleanup() {
  [[ -n "${device:-}" ]] && kill "$device" 2> /dev/null
  wineserver -k 2> /dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
"$linux_build/tools/frekuensi-simdevice" --log-requests > "$work/device.log" &
device=$!
for _ in $(seq 50); do [[ -s "$work/device.log" ]] && break; sleep 0.1; done
ln -sfn "$(head -1 "$work/device.log")" "$WINEPREFIX/dosdevices/com3"

# One X session for the program and the click on Exit.
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  set -euo pipefail
  cd "$1"
  echo "started $(awk "{printf \"%d\", \$1 * 1000}" /proc/uptime)" > "$2/program.log"
  wine frekuensi.exe > /dev/null 2>&1 &
  wine_pid=$!
  window=$(xdotool search --sync --name "^Frekuensi$" | head -1)
  echo "seen $(awk "{printf \"%d\", \$1 * 1000}" /proc/uptime)" >> "$2/program.log"
  program=$(pgrep -x frekuensi.exe | head -1)
  sleep 2.5 # the first poll, one second after the window opened, and another
  read -r cpu0 < <(awk "{print \$14 + \$15}" /proc/$program/stat)
  sleep 8
  read -r cpu1 < <(awk "{print \$14 + \$15}" /proc/$program/stat)
  echo "cpu $(( cpu1 - cpu0 )) $(getconf CLK_TCK) 8" >> "$2/program.log"
  # Exit: 2880,2040 twips and 615x375 in size, so its middle is at 212,148 in the window.
  xdotool mousemove --window "$window" 212 148 click 1
  clicked=$(awk "{printf \"%d\", \$1 * 1000}" /proc/uptime)
  for _ in $(seq 100); do kill -0 "$program" 2> /dev/null || break; sleep 0.05; done
  echo "ended $(( $(awk "{printf \"%d\", \$1 * 1000}" /proc/uptime) - clicked ))" >> "$2/program.log"
  if kill -0 "$program" 2> /dev/null; then exit 1; fi
  wait "$wine_pid" || true
' _ "$folder" "$work" || fail "frekuensi.exe did not end within 5 s of Exit"

started=$(awk '/^started/ {print $2}' "$work/program.log")
seen=$(awk '/^seen/ {print $2}' "$work/program.log")
mapfile -t requests < <(awk '/^request/ {print $3}' "$work/device.log")
(( ${#requests[@]} >= 9 )) || fail "only ${#requests[@]} requests in 10 s"
# The window opens while Wine starts the program, and xdotool sees it up to 0.5 s late: the first
# poll, one second after the window is made, falls between the start plus 1 s and the sighting
# plus 1 s.
echo "window seen $(( seen - started )) ms after the start; first request $(( requests[0] - started )) ms after the start; ${#requests[@]} requests"
(( requests[0] - started >= 1000 && requests[0] <= seen + 1100 )) ||
  fail "the first request did not come one second after the window opened"
worst=0
for ((i = 1; i < ${#requests[@]}; ++i)); do
  gap=$(( requests[i] - requests[i - 1] ))
  off=$(( gap > 1000 ? gap - 1000 : 1000 - gap ))
  (( off > worst )) && worst=$off
done
echo "poll period: 1000 ms, largest deviation $worst ms"
(( worst <= 50 )) || fail "a poll period was off by $worst ms"
read -r _ ticks hz seconds < <(grep '^cpu' "$work/program.log")
share=$(awk -v t="$ticks" -v h="$hz" -v s="$seconds" 'BEGIN {printf "%.2f", 100 * t / h / s}')
echo "CPU of frekuensi.exe while polling: $share % of a core"
awk -v s="$share" 'BEGIN {exit !(s < 5)}' || fail "frekuensi.exe took $share % of a core"
echo "Exit: the program ended $(awk '/^ended/ {print $2}' "$work/program.log") ms after the click"
echo "Windows stage: passed"
