#!/usr/bin/env bash
# Builds the formatted-card benchmark volume with mkfs.fat and mtools: a 1 GiB FAT32
# volume (sparse) with 100 folders of 200 small files, lower-case short names as Linux
# and Windows store them, quick-formatted by mkfs.fat over it.
#   make-formatted-fat32-bench-image.sh OUT.img
set -euo pipefail
out=${1:?usage: make-formatted-fat32-bench-image.sh OUT.img}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export MTOOLS_SKIP_CHECK=1
python3 - "$work/tree" <<'PY'
import os, sys
root = sys.argv[1]
for d in range(100):
    folder = os.path.join(root, f"folder{d:03d}")
    os.makedirs(folder)
    for f in range(200):
        with open(os.path.join(folder, f"file{f:04d}.txt"), "w") as out:
            out.write(f"file {f} of folder {d}\n" * (1 + f % 300))
PY
rm -f "$out"
mkfs.fat -C -F 32 -s 8 -n BENCH "$out" 1048576 > /dev/null
mcopy -s -i "$out" "$work/tree/"* ::/
mkfs.fat -F 32 -s 8 -n FORMATTED "$out" > /dev/null
echo "$out: 20000 files in 100 folders, quick-formatted"
