#!/usr/bin/env bash
# Builds the FAT32 benchmark volume with mkfs.fat and mtools: 100,000 small files in
# 100 folders of 1,000 (a camera card's worth of entries), one cluster each.
#   make-fat32-bench-image.sh OUT.img
set -euo pipefail
out=${1:?usage: make-fat32-bench-image.sh OUT.img}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export MTOOLS_SKIP_CHECK=1
python3 - "$work/tree" <<'PY'
import os, sys
root = sys.argv[1]
for d in range(100):
    folder = os.path.join(root, f"DIR{d:03d}")
    os.makedirs(folder)
    for f in range(1000):
        with open(os.path.join(folder, f"F{f:04d}.TXT"), "w") as out:
            out.write(f"file {f} of folder {d}\n" * 4)
PY
rm -f "$out"
mkfs.fat -C -F 32 -s 1 -n BENCH "$out" 131072 > /dev/null
mcopy -s -i "$out" "$work/tree/"* ::/
echo "$out: 100000 files in 100 folders"
