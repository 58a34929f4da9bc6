#!/usr/bin/env bash
# Builds a FAT32 benchmark volume with mkfs.fat and mtools:
#   make-fat32-bench-image.sh OUT.img              100,000 small files in 100 folders of
#                                                  1,000 (a camera card's worth of entries),
#                                                  one cluster each
#   make-fat32-bench-image.sh OUT.img --formatted  a 1 GiB volume (sparse) with 100 folders
#                                                  of 200 small files, lower-case short names
#                                                  as Linux and Windows store them,
#                                                  quick-formatted by mkfs.fat over it
set -euo pipefail
out=${1:?usage: make-fat32-bench-image.sh OUT.img [--formatted]}
formatted=${2:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export MTOOLS_SKIP_CHECK=1
python3 - "$work/tree" "$formatted" <<'PY'
import os, sys
root, formatted = sys.argv[1], sys.argv[2] == "--formatted"
for d in range(100):
    folder = os.path.join(root, f"folder{d:03d}" if formatted else f"DIR{d:03d}")
    os.makedirs(folder)
    for f in range(200 if formatted else 1000):
        with open(os.path.join(folder, f"file{f:04d}.txt" if formatted else f"F{f:04d}.TXT"), "w") as out:
            out.write(f"file {f} of folder {d}\n" * (1 + f % 300 if formatted else 4))
PY
rm -f "$out"
if [[ "$formatted" == --formatted ]]; then
  mkfs.fat -C -F 32 -s 8 -n BENCH "$out" 1048576 > /dev/null
  mcopy -s -i "$out" "$work/tree/"* ::/
  mkfs.fat -F 32 -s 8 -n FORMATTED "$out" > /dev/null
  echo "$out: 20000 files in 100 folders, quick-formatted"
else
  mkfs.fat -C -F 32 -s 1 -n BENCH "$out" 131072 > /dev/null
  mcopy -s -i "$out" "$work/tree/"* ::/
  echo "$out: 100000 files in 100 folders"
fi
