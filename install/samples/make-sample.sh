#!/usr/bin/env bash
# Regenerates sample-dictation.wav from the dictation text below. A developer's
# tool only: the build uses the committed WAV and needs neither espeak-ng nor sox.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
text="Letter to Mr. Harold Quenby. Dear Mr. Quenby, comma, thank you for your \
letter of the third of March, comma, and for returning the signed forms so \
promptly. Full stop. New paragraph. I am pleased to confirm that your \
appointment has been moved to Tuesday the eleventh at half past nine. Full \
stop. Please bring your recent test results with you. Full stop. New \
paragraph. Yours sincerely, comma, Doctor Ellen Marrow. End of letter."
tmp="$(mktemp --suffix=.wav)"
trap 'rm -f "$tmp"' EXIT
espeak-ng -v en-gb -s 155 -p 45 -g 4 -w "$tmp" "$text"
# Mono 16-bit PCM at 16 kHz: what dictation recorders produce, and small.
sox "$tmp" -r 16000 -c 1 -b 16 -e signed-integer sample-dictation.wav norm -1
