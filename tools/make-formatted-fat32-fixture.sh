#!/usr/bin/env bash
# Builds a populated FAT32 volume and quick-formats it, as a camera card formatted by
# mistake (mkfs.fat and mtools, no mount needed):
#   OUT/formatted-same.img     reformatted with the cluster size it had (512 bytes)
#   OUT/formatted-resized.img  reformatted with 2 KiB clusters: the new boot sector's
#                              geometry no longer fits the old folders and files
#   OUT/formatted-noboot.img   formatted-same.img with both boot sectors (0 and 6) zeroed
#   OUT/formatted.manifest     one line per file as written before the format: path, size,
#                              SHA-256, deleted (0), clusters intact (1), tab-separated
# Folders hold many files each, so their entries span several clusters; names are
# lower-case short names (stored with the case flags), long names and accented names.
# A quick format rewrites the boot sectors, the FATs and the root cluster only.
set -euo pipefail
out=${1:?usage: make-formatted-fat32-fixture.sh OUTDIR}
mkdir -p "$out"
source "$(dirname "$0")/mtools-fixture.sh"
img="$work/volume.img"
manifest="$work/manifest"
: > "$manifest"

mkfs.fat -C -F 32 -s 1 -n CARD -i 0C0FFEE1 --invariant "$img" 40960 > /dev/null
mmd -i "$img" ::/DCIM ::/DCIM/100canon ::/DCIM/101canon ::/Documents ::/Documents/Rapports ::/Musique
mmd -i "$img" "::/Musique/Été à Paris"
for i in $(seq -w 1 45); do put "/DCIM/100canon/img_00$i.jpg" $((700 + 10#$i * 53)); done
for i in $(seq -w 1 20); do put "/DCIM/101canon/mvi_00$i.mov" $((1500 + 10#$i * 97)); done
for i in $(seq -w 1 12); do put "/Documents/Rapports/Rapport trimestriel numéro $i.txt" $((300 + 10#$i * 11)); done
put /Documents/readme.txt 900
for i in $(seq -w 1 15); do put "/Musique/Été à Paris/chanson été $i.mp3" $((2000 + 10#$i * 71)); done
put /Musique/liste.m3u 120

cp "$img" "$work/resized.img"
mkfs.fat -F 32 -s 1 -n FORMATTED -i 0C0FFEE2 --invariant "$img" > /dev/null
mkfs.fat -F 32 -s 4 -n FORMATTED -i 0C0FFEE3 --invariant "$work/resized.img" > /dev/null
cp "$img" "$work/noboot.img"
for sector in 0 6; do dd if=/dev/zero of="$work/noboot.img" bs=512 seek=$sector count=1 conv=notrunc status=none; done
mv "$img" "$out/formatted-same.img"
mv "$work/noboot.img" "$out/formatted-noboot.img"
mv "$work/resized.img" "$out/formatted-resized.img"
mv "$manifest" "$out/formatted.manifest"
