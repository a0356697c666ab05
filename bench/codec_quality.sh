#!/bin/sh
# Measures what the quality levels give with each video encoder: H.264, H.265, AV1 and VP9 at
# low, medium and high (低/中/高质量), with the options chosen for that level, on a
# moving test pattern and, when Debian's opencv-doc sample videos are installed, on real footage
# scaled to 1280x720. Prints one tab-separated table: bit rate, size against H.264 at the same
# level, SSIM against the source at the output's frame rate and its difference to H.264's, the
# encoding speed (wall clock, passes included) and the processor time it took.
# Usage: bench/codec_quality.sh [seconds] [runs]
#   (32 minutes with the defaults and real footage on a 2-core machine that others kept busy, a
#   load average of 4 to 11; the encodes themselves took 17.5 minutes of processor time)
#   seconds  length of each source clip (default 10)
#   runs     encodes of each case; speed and processor time are their medians (default 1)
set -eu
LENGTH=${1:-10}
RUNS=${2:-1}
SAMPLES=/usr/share/doc/opencv-doc/examples/data
# Encodes yield to whatever else the machine runs.
NICE="nice -n 10"
EVEN="scale=trunc(iw/2)*2:trunc(ih/2)*2"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

# The options of each encoder at each level besides the frame rate, the even size and the 4:2:0
# pixel format, which all share. VP9 runs two passes: in one pass libvpx makes no alternate
# reference frames and needs more bits than H.264 for its SSIM.
video_options() { # codec level
    case "$1 $2" in
    "h264 low") echo "-crf 32 -c:v libx264" ;;
    "h264 medium") echo "-crf 24 -c:v libx264" ;;
    "h264 high") echo "-crf 18 -c:v libx264" ;;
    "h265 low") echo "-crf 32 -c:v libx265" ;;
    "h265 medium") echo "-crf 24 -c:v libx265" ;;
    "h265 high") echo "-crf 18 -c:v libx265" ;;
    "av1 low") echo "-crf 50 -c:v libsvtav1 -preset 8" ;;
    "av1 medium") echo "-crf 39 -c:v libsvtav1 -preset 8" ;;
    "av1 high") echo "-crf 20 -c:v libsvtav1 -preset 8" ;;
    "vp9 low") echo "-crf 46 -b:v 0 -c:v libvpx-vp9 -deadline good -cpu-used 5 -row-mt 1" ;;
    "vp9 medium") echo "-crf 32 -b:v 0 -c:v libvpx-vp9 -deadline good -cpu-used 5 -row-mt 1" ;;
    "vp9 high") echo "-crf 18 -b:v 0 -c:v libvpx-vp9 -deadline good -cpu-used 5 -row-mt 1" ;;
    esac
}

# A level's frame rate is a ceiling: a slower source keeps its own.
level_rate() { # level source-rate
    case "$1" in
    low) cap=12 ;;
    medium) cap=18 ;;
    *) cap=30 ;;
    esac
    awk -v cap="$cap" -v own="$2" 'BEGIN { print (own > 0 && own < cap) ? own : cap }'
}

extension() {
    case "$1" in
    h264 | h265) echo mp4 ;;
    av1) echo mkv ;;
    *) echo webm ;;
    esac
}

# Processor seconds the finished child processes have used so far, into a file: `times` in a
# command substitution would speak for the subshell.
child_cpu() { # file
    times >"$1"
}

seconds_of() { # file of child_cpu
    awk 'NR == 2 { t = 0; for (i = 1; i <= 2; i++) { split($i, a, "m"); t += a[1] * 60 + a[2] }
                   print t }' "$1"
}

median() {
    sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# Sources are kept losslessly (x264 at QP 0 in 4:2:0, the pixel format of every output), so that
# SSIM measures the encoder alone.
lossless() { # name input-options...
    name=$1
    shift
    $NICE ffmpeg -nostdin -v error -y "$@" -t "$LENGTH" -an -pix_fmt yuv420p \
        -c:v libx264 -qp 0 -preset ultrafast "$work/src-$name.mkv"
    echo "$name" >>"$work/sources"
}

# The reference an output is compared with: the source through the same -r and filter, losslessly,
# into a container of the same kind. -r does not pick the frames the fps filter picks: it drops
# late, and differently into MP4 (constant rate) than into Matroska (variable rate), and with a
# filter than without one.
reference() { # source rate extension
    case "$3" in
    mp4) kind=mp4 ;;
    *) kind=mkv ;;
    esac
    ref="$work/ref-$(basename "$1" .mkv)-$2.$kind"
    [ -f "$ref" ] || $NICE ffmpeg -nostdin -v error -y -i "$1" -r "$2" -vf "$EVEN" \
        -pix_fmt yuv420p -c:v libx264 -qp 0 -preset ultrafast "$ref"
    echo "$ref"
}

