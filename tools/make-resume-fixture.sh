#!/usr/bin/env bash
# Builds OUT/mixed.img, a disk rich in what only the deep scan finds, for the resume
# test: a quick-formatted FAT32 card (make-formatted-fat32-fixture.sh), a formatted
# exFAT card and an HFS+ volume (committed fixtures) after a few pictures, documents and
# media files, each started on a 4 KiB boundary, then 1 MiB of zeros. About 66 MiB:
# nine chunks of the sweep.
set -euo pipefail
out=${1:?usage: make-resume-fixture.sh OUTDIR}
root="$(cd "$(dirname "$0")/.." && pwd)"
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
bash "$root/tools/make-formatted-fat32-fixture.sh" "$work/fat" > /dev/null
img="$out/mixed.img"
: > "$img"
add() {  # file: appended, then zeros to the next 4 KiB
  cat "$1" >> "$img"
  truncate -s $(( ($(stat -c %s "$img") + 4095) / 4096 * 4096 )) "$img"
}
for f in picture.png memo.pdf tone.mp3 picture.gif restart-first.jpg archive.zip clip.mp4; do
  add "$root/tests/fixtures/signatures/$f"
done
# The card's folders, and the exFAT card after it, straddle the sweep's 8 MiB chunks.
truncate -s $((7488 * 1024)) "$img"
add "$work/fat/formatted-same.img"
zstd -q -d -f -o "$work/exfat.img" "$root/tests/fixtures/formatted-exfat.img.zst"
add "$work/exfat.img"
zstd -q -d -f -o "$work/hfs.img" "$root/tests/fixtures/hfs-512.img.zst"
add "$work/hfs.img"
truncate -s +1M "$img"
