#!/bin/sh
# Builds the benchmark programs, makes their input clips with ffmpeg's test sources, runs every
# figure on one headless X display and prints one table.
# Usage: bench/run.sh   (four minutes on a 2-core machine once built, about eight from nothing)
set -eu
cd "$(dirname "$0")/.."
SELF="$PWD/bench/run.sh"
BUILD="$PWD/build-bench"
BIN="$BUILD/bench"
LOG="$BUILD/bench.log"

# Runs per median; each figure measures its two sides in turns, so that other work on the
# machine weighs on both alike.
RUNS_GAPS=3
RUNS_READER=5
RUNS_BATCH=3
RUNS_ADD=5
RUNS_STARTUP=5

figures() {
    clips="$1"
    "$BIN/bench_startup" "$RUNS_STARTUP" "$BIN/bench_barewindow" "$BUILD/quellix"
    "$BIN/bench_responsiveness" "$clips/long.mp4" "$RUNS_GAPS"
    "$BIN/bench_reader" "$RUNS_READER"
    "$BIN/bench_batch" "$RUNS_BATCH" "$clips"/clip*.mp4
    "$BIN/bench_addfiles" "$RUNS_ADD"
}

if [ "${1:-}" = --figures ]; then
    figures "$2"
    exit 0
fi

started=$(date +%s)
echo "building into $BUILD ..."
scripts/setup.sh build-bench -DCMAKE_BUILD_TYPE=Release -DQUELLIX_BUILD_TESTS=OFF

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
echo "making clips ..."
clip() { # seconds name
    ffmpeg -nostdin -v error -y -f lavfi -i "testsrc=d=$1:s=640x360:r=25" \
        -f lavfi -i "sine=d=$1" -pix_fmt yuv420p -c:v libx264 -preset ultrafast \
        -c:a aac -shortest "$work/$2"
}
clip 30 long.mp4
clip 10 clip01.mp4
for n in 02 03 04 05 06 07 08 09 10; do
    cp "$work/clip01.mp4" "$work/clip$n.mp4"
done

echo "measuring ..."
xvfb-run -a -s "-screen 0 1920x1080x24" "$SELF" --figures "$work" >"$work/rows" 2>"$LOG" || {
    cat "$LOG" >&2
    exit 1
}

echo
{
    printf 'figure\tmedian\tgoal\tmeasured against\truns\tresult\n'
    grep '^ROW' "$work/rows" | cut -f 2-
} | awk -F '\t' '
    { for (i = 1; i <= NF; i++) { cell[NR, i] = $i; if (length($i) > w[i]) w[i] = length($i) } }
    END {
        for (r = 1; r <= NR; r++) {
            line = ""
            for (i = 1; i <= 6; i++) line = line sprintf("%-" w[i] "s  ", cell[r, i])
            sub(/ +$/, "", line); print line
            if (r == 1) { rule = ""; for (i = 1; i <= 6; i++) { s = sprintf("%" w[i] "s  ", ""); gsub(/ /, "-", s); rule = rule s }; sub(/-+$/, "", rule); print rule }
        }
    }'
echo
echo "Each median is over the number of runs shown; ratios are medians of side-by-side pairs."
echo "What the programs said on the way: $LOG"
echo "Whole run: $(($(date +%s) - started)) s."