encode() { # source rate codec level output
    # shellcheck disable=SC2046 # the options are words
    if [ "$3" = vp9 ]; then
        $NICE ffmpeg -nostdin -v error -y -i "$1" $(video_options "$3" "$4") -r "$2" -vf "$EVEN" \
            -pix_fmt yuv420p -an -pass 1 -passlogfile "$work/pass" -f null - &&
            $NICE ffmpeg -nostdin -v error -y -i "$1" $(video_options "$3" "$4") -r "$2" \
                -vf "$EVEN" -pix_fmt yuv420p -an -pass 2 -passlogfile "$work/pass" "$5"
    else
        $NICE ffmpeg -nostdin -v error -y -i "$1" $(video_options "$3" "$4") -r "$2" -vf "$EVEN" \
            -pix_fmt yuv420p -an "$5"
    fi
}

echo "making sources ..." >&2
: >"$work/sources"
# A zooming fractal (fine detail everywhere) with the moving pattern sliding over it.
lossless pattern -f lavfi -i "mandelbrot=s=1280x720:r=30,format=yuv420p[bg];
    testsrc2=s=640x360:r=30[fg];[bg][fg]overlay=x='mod(t*160,640)':y=180[out0]"
skipped=""
for clip in Megamind vtest; do
    if [ -f "$SAMPLES/$clip.avi" ]; then
        lossless "$clip" -i "$SAMPLES/$clip.avi" -vf "scale=1280:720:flags=lanczos,setsar=1"
    else
        skipped="$skipped $clip.avi"
    fi
done

echo "encoding ..." >&2
load_before=$(cut -d ' ' -f 1 /proc/loadavg)
while read -r name; do
    src="$work/src-$name.mkv"
    own=$(ffprobe -v error -select_streams v:0 -show_entries stream=avg_frame_rate -of csv=p=0 \
        "$src" | awk -F / '{ print ($2 > 0) ? $1 / $2 : $1 }')
    duration=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$src")
    for level in low medium high; do
        rate=$(level_rate "$level" "$own")
        for codec in h264 h265 av1 vp9; do
            out="$work/out.$(extension "$codec")"
            : >"$work/times"
            : >"$work/cpu"
            run=0
            while [ "$run" -lt "$RUNS" ]; do
                start=$(date +%s.%N)
                child_cpu "$work/cpu-start"
                encode "$src" "$rate" "$codec" "$level" "$out" 2>"$work/log" || {
                    cat "$work/log" >&2
                    exit 1
                }
                echo "$(date +%s.%N) $start" | awk '{ print $1 - $2 }' >>"$work/times"
                child_cpu "$work/cpu-end"
                echo "$(seconds_of "$work/cpu-end") $(seconds_of "$work/cpu-start")" |
                    awk '{ print $1 - $2 }' >>"$work/cpu"
                run=$((run + 1))
            done
            seconds=$(median <"$work/times")
            cpu=$(median <"$work/cpu")
            ref=$(reference "$src" "$rate" "$(extension "$codec")")
            frames=$(ffprobe -v error -select_streams v:0 -count_packets \
                -show_entries stream=nb_read_packets -of csv=p=0 "$out")
            bytes=$(wc -c <"$out")
            ssim=$(ffmpeg -nostdin -i "$out" -i "$ref" -lavfi \
                "[0:v]setpts=PTS-STARTPTS[m];[1:v]setpts=PTS-STARTPTS[r];[m][r]ssim" \
                -f null - 2>&1 | sed -n 's/.* All:\([0-9.]*\).*/\1/p')
            if [ "$codec" = h264 ]; then
                base_bytes=$bytes
                base_ssim=$ssim
            fi
            awk -v c="$codec" -v l="$level" -v s="$name" -v b="$bytes" -v d="$duration" \
                -v bb="$base_bytes" -v q="$ssim" -v bq="$base_ssim" -v f="$frames" -v t="$seconds" \
                -v p="$cpu" 'BEGIN { printf "%s\t%s\t%s\t%.0f\t%.2f\t%.4f\t%+.4f\t%.1f\t%.2f\t%.1f\n",
                    c, l, s, b * 8 / d / 1000, b / bb, q, q - bq, f / t, d / t, p }' \
                >>"$work/table"
        done
    done
done <"$work/sources"

echo "# $(date -u +%Y-%m-%d), ffmpeg $(ffmpeg -version | sed -n '1s/ffmpeg version \([^ ]*\).*/\1/p'), \
$(nproc) cores, clips of $LENGTH s, $RUNS run(s), load average $load_before before and \
$(cut -d ' ' -f 1 /proc/loadavg) after"
for codec in h264 h265 av1 vp9; do
    for level in low medium high; do
        echo "# $codec $level: $(video_options "$codec" "$level")$([ "$codec" = vp9 ] && echo ', two passes')"
    done
done
[ -z "$skipped" ] || echo "# real footage skipped (install opencv-doc for it):$skipped"
printf 'codec\tlevel\tsource\tkbit/s\tsize/H.264\tSSIM\tSSIM-H.264\tenc fps\tx real time\tcpu s\n'
cat "$work/table"
