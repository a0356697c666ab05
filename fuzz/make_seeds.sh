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

# Saved file lists: one row per state, hostile paths, and files the program must set aside.
mkdir -p "$corpus/savedlist"
row() { # input state [more members]
    printf '{"input":"%s","settings":[0,2,0,-1,512,24,18,128,44100,1,1],"state":%s%s}' "$@"
}
printf '{"version":1,"entries":[%s,%s,%s,%s,%s]}' "$(row /v/a.mp4 0)" "$(row /v/b.avi 1)" \
    "$(row /v/c.flv 2 ',"note":"输入文件有损坏的数据，已跳过。\n"')" "$(row /v/d.wmv 3)" \
    "$(row /v/e.mkv 4 ',"error":"未识别的输入文件格式！\n"')" >"$corpus/savedlist/every-state"
printf '{"version":1,"entries":[%s,%s]}' "$(row '/v/\"q\" \\b\n\t\u0001 🎬.mp4' 0)" \
    "$(row '/v/\ud83c lone.mp4' 2)" >"$corpus/savedlist/hostile-paths"
printf '{"version":1,"entries":[]}' >"$corpus/savedlist/empty-list"
printf '{"version":2,"entries":[%s]}' "$(row /v/a.mp4 0)" >"$corpus/savedlist/newer-version"
printf '{"version":1,"entries":[%s' "$(row /v/a.mp4 0)" >"$corpus/savedlist/cut-short"
printf '{"version":1,"entries":[%s,%s]}' "$(row /v/a.mp4 2)" "$(row /v/a.mp4 0)" \
    >"$corpus/savedlist/listed-twice"

# Records of temporary outputs: ours and a user's file, a damaged pid, no outputs at all.
mkdir -p "$corpus/leftovers"
printf '{"version":1,"outputs":[{"path":"/o/.quellix-0123abcd-a.part.mp4","pid":1},'\
'{"path":"/o/Quellix转码-a.mp4","pid":2147483647}]}' >"$corpus/leftovers/ours-and-users"
printf '{"version":1,"outputs":[{"path":"/o/.quellix-0123abcd-a.part.mp4","pid":"1"}]}' \
    >"$corpus/leftovers/pid-not-a-number"
printf '{"version":1,"outputs":[]}' >"$corpus/leftovers/empty"
# The same records with a probed source after a second NUL: channels and sample rate as two more
# fields, one byte for the transfer (1 PQ, 2 HLG).
source_record() { # name, eleven numbers, input, output, channels, rate, transfer
    name=$1
    shift
    perl -e 'print pack("l<11", @ARGV[0..10]), $ARGV[11], "\0", $ARGV[12], "\0",
        pack("l<2C", @ARGV[13..15])' -- "$@" >"$corpus/commandline/$name"
}
source_record surround-into-wmv 3 4 2 -1 512 -1 18 128 44100 1 1 /v/film.mkv /out/film.wmv 6 48000 0
source_record hlg-into-mp4 0 2 0 -1 512 24 18 128 -1 1 3 /v/phone.mov /out/phone.mp4 2 48000 2
source_record pq-copied 0 6 3 -1 -1 -1 -1 -1 -1 3 3 /v/pq.mkv /out/pq.mp4 8 96000 1
source_record low-rate-mp3-in-flv 1 2 1 -1 256 32 12 32 24000 0 0 /v/a.ts /out/a.flv 1 8000 0

# The prober's descriptions of generated sources: 5.1 sound, HLG and PQ pictures, a turned
# picture, a download cut in half, a bare stream without a length, and no streams at all.
mkdir -p "$corpus/probe"
probe() { # name, file
    ffprobe -v error -print_format json -show_streams -show_format "$2" >"$corpus/probe/$1" || true
}
lavfi_picture="testsrc2=d=1:s=160x90:r=10"
ffmpeg -nostdin -y -loglevel error -f lavfi -i "$lavfi_picture" -f lavfi -i sine=d=1 \
    -af aformat=channel_layouts=5.1 -pix_fmt yuv420p -c:v libx264 -c:a ac3 surround.mkv
probe surround surround.mkv
for transfer in smpte2084 arib-std-b67; do
    ffmpeg -nostdin -y -loglevel error -f lavfi -i "$lavfi_picture" -pix_fmt yuv420p10le \
        -c:v libx265 -x265-params "log-level=error:colorprim=bt2020:transfer=$transfer" \
        -color_primaries bt2020 -color_trc $transfer -colorspace bt2020nc hdr.mp4
    probe "hdr-$transfer" hdr.mp4
done
ffmpeg -nostdin -y -loglevel error -i clip.mp4 -c copy -metadata:s:v:0 rotate=90 turned.mp4
probe turned turned.mp4
ffmpeg -nostdin -y -loglevel error -i clip.mp4 -c copy -movflags +faststart front.mp4
head -c $(($(wc -c <front.mp4) / 2)) front.mp4 >half.mp4
probe half half.mp4
ffmpeg -nostdin -y -loglevel error -i clip.mp4 -c:v copy -an -f h264 bare.h264
probe bare bare.h264
printf '{"streams":[],"format":{"duration":"N/A"}}' >"$corpus/probe/no-streams"
# An interlaced film with two audio tracks, a subtitle, chapters and tags, read as the program
# reads it (with its chapters).
printf ';FFMETADATA1\ntitle=film\n[CHAPTER]\nTIMEBASE=1/10\nSTART=0\nEND=5\n' >chapters.txt
printf '1\n00:00:00,000 --> 00:00:01,000\nhi\n' >sub.srt
ffmpeg -nostdin -y -loglevel error -f lavfi -i "$lavfi_picture" -f lavfi -i sine=d=1 \
    -f lavfi -i sine=d=1,aformat=channel_layouts=5.1 -i sub.srt -i chapters.txt \
    -map 0 -map 1 -map 2 -map 3 -map_metadata 4 -map_chapters 4 -flags +ilme+ildct -top 1 \
    -c:v mpeg2video -c:a aac -c:s srt -metadata:s:a:1 language=eng -disposition:a:1 default \
    -metadata creation_time=2024-05-01T10:20:30Z film.mkv
ffprobe -v error -print_format json -show_streams -show_format -show_chapters film.mkv \
    >"$corpus/probe/film-interlaced" || true
