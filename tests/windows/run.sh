#!/usr/bin/env bash
# The Windows program under Wine 10, from the zip an operator gets. The zip is unpacked and its
# imports checked, the unit tests built for Windows run against its DLLs, then frekuensi.exe runs
# under Xvfb with COM3 linked to the simulated device (on a pseudo-terminal, given modem lines by
# the preloaded frekuensi-modemlines): readings reach freq.text in English and Indonesian notation,
# polls come 1,00 s and 0,25 s apart, the CPU stays low, a pulled and replugged device, a silent
# one and a late one are misses, and Exit ends it. Then a line whose waits fail (the
# pseudo-terminal without modem lines) for 30 s: the program must keep polling and end on Exit. Then
# the demo, without COM3. Last, the installer (install, the installed monitor and demo, install over
# them, uninstall) and the slow-disk check (tests/powercut/slowdisk.sh) with the zip's program.
# Needs root, the tree of tools/wine-tree.sh, `cmake --workflow --preset windows` and the Linux
# build (the simulated device, the modem-line library).
# Usage: tests/windows/run.sh [LINUX_BUILD] [WINDOWS_BUILD] [SCREENSHOT.png]
set -euo pipefail
linux_build=$(realpath "${1:-build}")
windows_build=$(realpath "${2:-build-windows}")
screenshot=${3:-}
repo=$(cd "$(dirname "$0")/../.." && pwd)
zip=$(ls "$windows_build"/frekuensi-*-windows-x64.zip)
modemlines="$linux_build/tests/windows/frekuensi-modemlines.so"
fail() { echo "FAIL: $*"; exit 1; }
wine10() { "$repo/tests/windows/wine10.sh" "$@"; }
# A fresh Wine server: a program started afterwards (and the server) get its environment, such as
# the preloaded modem lines, and nothing of the previous run lingers.
end_wine() {
  wine10 wineserver -k 2> /dev/null || true
  wine10 wineserver -w 2> /dev/null || true
}
now_ms() { awk '{printf "%d\n", $1 * 1000}' /proc/uptime; } # the device's clock, to 10 ms
stage_start=$(now_ms)

rm -rf "$windows_build/unpacked"
mkdir -p "$windows_build/unpacked"
(cd "$windows_build/unpacked" && cmake -E tar xf "$zip")
# One top folder without a version, so a newer zip unpacked over an older one keeps freq.text's path.
[[ $(ls "$windows_build/unpacked") == Frekuensi ]] || fail "the zip's top folder is not Frekuensi"
folder="$windows_build/unpacked/Frekuensi"
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

# The programs' resources: the icon in the usual sizes, the version details naming the version in
# the zip's name (the project's one version number) and the program, and a manifest that asks for
# no elevation.
version=$(basename "$zip" | sed 's/^frekuensi-\(.*\)-windows-x64\.zip$/\1/')
declare -A described=([frekuensi]="Frekuensi: monitor" [frekuensi-demo]="Frekuensi (demo): ")
for name in frekuensi frekuensi-demo; do
  description=${described[$name]} exe="$folder/$name.exe" name=$name.exe
  x86_64-w64-mingw32-objdump -h "$exe" | grep -q '\.rsrc' || fail "$name has no resources"
  resources=$(wrestool -l "$exe")
  echo "$resources" | sed "s/^/$name resource: /"
  icon=$(mktemp --suffix=.ico)
  wrestool -x --type=group_icon "$exe" > "$icon"
  sizes=$(icotool -l "$icon" | sed -n 's/.*--width=\([0-9]*\).*/\1/p' | sort -n | tr '\n' ' ')
  rm -f "$icon"
  [[ $sizes == "16 24 32 48 256 " ]] || fail "$name's icon has the sizes '$sizes'"
  # Each value follows its key, the two apart only by padding.
  details=$(wrestool -x --raw --type=version "$exe" | tr -d '\000' | tr -c '[:print:]' '\n')
  for field in "ProductNameFrekuensi" "FileVersion$version" "ProductVersion$version" \
    "OriginalFilename$name" "FileDescription$description" \
    "LegalCopyrightCopyright (c) 2026 The Frekuensi developers"; do
    grep -qF "$field" <<< "$details" || fail "$name's version details lack $field"
  done
  manifest=$(wrestool -x --raw --type=24 "$exe")
  grep -q 'level="asInvoker"' <<< "$manifest" || fail "$name's manifest does not ask for asInvoker"
  grep -q 'supportedOS' <<< "$manifest" || fail "$name's manifest names no supported Windows"
  echo "$name resources: icon $sizes px, version $version, '$description…', manifest asInvoker"
