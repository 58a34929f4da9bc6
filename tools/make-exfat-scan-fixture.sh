#!/usr/bin/env bash
# Builds the exFAT volumes the scan tests read, each with its manifest:
#   tests/fixtures/exfat-scan-4k.img.zst    an 8 MiB volume with 4 KiB clusters
#   tests/fixtures/exfat-scan-16k.img.zst   a 16 MiB volume with 16 KiB clusters
#   tests/fixtures/exfat-scan-<n>k.manifest one line per file: path, size, SHA-256, deleted
#                                           (0/1), clusters still intact (0/1), tab-separated
# Each volume is made by mkfs.exfat and filled through the exfat-fuse driver on a loop
# device. That needs root and FUSE (packages exfatprogs, exfat-fuse), which a test run
# may not have: run this by hand and commit its output; the tests only unpack it.
#
# Contents, in the order they are written (the order decides where the driver puts them):
#   System Volume Information/  WPSettings.dat and IndexerVolumeGuid, as Windows leaves
#                               them: the folder right after the root directory
#   Photos/2024/Summer/, Documents/Reports/  nested folders, non-ASCII names, a zero-length file
#   Big folder/   its entries all made before any data: several clusters in one run, no FAT chain
#   Growing/      entries added after its files' data: clusters chained in the FAT
#   root notes    enough for the root directory to take a second cluster with 4 KiB clusters
#   Fill/         a gap left between files, then the rest of the volume filled and freed, so
#   fragmented.bin  is written into the gap and beyond it: a file chained in the FAT
#   deleted last, so nothing overwrites them: Documents/old draft.txt, deleted-note.txt and
#   the folder OldStuff with its subfolder Inner
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/exfat-fuse.sh
export TZ=UTC LC_ALL=C.UTF-8

# Deterministic content: bytes seeded by the name, of the given size.
content() {  # file size seed
  python3 -c 'import random,sys; r=random.Random(sys.argv[2]); sys.stdout.buffer.write(r.randbytes(int(sys.argv[1])))' "$2" "$3" > "$1"
}
record() {  # path local-file deleted intact
  printf '%s\t%s\t%s\t%s\t%s\n' "$1" "$(stat -c %s "$2")" "$(sha256sum < "$2" | cut -d' ' -f1)" "$3" "$4" >> "$manifest"
}
put() {  # volume-path size [deleted intact]
  local local="$work/f$RANDOM$RANDOM"
  content "$local" "$2" "$1"
  cp "$local" "$mnt$1"
  record "$1" "$local" "${3:-0}" "${4:-1}"
}
# A name of about 100 UTF-16 units: seven name entries.
longName() {  # number
  printf 'entry %03d, a name long enough to take seven name entries of fifteen units each, with ünïcødé letters.txt' "$1"
}

build() {  # cluster-KiB volume-MiB
  local k=$1 cluster=$(($1 * 1024))
  local img="$work/exfat-scan-${k}k.img"
  manifest="$work/exfat-scan-${k}k.manifest"
  : > "$manifest"
  truncate -s "$2M" "$img"
  mkfs.exfat -c "${k}K" -L "Norix Scan" "$img" > /dev/null
  loop=$(losetup -f --show "$img")
  mount.exfat-fuse "$loop" "$mnt" > /dev/null

  mkdir "$mnt/System Volume Information"
  put "/System Volume Information/WPSettings.dat" 12
  put "/System Volume Information/IndexerVolumeGuid" 76

  mkdir -p "$mnt/Photos/2024/Summer" "$mnt/Documents/Reports"
  put /Photos/2024/Summer/beach.jpg 14000
  put /Photos/2024/Summer/sunset.jpg 9000
  put /Photos/cover.png $((cluster + 1))
  put "/Documents/Ünïcødé файл.txt" 700
  put "/Documents/name with ! and spaces.txt" 1300
  put "/Documents/日本語のファイル.txt" 333
  put "/Documents/Emoji 😀 in a name.txt" 4100
  put /Documents/Reports/q1.csv 5000
  put /Documents/Reports/empty.txt 0
  put "/Documents/old draft.txt" 2500 1 1

  # Entries for one and a half clusters first, then data for a few of them.
  local perCluster=$((cluster / 32 / 9)) i
  local big=$((perCluster * 3 / 2 + 1))
  mkdir "$mnt/Big folder"
  for i in $(seq 1 "$big"); do : > "$mnt/Big folder/$(longName "$i")"; done
  for i in $(seq 1 "$big"); do
    if (( i <= 2 || i > big - 2 )); then put "/Big folder/$(longName "$i")" $((300 * i))
    else record "/Big folder/$(longName "$i")" /dev/null 0 1; fi
  done

  # Two files' data first; the folder's second cluster then comes after it.
  mkdir "$mnt/Growing"
  put /Growing/first.txt 3000
  put /Growing/second.txt 3100
  for i in $(seq 1 $((perCluster + 2))); do
    : > "$mnt/Growing/$(longName "$i")"
    record "/Growing/$(longName "$i")" /dev/null 0 1
  done
  put /Growing/last.txt 3200

  for i in $(seq -w 1 36); do put "/root note $i.txt" $((100 + 10#$i * 37)); done

  mkdir "$mnt/Fill"
  put /Fill/gap-before.bin 100
  put /Fill/gap.bin 100 1 0
  put /Fill/gap-after.bin 100
  local free
  free=$(df -B1 --output=avail "$mnt" | tail -1 | tr -d ' ')
  head -c "$free" /dev/zero > "$work/filler"
  cp "$work/filler" "$mnt/Fill/filler.bin" 2>/dev/null || true
  record /Fill/filler.bin "$mnt/Fill/filler.bin" 1 0
  sync
  rm "$mnt/Fill/gap.bin" "$mnt/Fill/filler.bin"
  sync
  put /fragmented.bin $((cluster * 3 / 2 + 77))

  mkdir -p "$mnt/OldStuff/Inner"
  put /OldStuff/letter.txt 1800 1 1
  put /OldStuff/photo.jpg 6000 1 1
  put /OldStuff/Inner/deep.txt 2222 1 1
  put /deleted-note.txt 900 1 1
  sync
  rm -r "$mnt/OldStuff"
  rm "$mnt/deleted-note.txt" "$mnt/Documents/old draft.txt"
  sync
  umount "$mnt"
  losetup -d "$loop"
  loop=""

  fsck.exfat -n "$img" > /dev/null
  zstd -q -19 -f -o "tests/fixtures/exfat-scan-${k}k.img.zst" "$img"
  cp "$manifest" "tests/fixtures/exfat-scan-${k}k.manifest"
  echo "wrote tests/fixtures/exfat-scan-${k}k.img.zst ($(stat -c %s "tests/fixtures/exfat-scan-${k}k.img.zst") bytes)"
}

build 4 8
build 16 16
