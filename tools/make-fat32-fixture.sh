#!/usr/bin/env bash
# Builds the FAT32 test volume with mkfs.fat and mtools (no mount needed):
#   OUT/fat32-volume.img  a 40 MiB FAT32 volume, one 512-byte sector per cluster
#   OUT/fat32-mbr.img     the same volume in an MBR disk image, starting at sector 2048
#   OUT/fat32.manifest    one line per file: path, size, SHA-256, deleted (0/1) and
#                         whether its clusters are still intact (0/1), tab-separated
# It holds nested folders, long and non-ASCII names, a root directory spanning several
# clusters, a fragmented file, a zero-length file, and deleted files and folders.
set -euo pipefail
out=${1:?usage: make-fat32-fixture.sh OUTDIR}
mkdir -p "$out"
source "$(dirname "$0")/mtools-fixture.sh"
img="$work/volume.img"
manifest="$work/manifest"
: > "$manifest"

mkfs.fat -C -F 32 -s 1 -n FIXTURE -i 0FA7F1C5 --invariant "$img" 40960 > /dev/null
mmd -i "$img" ::/Photos ::/Photos/2024 ::/Photos/2024/Summer ::/Documents ::/Documents/Reports
put /Photos/2024/Summer/beach.jpg 14000
put /Photos/2024/Summer/sunset.jpg 9000
put /Photos/cover.png 2100
put "/Documents/Ünïcødé файл.txt" 700
put "/Documents/name with ! and spaces.txt" 1300
put "/Documents/日本語のファイル.txt" 333
put /Documents/Reports/q1.csv 5000
put /Documents/Reports/empty.txt 0
# Enough long names in the root for it to take several clusters.
for i in $(seq -w 1 30); do put "/root file with a long name $i.txt" $((100 + 10#$i * 37)); done

# A fragmented file: fill the volume, free a gap early on and the rest, then write a
# file larger than the gap; the allocator fills the gap first and goes on after it.
put /gap-before.bin 3000
put /gap.bin 3000 1 0
put /gap-after.bin 3000
free=$(mdir -i "$img" :: | sed -n 's/ bytes free//p' | tr -d ' ')
content "$work/filler" "$free" filler
mcopy -i "$img" "$work/filler" ::/filler.bin
mdel -i "$img" ::/gap.bin ::/filler.bin
put /fragmented.bin 20000

# Deleted files and a deleted folder, in space nothing overwrites afterwards.
mmd -i "$img" ::/OldStuff
put /OldStuff/letter.txt 1800 1 1
put /OldStuff/photo.jpg 6000 1 1
put /deleted-note.txt 900 1 1
mdeltree -i "$img" ::/OldStuff
mdel -i "$img" ::/deleted-note.txt

cp "$img" "$out/fat32-volume.img"
sectors=$(( $(stat -c %s "$img") / 512 ))
truncate -s $(( (2048 + sectors + 2048) * 512 )) "$work/disk.img"
echo "start=2048, size=$sectors, type=c" | sfdisk -q "$work/disk.img"
dd if="$img" of="$work/disk.img" bs=512 seek=2048 conv=notrunc status=none
mv "$work/disk.img" "$out/fat32-mbr.img"
mv "$manifest" "$out/fat32.manifest"
