#!/usr/bin/env bash
# Builds the quick-formatted exFAT card the scan tests read, with its manifest:
#   tests/fixtures/formatted-exfat.img.zst   an 8 MiB volume with 4 KiB clusters, filled,
#                                            then formatted again by mkfs.exfat
#   tests/fixtures/formatted-exfat.manifest  one line per file as written before the
#                                            format: path, size, SHA-256, deleted (0),
#                                            clusters intact (1), tab-separated
# Filled through the exfat-fuse driver on a loop device: needs root and FUSE (packages
# exfatprogs, exfat-fuse). Run by hand and commit the output; the tests only unpack it.
# Folders hold enough entries to take several clusters; names are lower-case, long and
# accented. The format rewrites the boot region, the bitmap, the up-case table and the
# root only.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/exfat-fuse.sh
export TZ=UTC LC_ALL=C.UTF-8
img="$work/formatted-exfat.img"
manifest="$work/formatted-exfat.manifest"
: > "$manifest"

put() {  # volume-path size
  python3 -c 'import random,sys; r=random.Random(sys.argv[2]); sys.stdout.buffer.write(r.randbytes(int(sys.argv[1])))' "$2" "$1" > "$work/data"
  cp "$work/data" "$mnt$1"
  printf '%s\t%s\t%s\t0\t1\n' "$1" "$2" "$(sha256sum < "$work/data" | cut -d' ' -f1)" >> "$manifest"
}

truncate -s 8M "$img"
mkfs.exfat -c 4K -L "Card" "$img" > /dev/null
loop=$(losetup -f --show "$img")
mount.exfat-fuse "$loop" "$mnt" > /dev/null
mkdir -p "$mnt/DCIM/100canon" "$mnt/Documents/Rapports" "$mnt/Musique/Été à Paris"
for i in $(seq -w 1 60); do put "/DCIM/100canon/img_00$i.jpg" $((700 + 10#$i * 53)); done
for i in $(seq -w 1 40); do put "/Documents/Rapports/Rapport trimestriel numéro $i.txt" $((300 + 10#$i * 11)); done
put /Documents/readme.txt 900
for i in $(seq -w 1 12); do put "/Musique/Été à Paris/chanson été $i.mp3" $((2000 + 10#$i * 71)); done
umount "$mnt"
losetup -d "$loop"
loop=""
mkfs.exfat -c 4K -L "Formatted" "$img" > /dev/null

zstd -q -19 -f "$img" -o tests/fixtures/formatted-exfat.img.zst
mv "$manifest" tests/fixtures/formatted-exfat.manifest
