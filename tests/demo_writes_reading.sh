#!/usr/bin/env bash
# The demo, started like a user would, shows readings and writes freq.text beside itself.
set -euo pipefail
demo=$1
file="$(dirname "$demo")/freq.text"
rm -f "$file"
timeout 4 "$demo" || [[ $? -eq 124 ]]
grep -qaE $'^[0-9]+[.,][0-9]{2}\r$' "$file"
[[ $(wc -l < "$file") -eq 1 ]]
