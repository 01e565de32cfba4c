#!/usr/bin/env bash
# Installed as a user installs it, the demo shows readings and writes them to a freq.text of its
# own, never to the one beside the real monitor, even when started from the programs' folder.
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" > /dev/null
bin="$work/prefix/bin"
printf '49,90\r\n' > "$bin/freq.text"
before=$(cd "$bin" && ls -lA --time-style=+%s.%N && sha256sum freq.text)

cd "$bin"
XDG_DATA_HOME="$work/data" timeout 4 ./frekuensi-demo || [[ $? -eq 124 ]]

after=$(cd "$bin" && ls -lA --time-style=+%s.%N && sha256sum freq.text)
[[ "$before" == "$after" ]] || { echo "the demo changed the monitor's folder"; exit 1; }
file="$work/data/frekuensi-demo/freq.text"
grep -qaE $'^[0-9]+[.,][0-9]{2}\r$' "$file"
[[ $(wc -l < "$file") -eq 1 ]]
