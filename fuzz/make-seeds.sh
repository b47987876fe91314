#!/usr/bin/env bash
# Writes the seed corpora under fuzz/corpus with the project's own generators: dvi_bench
# for DVI recordings, make-dss for DSS recordings, libzipdll for archives, engine_bench
# for MIDI and wave files; the shipped pedal models, credits and sample dictation.
#   make-seeds.sh build-dir    (an ordinary build with the benchmarks)
set -euo pipefail
build="$(cd "$1" && pwd)"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
out="$here/corpus"
work="$(mktemp -d "${TMPDIR:-/tmp}/fuzz-seeds.XXXXXX")"
trap 'rm -rf "$work"' EXIT
rm -rf "$out" && mkdir -p "$out"/{dvi_header,dsscore,command_text,url,multipart,unzip,midi_file,riff_writer}

# DVI: header only, a little audio, and a recorded length beyond the file.
"$build/bin/dvi_bench" make "$out/dvi_header/header-only.dvi" 972
"$build/bin/dvi_bench" make "$out/dvi_header/short.dvi" 1500
cp "$out/dvi_header/short.dvi" "$out/dvi_header/too-long.dvi"
printf '\xff\xff\x00\x00' | dd of="$out/dvi_header/too-long.dvi" bs=1 seek=4 conv=notrunc status=none

# MIDI: chords in one track, and two tracks with tempo changes, running status and a
# system-exclusive message.
"$build/bin/engine_bench" make-midi "$out/midi_file/chords.mid" 4
{
    printf 'MThd\0\0\0\6\0\1\0\2\1\340'
    printf 'MTrk\0\0\0\23\0\377\121\3\7\241\40\207\100\377\121\3\17\102\100\0\377\57\0'
    printf 'MTrk\0\0\0\30\0\360\5\176\177\11\1\367\0\220\74\144\203\140\76\144\207\100\74\0\0\377\57\0'
} >"$out/midi_file/tracks.mid"

# DSS: a few SP frames, and a short LP recording from FFmpeg's G.723.1 encoder.
make_dss="$build/bench/tools/make-dss"
"$make_dss" sp 6 "$out/dsscore/sp.dss"
ffmpeg -loglevel error -f lavfi -i "sine=frequency=300:sample_rate=8000:duration=0.2" \
    -ac 1 -c:a g723_1 -b:a 6300 -f g723_1 "$work/tone.g723"
"$make_dss" lp "$work/tone.g723" "$out/dsscore/lp.dss"

# Archives: a folder with a file, a sub-folder and an empty folder, and a single file.
mkdir -p "$work/src/sub" "$work/src/empty"
printf 'first' >"$work/src/a.txt"
printf 'second' >"$work/src/sub/b.txt"
cat >"$work/zip.c" <<'C'
#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>
int main(int argc, char** argv) {
    void* lib = dlopen(argv[1], RTLD_NOW);
    int (*zip)(intptr_t, intptr_t) = lib ? (int (*)(intptr_t, intptr_t))dlsym(lib, "BasicZip") : 0;
    for (int i = 2; zip && i + 1 < argc; i += 2)
        if (!zip((intptr_t)argv[i], (intptr_t)argv[i + 1]))
            return 1;
    return zip ? 0 : 1;
}
C
cc -o "$work/zip" "$work/zip.c" -ldl
"$work/zip" "$build/bin/libzipdll.so" "$out/unzip/folder.zip" "$work/src" \
    "$out/unzip/file.zip" "$work/src/a.txt"

# Texts: request lines, URLs, and multipart fields (file name, then name and value, cut at
# zero bytes).
printf '/home/typist/rec 01.dss|/home/typist/rec 01.wav' >"$out/command_text/request"
printf '  a.dss \t|  b.wav ' >"$out/command_text/blanks"
printf 'a.dss\0|\0b.wav' >"$out/command_text/split"
printf 'http://127.0.0.1:8080/upload?id=7' >"$out/url/http"
printf 'https://example.invalid/a%%20b/c' >"$out/url/https"
printf 'localhost:18080/text' >"$out/url/no-scheme"
printf 'http://[::1]:99/x y' >"$out/url/v6"
printf '/tmp/rec.dss\0author\0typist\0job\0"17"\r\n' >"$out/multipart/fields"
printf '\0only\0field' >"$out/multipart/no-file"

# RIFF writer operations: room on the disk (2 bytes, in 4-byte steps), size limit, error,
# then one operation a byte: a whole file, a disk that fills half-way, a limit reached,
# chunks left open.
printf '\377\377\377\0\0\3\5\11\2\2' >"$out/riff_writer/whole"
printf '\20\0\377\0\0\5\5\5\5\2\2' >"$out/riff_writer/disk-full"
printf '\377\377\1\1\0\375\375\2\2' >"$out/riff_writer/too-long"
printf '\377\377\377\0\0\0\2' >"$out/riff_writer/open-chunks"
# The player's texts and device streams.
here_root="$(cd "$here/.." && pwd)"
mkdir -p "$out"/{number_rules,key_text,settings_ini,probe_source,pedal_models,credits,usb_pedal,evdev_events,serial_pedal}
printf '5' >"$out/number_rules/whole"
printf ' \t-2.5e1 seconds' >"$out/number_rules/blanks-exponent"
printf 'TRUE' >"$out/number_rules/word"
printf 'COM3' >"$out/number_rules/com"
printf 'Foot pedal (USB 05f3:00ff SN1)' >"$out/number_rules/usb"
printf 'Ctrl+F10' >"$out/key_text/ctrl-f10"
printf 'ctrl + alt+p' >"$out/key_text/lower-blanks"
printf 'Shift+Meta++' >"$out/key_text/plus"
printf 'Media Previous' >"$out/key_text/media"
# The first-run defaults as the store writes them, and values that need escapes.
{
    printf '[Setting]\nFirst Pedal=2\nLarge Change=5\nPlay Press=True\n'
    printf 'Play Toggle=False\nPortID=Game Port\nRewVal=3\nSecond Pedal=4\n'
    printf 'Small Change=1\nThird Pedal=3\n'
} >"$out/settings_ini/defaults"
printf '[Setting]\nWavePath=\\s/home/t\\\\x \\n\\s\nCurrent%%20File=a.wav\r\n' \
    >"$out/settings_ini/escapes"