done

work=$(mktemp -d "$windows_build/stage.XXXXXX")
device=""
xserver=""
cleanup() {
  local status=$?
  set +e
  [[ -n $device ]] && kill "$device" 2> /dev/null
  wine10 wineserver -k 2> /dev/null
  [[ -n $xserver ]] && kill "$xserver" 2> /dev/null
  wait 2> /dev/null
  wine10 --release
  rm -rf "$work"
  return $status
}
trap cleanup EXIT

export WINEPREFIX="$windows_build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export XDG_RUNTIME_DIR=/tmp
wine10 wine --version
[[ -f $WINEPREFIX/system.reg ]] || wine10 wineboot --init > /dev/null 2>&1

# The unit tests, against the zip's DLLs; Qt's test library lies beside them.
dlls="Z:${folder//\//\\}"
for test in "$windows_build"/tests/tst_*.exe; do
  name=$(basename "$test" .exe)
  result="$work/$name.txt"
  (cd "$(dirname "$test")" && WINEPATH="$dlls" wine10 wine "$name.exe" -o "Z:${result//\//\\},txt" \
    > /dev/null 2>&1) || { cat "$result" 2> /dev/null; fail "$name under Wine"; }
  grep '^Totals' "$result" | sed "s/^/$name: /"
done
end_wine

# One X server for every run of the program.
display=:$((90 + RANDOM % 100))
# Started by the script itself, not the function (a subshell), so that $! is the X server's.
"$repo/tests/windows/wine10.sh" Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp > /dev/null 2>&1 &
xserver=$!
export DISPLAY=$display
for _ in $(seq 50); do wine10 xdotool getmouselocation > /dev/null 2>&1 && break; sleep 0.1; done

