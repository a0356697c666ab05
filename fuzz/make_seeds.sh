#!/bin/sh
# Remakes the fuzz programs' seeds under fuzz/corpus/. The transcoder-output seeds come from real
# ffmpeg runs on generated clips (a conversion with progress, a missing input, a text file given as
# a video, an unknown filter); each console output is kept whole up to 8191 bytes and
# also cut into three pieces, the way the job's reads cut it, so a remade output differs from the
# committed one only in ffmpeg's addresses and timings. The `found-*` seeds are not made here: they
# are the few inputs of a grown corpus without which these seeds reach fewer edges than the whole
# corpus did, kept under names that say what they hold.
set -eu
corpus="$(cd "$(dirname "$0")" && pwd)/corpus"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

run() { # name, ffmpeg arguments...
    name=$1
    shift
    ffmpeg -nostdin -hide_banner -y "$@" >"$name.txt" 2>&1 || true
}
ffmpeg -nostdin -y -loglevel error -f lavfi -i testsrc=duration=4:size=320x240:rate=25 \
    -f lavfi -i sine=duration=4 -pix_fmt yuv420p -c:v libx264 -c:a aac -shortest clip.mp4
run convert -stats_period 0.05 -i clip.mp4 -s 480x320 -crf 32 -r 12 -c:v libx264 -ar 24000 \
    -b:a 32k -c:a aac out.mp4
run avi -stats_period 0.05 -i clip.mp4 -b:v 256k -r 12 -c:v mpeg4 -c:a mp3 out.avi
run missing -i missing.mp4 out.mp4
echo "not a video" >text.mp4
run invalid -i text.mp4 out.mp4
run filters -i clip.mp4 -vf nosuchfilter out2.mp4

mkdir -p "$corpus/outputchunk"
for output in convert avi missing invalid filters; do
    head -c 8191 "$output.txt" >"$corpus/outputchunk/$output-whole"
    split -n 3 -d -a 1 "$output.txt" "$corpus/outputchunk/$output-piece"
done

mkdir -p "$corpus/clock"
for clock in 00:01:23.45 01:00:00.99 02:03:04 100:00:00 -1:00:00 N/A "00:00:30.50 bitrate="; do
    printf '%s' "$clock" >"$corpus/clock/$(printf '%s' "$clock" | tr -c '0-9A-Za-z' '_')"
done

mkdir -p "$corpus/config"
printf '{"VideosDir":"/tmp"}' >"$corpus/config/existing"
printf '{"VideosDir":"/home/user/Videos","Other":[1,2]}' >"$corpus/config/missing-folder"
printf '{\n    "VideosDir": "/tmp/\\u00e9\\ud83c\\udfac"\n}\n' >"$corpus/config/escapes"
printf '{"VideosDir":5}' >"$corpus/config/not-a-string"
printf '["VideosDir","/tmp"]' >"$corpus/config/not-an-object"
printf '{"VideosDir":"/tmp"' >"$corpus/config/cut-short"

# Settings records: eleven little-endian 32-bit fields (vc cv ca r bv crf fps ba ar vql aql), then
# the input path, a NUL and the output path.
record() { # name, eleven numbers, input, output
    name=$1
    shift
    perl -e 'print pack("l<11", @ARGV[0..10]), $ARGV[11], "\0", $ARGV[12]' -- "$@" \
        >"$corpus/commandline/$name"
}
mkdir -p "$corpus/commandline"
record defaults 0 2 0 -1 512 24 18 128 44100 1 1 "/home/u/Videos/a b.avi" \
    "/home/u/Movies/Quellix转码-a b.mp4"
record wmv-default-levels 3 4 2 -1 -1 -1 -1 -1 -1 3 3 /v/clip.mkv /out/Quellix转码-clip.wmv
record sized-mpeg4 2 0 1 1 1024 24 18 128 44100 2 1 '/v/"quoted".mov' /out/x.avi
record copy-with-rate 0 6 3 3 800 -1 0 -1 -1 1 3 /v/in.flv /out/in.mp4
record nothing-set -1 9 7 -1 -1 -1 -1 -1 -1 -1 -1 "" ""