printf '; written by hand\n[General]\nx=1\n\n[Setting]\nVolumeValue = 70 \n' \
    >"$out/settings_ini/groups"
# Wave files: a Dialogic one as the converter writes it, a plain one, one with a chunk
# before fmt, the head of the sample dictation, and a MIDI file.
"$build/bin/engine_bench" make-vox "$out/probe_source/dialogic.wav" 0.1
"$build/bin/engine_bench" make-wav "$out/probe_source/plain.wav" 0.05
cp "$out/midi_file/chords.mid" "$out/probe_source/chords.mid"
head -c 4096 "$here_root/install/samples/sample-dictation.wav" >"$out/probe_source/sample.wav"
{
    printf 'RIFF\0\1\0\0WAVELIST\3\0\0\0abc\0'
    head -c 80 "$out/probe_source/dialogic.wav" | tail -c +13
} >"$out/probe_source/list-first.wav"
cp "$here_root/install/pedal-models.txt" "$out/pedal_models/shipped.txt"
{
    printf '# learned\n1234:5678 keys KEY_B KEY_A 30 Three-key pedal\n'
    printf '1234:5679 hid 0:01 2:40 0:04 Raw  pedal\r\nbroken line\n'
} >"$out/pedal_models/kinds.txt"
cp "$here_root/install/credits.txt" "$out/credits/shipped.txt"
printf 'one\r\ntwo\n\nthree' >"$out/credits/crlf.txt"
# Device streams: evdev records (16 bytes of time, type, code, value) and hidraw reports,
# each piece after its length byte.
record() { printf "$(printf '\\0%.0s' {1..16})\\$(printf %03o "$1")\\0\\$(printf %03o "$2")\\$(printf %03o "$3")\\$(printf %03o "$4")\\0\\0\\0"; }
presses="$(mktemp "$work/presses.XXXXXX")"
{
    record 1 0 1 1; record 0 0 0 0 # BTN_0 (0x100) down
    record 1 1 1 1; record 0 0 0 0 # BTN_1 down
    record 1 0 1 0; record 0 0 0 0 # BTN_0 up
    record 0 3 0 0                 # SYN_DROPPED
    record 1 2 1 1; record 0 0 0 0 # lost, then a report
    record 1 1 1 0; record 1 1 1 2; record 0 0 0 0
} >"$presses"
{ printf '\0\50'; head -c 40 "$presses"; printf '\77'; tail -c +41 "$presses"; } \
    >"$out/usb_pedal/evdev"
printf '\1\0\1\1\1\3\0\1\0\0\1\0\3\3\0\0\0\200\0\0' >"$out/usb_pedal/hid"
{ printf '\7'; record 1 33 1 1; record 1 35 1 1; record 1 33 1 0; record 1 34 1 1; cat "$presses"; } \
    >"$out/evdev_events/buttons"
# Serial lines: bit 0 CD, 1 DSR, 2 CTS, 3 an event inside the first second.
printf '\1\1\1\0\2\2\0' >"$out/serial_pedal/presses"
printf '\1\14\4\5\0\3\2\0' >"$out/serial_pedal/overlapping"
# Server answers to a download: a body with a length, one cut short, chunked with an
# extension and a trailer, one ended by the close, zero bytes in the body, a refusal, a
# request for credentials, a redirect on the same connection and an interim answer.
mkdir -p "$out/response"
printf 'HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Type: text/plain\r\n\r\nhello' >"$out/response/length"
printf 'HTTP/1.1 200 OK\r\nContent-Length: 10000000\r\n\r\nshort body' >"$out/response/short"
printf 'HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n6;x=1\r\n world\r\n0\r\nTrailer: t\r\n\r\n' >"$out/response/chunked"
printf 'HTTP/1.0 200 OK\r\n\r\nuntil the end' >"$out/response/close"
printf 'HTTP/1.1 200 OK\r\nContent-Length: 7\r\n\r\nab\0cdef' >"$out/response/zeros"
printf 'HTTP/1.1 404 Not Found\r\nContent-Length: 3\r\n\r\nno!' >"$out/response/not-found"
printf 'HTTP/1.1 401 No\r\nWWW-Authenticate: Basic realm="r"\r\nContent-Length: 0\r\n\r\n' >"$out/response/credentials"
printf 'HTTP/1.1 302 Found\r\nLocation: /next\r\nContent-Length: 0\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok' >"$out/response/redirect"
printf 'HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nabc' >"$out/response/interim"
echo "seeds written to $out"
