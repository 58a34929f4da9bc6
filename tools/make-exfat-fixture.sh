#!/usr/bin/env bash
# Builds tests/fixtures/exfat-files.img.zst: a 4 MiB exFAT volume (mkfs.exfat, 4 KiB
# clusters) populated through the exfat-fuse driver, for the FAT and exFAT record tests.
# exFAT has no mtools-like writer, so this needs what a test run may not have: root,
# a loop device and FUSE (packages exfatprogs, exfat-fuse). Run it by hand and commit
# the output; the tests only unpack it.
#
# Contents (names chosen to exercise real UTF-16 decoding):
#   readme.txt                        ASCII name, known mtime 2021-03-04 05:06:08 UTC
#   Café crème.txt                    Latin letters outside ASCII (U+00E9, U+00E8)
#   日本語のファイル名.txt             CJK (one UTF-16 unit, three UTF-8 bytes each)
#   Emoji 😀 note.txt                 a surrogate pair inside one name entry
#   Fourteen chars😀 split.txt        a surrogate pair split across two name entries
#   A rather long file name that needs four name entries.txt   (52 units: 4 entries)
#   empty.txt                         size 0
#   Photos/                           a folder, with Photos/Ω-image.jpg inside
#   deleted-report.txt                written, then deleted (entry types 0x05/0x40/0x41)
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/exfat-fuse.sh
img="$work/exfat-files.img"

truncate -s 4M "$img"
mkfs.exfat -c 4K -L "Norix Café" "$img" >/dev/null
loop=$(losetup -f --show "$img")
mount.exfat-fuse "$loop" "$mnt" >/dev/null

export TZ=UTC
printf 'Welcome to the exFAT fixture.\n' > "$mnt/readme.txt"
touch -d '2021-03-04 05:06:08' "$mnt/readme.txt"
printf 'un café\n' > "$mnt/Café crème.txt"
printf 'nihongo\n' > "$mnt/日本語のファイル名.txt"
printf 'smile\n' > "$mnt/Emoji 😀 note.txt"
printf 'split\n' > "$mnt/Fourteen chars😀 split.txt"
seq 1 300 > "$mnt/A rather long file name that needs four name entries.txt"
: > "$mnt/empty.txt"
mkdir "$mnt/Photos"
head -c 6000 /dev/zero | tr '\0' 'p' > "$mnt/Photos/Ω-image.jpg"
printf 'to be deleted\n' > "$mnt/deleted-report.txt"
sync
rm "$mnt/deleted-report.txt"
sync
umount "$mnt"
losetup -d "$loop"
loop=""

fsck.exfat -n "$img" >/dev/null
zstd -q -19 -f -o tests/fixtures/exfat-files.img.zst "$img"
echo "wrote tests/fixtures/exfat-files.img.zst ($(stat -c %s tests/fixtures/exfat-files.img.zst) bytes)"
