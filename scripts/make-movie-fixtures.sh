#!/usr/bin/env bash
# Makes the small Ogg Theora movies the movie tests play, and ffmpeg's own decode of each as the
# reference planes (raw Y'CbCr, frame after frame). Run by hand after changing a fixture; the outputs
# are committed, so the tests need no encoder. Needs Debian's ffmpeg.
set -euo pipefail
out="$(cd "$(dirname "$0")/.." && pwd)/tests/movie/fixtures"
mkdir -p "$out"
ff=(ffmpeg -hide_banner -loglevel error -y)

# name, size, pixel format: odd sizes, all three chroma layouts; 20 frames at 10 frames a second.
movies=("m420 37x29 yuv420p" "m422 34x21 yuv422p" "m444 21x9 yuv444p")
for m in "${movies[@]}"; do
  read -r name size pix <<<"$m"
  "${ff[@]}" -f lavfi -i "testsrc=size=${size}:rate=10" -t 2 -pix_fmt "$pix" \
    -c:v libtheora -q:v 7 -f ogg "$out/$name.ogv"
  "${ff[@]}" -i "$out/$name.ogv" -f rawvideo -pix_fmt "$pix" "$out/$name.yuv"
done

# A movie with a sound track, and a sound without a picture ("not a movie").
"${ff[@]}" -f lavfi -i "testsrc=size=16x16:rate=10" -f lavfi -i "sine=frequency=440:sample_rate=22050" \
  -t 1 -pix_fmt yuv420p -c:v libtheora -q:v 5 -c:a libvorbis -ac 1 -f ogg "$out/sound.ogv"
"${ff[@]}" -f lavfi -i "sine=frequency=440:sample_rate=22050" -t 0.5 -c:a libvorbis -ac 1 "$out/audio.ogg"

# A movie with a stereo 44.1 kHz sound track that never repeats (two sweeps), for the sound's
# sample-exact and picture-sync checks: 3 s of picture at 25 frames a second and 3.5 s of sound, so
# that the sound's last half second is heard only when it does not end with the picture. The tests
# compare its mix with oggdec's decode of the same file.
"${ff[@]}" -f lavfi -t 3 -i "testsrc=size=32x24:rate=25" \
  -f lavfi -t 3.5 -i "aevalsrc=exprs=0.5*sin(2*PI*(200+300*t)*t)|0.3*sin(2*PI*(900-250*t)*t):s=44100" \
  -pix_fmt yuv420p -c:v libtheora -q:v 5 -c:a libvorbis -q:a 2 -f ogg "$out/av.ogv"

# The benchmark's 640 x 480 movie: 2 s at 30 frames a second, which it plays over and over.
"${ff[@]}" -f lavfi -i "testsrc=size=640x480:rate=30" -t 2 -pix_fmt yuv420p -c:v libtheora -q:v 6 -f ogg "$out/m640.ogv"

# A variable-rate movie: 12 frames whose times are n * n / 10 s (granule positions with gaps, one
# frame per page), keyframes every 4; ffmpeg's decode gives one reference frame per packet.
"${ff[@]}" -f lavfi -i "testsrc=size=32x24:rate=10:duration=1.2" -vf "setpts=N*N" -fps_mode passthrough \
  -pix_fmt yuv420p -c:v libtheora -q:v 5 -g 4 -page_duration 1 -f ogg "$out/vfr.ogv"
"${ff[@]}" -i "$out/vfr.ogv" -fps_mode passthrough -f rawvideo -pix_fmt yuv420p "$out/vfr.yuv"

# A sparse movie: 16 frames 3.5 s apart (35 frame times at 10 a second), keyframes at 0 and 8. The
# muxer's granule positions count at most 63 frames past a keyframe, so it marks every other inter
# frame as a keyframe there (2, 4, 6, 10, 12, 14); only the packets tell the real ones. The tests tell its
# frames apart by the reader's own decode.
"${ff[@]}" -f lavfi -i "testsrc=size=32x24:rate=10:duration=1.6" -vf "setpts=N*35" -fps_mode passthrough \
  -pix_fmt yuv420p -c:v libtheora -q:v 5 -g 8 -page_duration 1 -f ogg "$out/sparse.ogv"

# Two variable-rate movies in fine time bases, whose frame numbers jump far with few bytes left: a slide
# show of six slides in milliseconds (1000 frame times a second) at 0, 1, 2, 3, 63 and 64 s, the
# fourth held 60 s; and 60 frames of 64 x 48 (no two alike) at 30 a second in a 1/90000 time base,
# frame 30 (at 1 s) held 2 s (frame n > 30 at n / 30 + 2 s). The muxer numbers each frame by the last
# tick of its input frame (a slide's number is its time plus 999 ms, a frame's plus 2999 / 90000 s).
# The tests tell their frames apart by the reader's own decode.
"${ff[@]}" -f lavfi -i "testsrc=size=32x24:rate=1:duration=6" -vf "settb=1/1000,setpts=(N+59*gte(N\\,4))*1000" -fps_mode passthrough \
  -enc_time_base 1:1000 -pix_fmt yuv420p -c:v libtheora -q:v 5 -f ogg "$out/slides.ogv"
"${ff[@]}" -f lavfi -i "testsrc=size=64x48:rate=30:duration=2" -vf "settb=1/90000,setpts=N*3000+180000*gt(N\\,30)" -fps_mode passthrough \
  -enc_time_base 1:90000 -pix_fmt yuv420p -c:v libtheora -q:v 5 -f ogg "$out/held90k.ogv"

# A damaged stream: m420.ogv whose data packet of frame 10 is marked as a header packet (its first
# bit set), the page's checksum made right again, so that the demuxer hands it over and the decoder
# refuses it after ten good frames.
python3 - "$out/m420.ogv" "$out/damaged.ogv" <<'PY'
import sys
data = bytearray(open(sys.argv[1], 'rb').read())

def crc(page):
    c = 0
    for b in page:
        c ^= b << 24
        for _ in range(8):
            c = ((c << 1) ^ 0x04C11DB7) & 0xFFFFFFFF if c & 0x80000000 else (c << 1) & 0xFFFFFFFF
    return c

at, packets, done = 0, 0, False
while at < len(data) and not done:
    segments = data[at + 26]
    lacing = data[at + 27:at + 27 + segments]
    body = at + 27 + segments
    start, begins = body, True   # pages of this file start with a new packet
    for size in lacing:
        if begins and packets == 3 + 10:   # three header packets, then frames 0..9
            data[start] |= 0x80
            data[at + 22:at + 26] = b'\0\0\0\0'
            end = body + sum(lacing)
            data[at + 22:at + 26] = crc(data[at:end]).to_bytes(4, 'little')
            done = True
            break
        start += size
        begins = size < 255
        if begins:
            packets += 1
    at = body + sum(lacing)
assert done
open(sys.argv[2], 'wb').write(data)
PY
