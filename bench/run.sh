#!/bin/sh
# Builds the benchmark programs, makes their input clips with ffmpeg's test sources, runs every
# figure on one headless X display and prints one table.
# Usage: bench/run.sh [--baseline REV]
#   (about eight minutes on a 2-core machine once built, about twelve from nothing)
#   --baseline REV  also builds these benchmark programs against the program as it was at REV
#                   (a revision that has the window fixture of tests/) and runs the figures of
#                   the file list beside this tree's, in turns, marked "before"
set -eu
cd "$(dirname "$0")/.."
SELF="$PWD/bench/run.sh"
BUILD="$PWD/build-bench"
BASE="$PWD/build-bench-base"
LOG="$BUILD/bench.log"

# Runs per median; each figure measures its two sides in turns, so that other work on the
# machine weighs on both alike.
RUNS_GAPS=3
RUNS_READER=5
RUNS_BATCH=3
RUNS_ADD=5
RUNS_LIST=3
RUNS_STARTUP=5
RUNS_SAVEDLIST=9
RUNS_ATONCE=3
RUNS_RESTORE=5
RUNS_REMUX=3

# The figures of the file list, by the programs under $1: adding, a batch in a long list, the
# memory a converted file keeps.
list_figures() {
    bin="$1"
    clips="$2"
    "$bin/bench_addfiles" "$RUNS_ADD"
    "$bin/bench_biglist" "$clips/clip01.mp4" "$RUNS_LIST"
    "$bin/bench_converted" "$clips/tiny.mp4" 300
}

figures() {
    clips="$1"
    bin="$BUILD/bench"
    "$bin/bench_startup" "$RUNS_STARTUP" "$bin/bench_barewindow" "$BUILD/quellix"
    "$bin/bench_responsiveness" "$clips/long.mp4" "$RUNS_GAPS"
    "$bin/bench_reader" "$RUNS_READER"
    "$bin/bench_batch" "$RUNS_BATCH" "$clips"/clip*.mp4
    "$bin/bench_savedlist" "$RUNS_SAVEDLIST"
    "$bin/bench_atonce" "$clips/clip01.mp4" 6 "$RUNS_ATONCE"
    "$bin/bench_restore" "$RUNS_RESTORE"
    "$bin/bench_remux" "$RUNS_REMUX" "$clips/remux.mkv"
    list_figures "$bin" "$clips"
    if [ -d "$BASE/tree/build/bench" ]; then
        list_figures "$BASE/tree/build/bench" "$clips" | sed 's/^ROW\t/ROW\tbefore: /'
    fi
}

if [ "${1:-}" = --figures ]; then
    figures "$2"
    exit 0
fi

started=$(date +%s)
echo "building into $BUILD ..."
scripts/setup.sh build-bench -DCMAKE_BUILD_TYPE=Release -DQUELLIX_BUILD_TESTS=OFF \
    -DQUELLIX_BUILD_BENCH=ON -DQUELLIX_BUILD_TOOLS=ON
if [ "${1:-}" = --baseline ]; then
    echo "building the program as it was at $2 into $BASE ..."
    rm -rf "$BASE"
    mkdir -p "$BASE"
    git archive --format=tar "$2" | tar -x -C "$BASE" --one-top-level=tree
    rm -rf "$BASE/tree/bench"
    cp -r bench "$BASE/tree/bench"
    cmake -S "$BASE/tree" -B "$BASE/tree/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DQUELLIX_BUILD_BENCH=ON >/dev/null
    cmake --build "$BASE/tree/build" -j 2 --target bench_addfiles bench_biglist bench_converted
else
    rm -rf "$BASE"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
echo "making clips ..."
clip() { # seconds size name
    ffmpeg -nostdin -v error -y -f lavfi -i "testsrc=d=$1:s=$2:r=25" \
        -f lavfi -i "sine=d=$1" -pix_fmt yuv420p -c:v libx264 -preset ultrafast \
        -c:a aac -shortest "$work/$3"
}
clip 30 640x360 long.mp4
clip 10 640x360 clip01.mp4
for n in 02 03 04 05 06 07 08 09 10; do
    cp "$work/clip01.mp4" "$work/clip$n.mp4"
done
clip 1 160x120 tiny.mp4
clip 100 1280x720 remux.mkv
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
