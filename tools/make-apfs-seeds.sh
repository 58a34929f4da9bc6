#!/usr/bin/env bash
# Cuts the apfs_scan fuzz target's seeds (tests/fuzz/corpus/apfs_scan/) out of the APFS
# fixture container; the damaged ones get one field changed, as tests/fuzz/apfs_scan.cpp lists.
set -euo pipefail
cd "$(dirname "$0")/.."
out=tests/fuzz/corpus/apfs_scan
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
zstd -q -d tests/fixtures/apfs.img.zst -o "$work/apfs.img"
mkdir -p "$out"
blocks() {  # output block...
  local file=$1; shift
  : > "$file"
  for b in "$@"; do dd if="$work/apfs.img" bs=4096 skip="$b" count=1 status=none >> "$file"; done
}
dd if="$work/apfs.img" of="$out/container-head.bin" bs=4096 count=16 status=none
blocks "$out/leaves.bin" 229424 229433 229422 229396
blocks "$out/index-and-leaf.bin" 229419 229388 229412 229420
python3 - "$out" <<'PY'
import struct, sys
out = sys.argv[1]
leaves = bytearray(open(f"{out}/leaves.bin", "rb").read())
# Folder 22 is the first inode of the third node: its value (at 4096 minus the table's
# value offset) starts with the parent id.
node = 2 * 4096
key_offset, key_len, value_offset, value_len = struct.unpack_from("<HHHH", leaves, node + 56)
loop = bytearray(leaves)
struct.pack_into("<Q", loop, node + 4096 - value_offset, 23)
open(f"{out}/parent-loop.bin", "wb").write(loop)
table = bytearray(leaves)
struct.pack_into("<H", table, 42, 4000)
open(f"{out}/table-past-end.bin", "wb").write(table)
PY
