#!/usr/bin/env bash
# Builds the FAT12 and FAT16 volumes the scan tests read, each with its manifest:
#   tests/fixtures/fat12-floppy.img.zst  a 1.44 MB floppy-sized FAT12 volume (512-byte
#                                        clusters, a root of 224 entries)
#   tests/fixtures/fat16.img.zst         a 32 MiB FAT16 volume with 2 KiB clusters
#   tests/fixtures/<name>.manifest       one line per file: path, size, SHA-256, deleted
#                                        (0/1), clusters still intact (0/1), tab-separated
# made by mkfs.fat and filled with mtools (no mount, no root needed). Each holds nested
# folders, long and non-ASCII names, a zero-length file, enough long names for the
# fixed root to take several sectors, a file fragmented around a gap, and deleted files:
# in the root, in a folder that stays, and in a deleted folder.
# File contents are numbered text lines, unique per file, so the images compress well.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/mtools-fixture.sh

content() {  # file size seed
  python3 -c '
import sys
size, seed, out, i = int(sys.argv[1]), sys.argv[2], bytearray(), 0
while len(out) < size:
    out += f"{seed} line {i}\n".encode()
    i += 1
sys.stdout.buffer.write(out[:size])' "$2" "$3" > "$1"
}

build() {  # name mkfs-options kibibytes padding-bytes
  local name=$1 img="$work/$1.img" manifest="$work/$1.manifest"
  : > "$manifest"
  # shellcheck disable=SC2086
  mkfs.fat -C $2 -n FIXTURE -i 0FA716C5 --invariant "$img" "$3" > /dev/null
  mmd -i "$img" ::/Photos ::/Photos/2024 ::/Documents ::/Documents/Reports
  put /Photos/2024/beach.jpg 7000
  put /Photos/cover.png 2100
  put "/Documents/Ünïcødé файл.txt" 700
  put "/Documents/name with ! and spaces.txt" 1300
  put /Documents/Reports/q1.csv 5000
  put /Documents/Reports/empty.txt 0
  put "/Documents/old draft.txt" 1500 1 1
  for i in $(seq -w 1 12); do put "/root file with a long name $i.txt" $((100 + 10#$i * 37)); done
  put /padding.bin "$4"

  # Fill the volume, free a gap early on and the rest, then write a file larger than the
  # gap: the allocator fills the gap first and goes on after it.
  put /gap-before.bin 3000
  put /gap.bin 3000 1 0
  put /gap-after.bin 3000
  local free
  free=$(mdir -i "$img" :: | sed -n 's/ bytes free//p' | tr -d ' ')
  head -c "$free" /dev/zero > "$work/filler"
  mcopy -i "$img" "$work/filler" ::/filler.bin
  mdel -i "$img" ::/gap.bin ::/filler.bin
  put /fragmented.bin 20000

  # Deleted last, in space nothing overwrites afterwards.
  mmd -i "$img" ::/OldStuff
  put /OldStuff/letter.txt 1800 1 1
  put /OldStuff/photo.jpg 6000 1 1
  put /deleted-note.txt 900 1 1
  mdeltree -i "$img" ::/OldStuff
  mdel -i "$img" ::/deleted-note.txt "::/Documents/old draft.txt"

  fsck.fat -n "$img" > /dev/null
  zstd -q -19 -f -o "tests/fixtures/$name.img.zst" "$img"
  cp "$manifest" "tests/fixtures/$name.manifest"
  echo "wrote tests/fixtures/$name.img.zst ($(stat -c %s "tests/fixtures/$name.img.zst") bytes)"
}

# On the floppy padding.bin's chain runs across cluster 341, whose 12-bit entry is the
# first to straddle two FAT sectors, and the gap and fragmented.bin lie beyond it.
build fat12-floppy "-F 12" 1440 150000
build fat16 "-F 16 -s 4" 32768 4000
