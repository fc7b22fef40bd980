#!/bin/sh
# Seeds the film targets' corpora (fuzz/corpus/film_open/ and film_play/) with small films made by
# the ffmpeg command: AVI, MPEG, Matroska and QuickTime containers, with and without sound, widths
# that are no multiple of 16, a sound track that turns from stereo to mono, damaged films, and (for
# opening only) a playlist and a list of films. The corpora are checked in, so this runs only when
# they are to be made again.
#
# Usage: seed_films.sh
set -eu

here=$(cd "$(dirname "$0")" && pwd)
command -v ffmpeg >/dev/null 2>&1 || { echo "seed_films.sh: ffmpeg is needed" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

film() {
  ffmpeg -nostdin -loglevel error -y "$@"
}

sine="sine=frequency=440:sample_rate=22050:duration=0.3"
film -f lavfi -i "testsrc=s=32x24:r=10:d=0.3" -c:v mpeg4 -q:v 5 -pix_fmt yuv420p "$work/mpeg4.avi"
film -f lavfi -i "testsrc=s=32x24:r=10:d=0.3" -f lavfi -i "$sine" -c:v mpeg4 -q:v 5 -pix_fmt yuv420p \
  -c:a pcm_s16le -shortest "$work/mpeg4_pcm.avi"
film -f lavfi -i "testsrc=s=48x32:r=25:d=0.2" -f lavfi -i "$sine" -c:v mpeg1video -q:v 5 -c:a mp2 -ar 44100 \
  -shortest -f mpeg "$work/mpeg1_mp2.mpg"
film -f lavfi -i "testsrc=s=24x16:r=10:d=0.3" -f lavfi -i "$sine" -c:v mjpeg -q:v 10 -c:a pcm_u8 -ac 1 \
  -shortest "$work/mjpeg_u8.mkv"
film -f lavfi -i "testsrc=s=24x16:r=10:d=0.3" -c:v rawvideo -pix_fmt rgb24 "$work/raw.mov"
for width in 40 200 360; do
  film -f lavfi -i "testsrc=s=${width}x16:r=25:d=0.08" -c:v mpeg1video -q:v 8 -f mpeg "$work/width$width.mpg"
done
film -f lavfi -i "testsrc=size=40x16" -frames 1 "$work/pattern40.mpg"
film -f lavfi -i "testsrc=s=46x282:r=25:d=0.04" -c:v mpeg1video -q:v 10 -f mpeg "$work/tall46.mpg"
# Stereo and then mono MP2 frames in one track.
film -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=0.15" -ac 2 -c:a mp2 -b:a 64k -f mp2 "$work/a.mp2"
film -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=0.15" -ac 1 -c:a mp2 -b:a 32k -f mp2 "$work/b.mp2"
cat "$work/a.mp2" "$work/b.mp2" > "$work/ab.mp2"
film -f lavfi -i "color=c=green:s=16x16:r=25:d=0.3" -i "$work/ab.mp2" -c:v mpeg1video -q:v 10 -c:a copy \
  -shortest -f mpeg "$work/stereo_mono.mpg"
head -c 600 "$work/mpeg4_pcm.avi" > "$work/truncated.avi"

for target in film_open film_play; do
  mkdir -p "$here/corpus/$target"
  for name in mpeg4.avi mpeg4_pcm.avi mpeg1_mp2.mpg mjpeg_u8.mkv raw.mov width40.mpg width200.mpg width360.mpg \
              pattern40.mpg tall46.mpg stereo_mono.mpg truncated.avi; do
    cp "$work/$name" "$here/corpus/$target/$name"
  done
done
# Lists of other films, which must not open: a playlist and a list of files.
printf '#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXTINF:1,\nmpeg4.avi\n#EXTINF:1,\n/tmp/film.avi\n#EXT-X-ENDLIST\n' \
  > "$here/corpus/film_open/playlist.m3u8"
printf 'ffconcat version 1.0\nfile mpeg4.avi\nfile /tmp/film.avi\n' > "$here/corpus/film_open/list.ffconcat"
ls -l "$here/corpus/film_open"