# The simulated device with these options, COM3 linked to its line; its requests go to LOG.
plug_device() { # LOG [simdevice options]
  local log=$1
  shift
  unplug_device
  "$linux_build/simdevice/frekuensi-simdevice" --log-requests "$@" > "$log" &
  device=$!
  for _ in $(seq 50); do [[ -s $log ]] && break; sleep 0.1; done
  ln -sfn "$(head -1 "$log")" "$WINEPREFIX/dosdevices/com3"
}
unplug_device() {
  [[ -n $device ]] || return 0
  kill "$device"
  wait "$device" 2> /dev/null || true
  device=""
}
# Starts frekuensi.exe from FOLDER with LANG, the modem lines or not; sets program (its pid) and
# window, and program_started (ms).
start_program() { # FOLDER LANG yes|no [as-operator]
  local preload=() operator=()
  [[ $3 == yes ]] && preload=(LD_PRELOAD="$modemlines")
  # Root without its permission override, so a read-only folder refuses Wine as it refuses an
  # operator.
  [[ ${4:-} == as-operator ]] &&
    operator=(setpriv --bounding-set=-dac_override,-dac_read_search,-fowner)
  end_wine
  program_started=$(now_ms)
  (cd "$1" && env "${preload[@]}" LANG="$2" "$repo/tests/windows/wine10.sh" "${operator[@]}" \
    wine frekuensi.exe > /dev/null 2>&1 &)
  window=$(timeout 30 "$repo/tests/windows/wine10.sh" xdotool search --sync --name '^Frekuensi$' |
    head -1) || fail "no window within 30 s"
  program=$(pgrep -x frekuensi.exe | head -1)
}
# Xvfb has no window manager, about which xdotool complains on every key.
xdo() { wine10 xdotool "$@" 2> /dev/null; }
click() { xdo mousemove --window "$window" "$1" "$2" click 1; }
# Exit: 2880,2040 twips and 615x375 in size, so its middle is at 212,148 in the window.
exit_program() {
  click 212 148
  local clicked; clicked=$(now_ms)
  for _ in $(seq 100); do kill -0 "$program" 2> /dev/null || break; sleep 0.05; done
  kill -0 "$program" 2> /dev/null && fail "frekuensi.exe did not end within 5 s of Exit"
  echo "Exit: the program ended $(($(now_ms) - clicked)) ms after the click"
}
alive() { kill -0 "$program" 2> /dev/null || fail "frekuensi.exe is gone: $*"; }
file_holds() { # FOLDER BYTES WHEN
  local got; got=$(od -An -c "$1/freq.text" 2> /dev/null | tr -s ' ' || echo "(no file)")
  local want; want=$(printf '%s' "$2" | od -An -c | tr -s ' ')
  [[ $got == "$want" ]] || fail "$3: freq.text holds '$got', not '$want'"
  echo "$3: freq.text holds$got"
}
# The request gaps in LOG from the Nth request on: within INTERVAL +- 10 ms, but for two at most.
# One poll held up by a busy machine moves the gap before it and the one after; a poll that does
# not keep its interval moves them all.
check_period() { # LOG FIRST INTERVAL WHAT
  mapfile -t times < <(awk '/^request/ {print $3}' "$1" | tail -n +"$2")
  ((${#times[@]} >= 5)) || fail "$4: only ${#times[@]} requests"
  local worst=0 late=0 gap off
  for ((i = 1; i < ${#times[@]}; ++i)); do
    gap=$((times[i] - times[i - 1]))
    off=$((gap > $3 ? gap - $3 : $3 - gap))
    ((off > worst)) && worst=$off
    ((off > 10)) && late=$((late + 1))
  done
  echo "$4: ${#times[@]} requests $3 ms apart, largest deviation $worst ms, $late gaps off by more than 10 ms"
  ((late <= 2)) || fail "$4: $late poll periods were off by more than 10 ms (the largest by $worst ms)"
}
cpu_share() { # SECONDS
  local before after
  before=$(awk '{print $14 + $15}' "/proc/$program/stat")
  sleep "$1"
  after=$(awk '{print $14 + $15}' "/proc/$program/stat")
  awk -v t=$((after - before)) -v h="$(getconf CLK_TCK)" -v s="$1" \
    'BEGIN {printf "%.2f", 100 * t / h / s}'
}
# Stop (120,136 35x25), type the interval into the box (256,32 89x21), Start (40,136 41x25).
poll_every_quarter_second() {
  click 140 148
  click 300 42
  xdo key --window "$window" ctrl+a
  xdo type --window "$window" "0,25 detik"
  click 60 148
}
# The modem-line log of a run (FREKUENSI_MODEMLINES_LOG of the preloaded library): over 20 polls
# or more, no request raised DTR or RTS of COM3's line, the opens' and closes' included.
check_lines() { # LOG DEVICE_LOG WHAT
  (($(grep -c '^request' "$2") >= 20)) || fail "$3: fewer than 20 polls"
  set -- "$1" "$(head -1 "$2")" "$3"
  [[ -s $1 ]] || fail "$3: no modem-line request was logged"
  local raised
  raised=$(awk -v tty="$2" '$2 == tty && (int($8 / 2) % 2 > int($6 / 2) % 2 || int($8 / 4) % 2 > int($6 / 4) % 2)' "$1")
  [[ -z $raised ]] || { echo "$raised"; fail "$3: DTR or RTS of COM3 ($2) was raised"; }
  echo "$3: $(grep -c " $2 " "$1") modem-line requests for COM3 ($2), none raised DTR or RTS; the first and last:"
  grep " $2 " "$1" | sed -n '1,3p;$p' | sed 's/^/    /'
}
take_screenshot() { # PNG [root|WINDOW]: the program's window, the whole screen (tooltips are
  # windows of their own) or another window
  local which="-id ${2:-$window}"
  [[ ${2:-} == root ]] && which=-root
  wine10 sh -c "xwd -silent $which | xwdtopnm 2> /dev/null | pnmtopng" > "$1"
}
listing() { (cd "$1" && find . -type f | sort); }
# The demo: its process (the kernel keeps 15 characters of a name), and its freq.text in the Wine
# user's local application data folder.
users="$WINEPREFIX/drive_c/users"
user=$(ls "$users" | grep -vx Public | head -1)
demo_file="$users/$user/AppData/Local/frekuensi-demo/freq.text"
demo_pid() { pgrep -x 'frekuensi-demo\.' | head -1; }
start_demo() { # FOLDER: frekuensi-demo.exe from there, beside whatever runs; sets demo (its pid)
  (cd "$1" && LANG=C.UTF-8 "$repo/tests/windows/wine10.sh" wine frekuensi-demo.exe > /dev/null 2>&1 &)
  window=$(timeout 30 "$repo/tests/windows/wine10.sh" xdotool search --sync \
    --name '^Frekuensi \(demo\)$' | head -1) || fail "no demo window within 30 s"
  demo=$(demo_pid)
}
# Within 10 s the demo's freq.text gets a new line: a reading between 48 and 52 Hz and CR LF.
demo_writes() { # WHAT
  local before line=""
  before=$(stat -c %y "$demo_file" 2> /dev/null || true)
  for _ in $(seq 100); do
    [[ $(stat -c %y "$demo_file" 2> /dev/null) != "$before" ]] &&
      line=$(od -An -c "$demo_file" | tr -d ' \n') && [[ $line =~ ^(4[89]|5[01])\.[0-9]{2}\\r\\n$ ]] &&
      break
    line="" && sleep 0.1
  done
  [[ -n $line ]] || fail "$1: the demo wrote no reading between 48 and 52 Hz within 10 s"
  echo "$1: the demo's freq.text holds $line"
}

# 1. English notation, one poll a second, unplugged and plugged back, silent, then 0,25 s. COM3's
#    lines start off, as a port of a driver that does not raise DTR by itself; they stay off.
run="$work/english"
cp -r "$folder" "$run"
plug_device "$work/device1.log"
FREKUENSI_MODEMLINES_UP="" FREKUENSI_MODEMLINES_LOG="$work/lines1.log" start_program "$run" C.UTF-8 yes
sleep 2.5 # the first poll, one second after the window opened, and another
share=$(cpu_share 8)
echo "CPU of frekuensi.exe while polling once a second: $share % of a core"
awk -v s="$share" 'BEGIN {exit !(s < 5)}' || fail "frekuensi.exe took $share % of a core"
file_holds "$run" $'50.00\r\n' "English, reply 10000.0"
check_period "$work/device1.log" 2 1000 "1,00 detik"
unplug_device
sleep 4
alive "after the device was pulled"
file_holds "$run" $'50.00\r\n' "device pulled for 4 s"
plug_device "$work/device2.log" --reply $'10010\r\n'
sleep 3
alive "after the device was plugged back"
file_holds "$run" $'49.95\r\n' "device plugged back, reply 10010"
plug_device "$work/device3.log" --silent
sleep 7 # more than five misses
alive "with a silent device"
file_holds "$run" $'49.95\r\n' "silent device for 7 s"
[[ -n $screenshot ]] && take_screenshot "$work/silent.png"
plug_device "$work/device4.log"
poll_every_quarter_second
sleep 5.5
check_period "$work/device4.log" 3 250 "0,25 detik"
exit_program
check_lines "$work/lines1.log" "$work/device4.log" "0,25 detik, lines found off"

# 1b. The same with DTR and RTS stored on (the inbox serial driver's default) before the first
#     start: the monitor stores them off before its first open.
run="$work/stored-on"
cp -r "$folder" "$run"
plug_device "$work/device11.log"
FREKUENSI_MODEMLINES_UP="DTR RTS" FREKUENSI_MODEMLINES_LOG="$work/lines2.log" \
  start_program "$run" C.UTF-8 yes
poll_every_quarter_second
sleep 5.5
exit_program
check_lines "$work/lines2.log" "$work/device11.log" "0,25 detik, lines found on"

# 2. Indonesian notation, and a device that answers too late, from a fresh folder each.
run="$work/indonesian"
cp -r "$folder" "$run"
plug_device "$work/device5.log" --reply $'09990\r\n'
start_program "$run" id_ID.UTF-8 yes
sleep 3.5
file_holds "$run" $'50,05\r\n' "Indonesian, reply 09990"
# F2: the trend window, in Indonesian, while the polls keep their time; its picture.
xdo key --window "$window" F2
trend=$(timeout 10 "$repo/tests/windows/wine10.sh" xdotool search --sync --name 'tren$' | head -1) ||
  fail "F2 showed no trend window within 10 s"
sleep 6
take_screenshot "$work/trend.png" "$trend"
[[ -s $work/trend.png ]] || fail "no picture of the trend window"
[[ -n $screenshot ]] && cp "$work/trend.png" "${screenshot%.png}-trend.png"
check_period "$work/device5.log" 2 1000 "1,00 detik with the trend window open"
# On this 1024x768 screen the trend window covers the main one's Exit, which every other run
# clicks: this one is ended with Wine's server.
end_wine
run="$work/late"
cp -r "$folder" "$run"
plug_device "$work/device6.log" --delay 300
start_program "$run" C.UTF-8 yes
sleep 6
alive "with a late device"
[[ ! -e $run/freq.text ]] || fail "a reply 300 ms late was taken: freq.text holds $(od -c "$run/freq.text")"
echo "late device: $(grep -c '^request' "$work/device6.log") requests answered 300 ms late, no freq.text"
exit_program

# 3. A folder the program may not write, as C:\Program Files is for an operator: it polls as
#    usual and never writes freq.text; the reading's tooltip, which says why, is in the screenshot
#    (a Windows GUI program's messages do not reach this shell under Wine).
run="$work/readonly"
cp -r "$folder" "$run"
chmod 555 "$run"
plug_device "$work/device8.log"
start_program "$run" C.UTF-8 yes as-operator
sleep 4
alive "in a read-only folder"
[[ ! -e $run/freq.text ]] || fail "freq.text was written in a read-only folder"
echo "read-only folder: $(grep -c '^request' "$work/device8.log") requests, no freq.text, still running"
if [[ -n $screenshot ]]; then
  # The reading box (56,48 169x65): its tooltip shows the line on freq.text.
  xdo mousemove --window "$window" 140 80
  sleep 2
  take_screenshot "${screenshot%.png}-readonly.png" root
fi
exit_program
chmod 755 "$run"

# 4. A line whose waits fail (FAILING_ZIP_FOLDER: another unpacked zip to try, an older one): the pseudo-terminal without modem lines, for 30 s.
run="$work/failing"
cp -r "${FAILING_ZIP_FOLDER:-$folder}" "$run"
plug_device "$work/device7.log"
start_program "$run" C.UTF-8 no
sleep 30
alive "after 30 s on a line whose waits fail"
check_period "$work/device7.log" 2 1000 "failing waits"
echo "failing waits: freq.text $(od -An -c "$run/freq.text" 2> /dev/null | tr -s ' ' || echo "never written")"
exit_program

# 4b. The demo from the zip, with no COM3: it writes readings to its own freq.text at every poll
#     and nothing beside itself; a second start leaves at once (one demo per user); Exit ends it.
unplug_device
rm -f "$WINEPREFIX/dosdevices/com3" "$demo_file"
run="$work/demo"
cp -r "$folder" "$run"
end_wine
start_demo "$run"
program=$demo
demo_writes "the demo from the zip"
demo_writes "a poll later"
[[ $(listing "$run") == "$(listing "$folder")" ]] || fail "the demo wrote beside itself"
began=$(now_ms)
(cd "$run" && "$repo/tests/windows/wine10.sh" timeout 20 wine frekuensi-demo.exe > /dev/null 2>&1) ||
  fail "a second start of the demo failed"
took=$(($(now_ms) - began))
((took <= 4000)) || fail "a second start of the demo took $took ms to leave"
alive "the demo, after a second start"
echo "the demo: nothing written beside it; a second start left after $took ms"
exit_program

# The picture for the README: Indonesian, in Wine's own virtual desktop, which draws the title bar
# with the window's icon as Windows does (without a window manager Wine draws none).
if [[ -n $screenshot ]]; then
  run="$work/picture"
  cp -r "$folder" "$run"
  plug_device "$work/device9.log" --reply $'09990\r\n'
  # The monitor's, and the demo's for the guides.
  for picture in frekuensi.exe:"$screenshot" \
    frekuensi-demo.exe:"$(dirname "$screenshot")/frekuensi-demo-windows.png"; do
    end_wine
    (cd "$run" && LD_PRELOAD="$modemlines" LANG=id_ID.UTF-8 "$repo/tests/windows/wine10.sh" \
      wine explorer /desktop=Frekuensi,480x300 "${picture%%:*}" > /dev/null 2>&1 &)
    desktop=$(timeout 30 "$repo/tests/windows/wine10.sh" xdotool search --sync --name 'Wine desktop' |
      head -1) || fail "no Wine desktop within 30 s"
    sleep 4 # the first poll and its reading
    # The desktop fills the screen and centres the window; the picture is the window and a margin.
    wine10 sh -c "xwd -silent -id $desktop | xwdtopnm 2> /dev/null |
      pnmcut -left 296 -top 226 -width 430 -height 290 | pnmtopng" > "${picture#*:}"
    wine10 wineserver -k 2> /dev/null || true
    echo "screenshot: ${picture#*:}"
  done
fi

# 5. The installer, as an operator runs it: its version details and icon; a silent install as a
#    user without administrator rights; the installed monitor polling COM3 and writing freq.text in
#    its folder, the installed demo beside it; the same version installed again over them (which
#    it closes and starts again) with freq.text's line kept; a silent uninstall, which closes them,
#    that leaves freq.text alone.
setup=$(ls "$windows_build"/frekuensi-*-setup.exe)
[[ $(basename "$setup") == "frekuensi-$version-setup.exe" ]] || fail "the installer is $(basename "$setup")"
details=$(wrestool -x --raw --type=version "$setup" | tr -d '\000' | tr -c '[:print:]' '\n')
for field in "ProductNameFrekuensi" "FileVersion$version" "ProductVersion$version" \
  "LegalCopyrightCopyright (c) 2026 The Frekuensi developers"; do
  grep -qF "$field" <<< "$details" || fail "the installer's version details lack $field"
done
wrestool -l "$setup" | grep -q 'type=group_icon' || fail "the installer has no icon"
echo "installer: $(basename "$setup"), $(stat -c %s "$setup") bytes, version $version, with its icon"
install="$users/$user/AppData/Local/Programs/Frekuensi"
menu="$users/$user/AppData/Roaming/Microsoft/Windows/Start Menu/Programs"
key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Frekuensi'
rm -rf "$install"
wine10 wine reg delete "$key" /f > /dev/null 2>&1 || true
setup_silently() { # what it is about, [installer options]
  end_wine
  wine10 setpriv --bounding-set=-dac_override,-dac_read_search,-fowner wine "$setup" /S "${@:2}" \
    > /dev/null 2>&1 || fail "$1: the installer failed"
}
setup_silently "install"
diff <(listing "$folder"; echo ./uninstall.exe) <(listing "$install" | grep -v '^./freq.text$' |
  sort -u) > /dev/null || fail "the installed files are not the zip's: $(listing "$install")"
[[ -f $menu/Frekuensi.lnk ]] || fail "no Start menu shortcut"
# The guide in the display language (English here), from the installed folder.
[[ -f "$menu/Frekuensi guide.lnk" ]] || fail "no Start menu entry for the guide"
[[ -f $install/operator-guide.html && -f $install/panduan-operator.html && -f $install/frekuensi.png ]] ||
  fail "the guide is not installed"
tr -d '\000' < "$menu/Frekuensi (demo).lnk" | grep -q 'frekuensi-demo\.exe' || fail "no entry for the demo"
startup_link() { find "$menu" -ipath '*/startup/frekuensi.lnk'; } # Wine spells it StartUp
[[ -z $(startup_link) ]] || fail "start with Windows was chosen by default"
entry=$(wine10 wine reg query "$key" 2> /dev/null | tr -d '\r')
for value in "DisplayName    REG_SZ    Frekuensi" "DisplayVersion    REG_SZ    $version" \
  "Publisher    REG_SZ    Frekuensi developers" 'UninstallString    REG_SZ    "C:\users\'"$user"'\AppData\Local\Programs\Frekuensi\uninstall.exe"' \
  'DisplayIcon    REG_SZ    C:\users\'"$user"'\AppData\Local\Programs\Frekuensi\frekuensi.exe,0' \
  "EstimatedSize    REG_DWORD"; do
  grep -qF "$value" <<< "$entry" || { echo "$entry"; fail "the Uninstall entry lacks '$value'"; }
done
echo "installed into ${install#"$WINEPREFIX/"}: $(listing "$install" | wc -l) files, Start menu" \
  "shortcut, no Startup shortcut; Uninstall entry:"
grep REG_ <<< "$entry" | sed 's/^ */    /'
listing "$install" | sed 's/^\./    files: /'
find "$menu" -name '*.lnk' | sed "s|^$users/|    shortcut: |"
plug_device "$work/device10.log"
start_program "$install" C.UTF-8 yes
sleep 3
file_holds "$install" $'50.00\r\n' "the installed monitor"
# One monitor per port: a second start leaves at once, and the device sees one monitor's requests.
requests() { grep -c '^request' "$work/device10.log" || true; }
before=$(requests)
sleep 4
one=$(($(requests) - before))
before=$(requests)
began=$(now_ms)
status=0
(cd "$install" && LD_PRELOAD="$modemlines" LANG=C.UTF-8 "$repo/tests/windows/wine10.sh" \
  timeout 20 wine frekuensi.exe > /dev/null 2>&1) || status=$?
took=$(($(now_ms) - began))
((status == 0)) || fail "a second start ended with status $status"
((took <= 4000)) || fail "a second start took $took ms to leave"
while (($(now_ms) - began < 4000)); do sleep 0.1; done
two=$(($(requests) - before))
echo "requests in 4 s: $one with one monitor, $two with a second start, which left after $took ms"
((two <= one + 1)) || fail "the device saw $two requests in 4 s with a second start, not $one"
alive "after a second start"
start_demo "$install"
demo_writes "the installed demo beside the monitor"
# A silent upgrade with a window of another program titled "Frekuensi" open (as Explorer's on the
# install folder is): the look-alike stays, the monitor is closed, the program replaced and the
# monitor started again, by the installer, as the installing user.
(WINEPATH="$dlls" "$repo/tests/windows/wine10.sh" wine "$windows_build/tests/frekuensi-lookalike.exe" \
  > /dev/null 2>&1 &)
for _ in $(seq 100); do lookalike=$(pgrep -f 'frekuensi-lookalike.exe' | head -1) && break; sleep 0.1; done
[[ -n $lookalike ]] || fail "the look-alike window did not start"
sleep 1
touch -d 2000-01-01 "$install/frekuensi.exe" "$install/frekuensi-demo.exe"
began=$(now_ms)
LD_PRELOAD="$modemlines" wine10 setpriv --bounding-set=-dac_override,-dac_read_search,-fowner \
  wine "$setup" /S /STARTWITHWINDOWS > /dev/null 2>&1 || fail "upgrade: the installer failed"
took=$(($(now_ms) - began))
! kill -0 "$program" 2> /dev/null || fail "the installer left the old monitor running"
! kill -0 "$demo" 2> /dev/null || fail "the installer left the old demo running"
kill -0 "$lookalike" 2> /dev/null || fail "the installer closed the look-alike window"
[[ -z $(find "$install" -name 'frekuensi*.exe' ! -newermt 2001-01-01) ]] ||
  fail "the installer did not replace $(find "$install" -name 'frekuensi*.exe' ! -newermt 2001-01-01)"
for _ in $(seq 100); do restarted=$(pgrep -x frekuensi.exe | head -1) && break; sleep 0.1; done
[[ -n $restarted ]] || fail "the upgrade did not start the monitor it closed"
count=$(requests)
for _ in $(seq 100); do (($(requests) > count)) && break; sleep 0.1; done
(($(requests) > count)) || fail "the restarted monitor does not poll"
echo "silent upgrade with a look-alike window open: took $took ms; the look-alike stayed, the" \
  "monitor was closed, frekuensi.exe replaced, and the monitor started again and polls"
for _ in $(seq 100); do demo=$(demo_pid) && [[ -n $demo ]] && break; sleep 0.1; done
demo_writes "the demo started again by the upgrade"
[[ -n $(startup_link) && -z $(find "$menu" -ipath '*/startup/*demo*') ]] ||
  fail "start with Windows, chosen, made no Startup shortcut for the monitor, or one for the demo"
echo "installed again with /STARTWITHWINDOWS over the running monitor, which it closed;" \
  "$(startup_link | sed "s|^$users/||")"
file_holds "$install" $'50.00\r\n' "installed again over the running monitor"
wine10 wine reg query "$key" > /dev/null 2>&1 || fail "the Uninstall entry went on reinstall"
kill "$lookalike" # the uninstaller is to close the monitor and the demo
wine10 wine "$install/uninstall.exe" /S > /dev/null 2>&1 || fail "the uninstaller failed"
# The uninstaller runs from a copy of itself, which goes on after the first one has returned.
for _ in $(seq 300); do [[ -e $install/uninstall.exe ]] || break; sleep 0.1; done
wine10 wineserver -w 2> /dev/null || true
! kill -0 "$restarted" 2> /dev/null && ! kill -0 "$demo" 2> /dev/null && [[ -f $demo_file ]] ||
  fail "the uninstaller left the monitor or the demo running, or removed the demo's freq.text"
[[ $(listing "$install") == ./freq.text ]] || fail "after uninstall the folder holds: $(listing "$install")"
[[ -z $(find "$menu" -name 'Frekuensi*.lnk') ]] || fail "a shortcut is left"
! wine10 wine reg query "$key" > /dev/null 2>&1 || fail "the Uninstall entry is left"
file_holds "$install" $'50.00\r\n' "uninstalled"
echo "uninstalled: the folder holds only freq.text; shortcuts and Uninstall entry gone"
listing "$install" | sed 's/^\./    files: /'

if [[ -n $screenshot ]]; then
  # The installer's first page, in Indonesian as Windows set to Indonesian shows it.
  end_wine
  (LANG=id_ID.UTF-8 "$repo/tests/windows/wine10.sh" wine "$setup" > /dev/null 2>&1 &)
  sleep 1
  page=$(timeout 30 "$repo/tests/windows/wine10.sh" xdotool search --sync --onlyvisible --name 'Frekuensi' |
    head -1) || fail "no installer window within 30 s"
  sleep 2
  wine10 sh -c "xwd -silent -id $page | xwdtopnm 2> /dev/null | pnmtopng" > "$(dirname "$screenshot")/frekuensi-setup.png"
  end_wine
  echo "screenshot: $(dirname "$screenshot")/frekuensi-setup.png"
fi
rm -rf "$install"

# 6. The zip's program on a slow disk: it keeps its time, and Exit takes its window away at once.
status=0
bash "$repo/tests/powercut/slowdisk.sh" "$linux_build" --windows "$folder" || status=$?
((status == 0 || status == 77)) || fail "the slow-disk check under Wine"

echo "Windows stage: passed in $((($(now_ms) - stage_start) / 1000)) s"
