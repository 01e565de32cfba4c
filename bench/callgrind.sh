#!/bin/sh
# Instructions per answered and per silent poll, counted by callgrind: each kind is run for 10 and
# for 30 polls and the difference divided by 20, so start-up and shut-down cancel out. Then the
# functions that cost most over the 30 polls, inclusive.
# Usage: bench/callgrind.sh [build/bench/frekuensi-pollbench]
set -eu
bench=${1:-build/bench/frekuensi-pollbench}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
export QT_QPA_PLATFORM=offscreen

total() {
    valgrind --tool=callgrind --callgrind-out-file="$out/$1.$2" "$bench" --polls "$1" "$2" 2>&1 |
        sed -n 's/.*Collected : //p'
}

for kind in answered silent; do
    few=$(total "$kind" 10)
    many=$(total "$kind" 30)
    echo "$kind poll: $(( (many - few) / 20 )) instructions each"
    callgrind_annotate --inclusive=yes "$out/$kind.30" 2>/dev/null |
        sed '/Auto-annotated source/q' | grep -E 'PollCycle::|SerialLink::|ReadingFile::|ReadingText::|QSerialPort::(open|close)|QSaveFile::commit|QWidgetRepaintManager::paintAndFlush|QLineEdit::(paintEvent|setText)|QWidget::setPalette|QCoreApplication::processEvents' |
        sed -E 's/ \[[^]]*\]$//; s/\([^)]*\)//g; s/  +/ /g' | grep -v '^ *[0-9,]* *[^ ]*qobjectdefs_impl' | head -14
done
