#!/usr/bin/env bash
# Builds the bundled sample disk image: a 40 MiB FAT32 volume with a dozen files in a
# few folders, some of them deleted. Made with mkfs.fat and mtools, no mount needed.
# Output: resources/sample-fat32.img.zst (commit it; `make run` unpacks it).
set -euo pipefail
cd "$(dirname "$0")/.."

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
img="$work/sample-fat32.img"
files="$work/files"
mkdir -p "$files"

# Small real PNG pictures, encoded with Python's zlib.
python3 - "$files" <<'PY'
import struct, sys, zlib
def png(path, width, height, seed):
    rows = b"".join(b"\0" + bytes(((x * seed + y * 7) & 0xFF) for x in range(width * 3)) for y in range(height))
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
                  + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))
png(sys.argv[1] + "/IMG_0001.PNG", 64, 48, 3)
png(sys.argv[1] + "/IMG_0002.PNG", 80, 60, 5)
png(sys.argv[1] + "/IMG_0003.PNG", 32, 32, 11)
PY
seq 1 400 | sed 's/^/line /' > "$files/notes.txt"
printf 'month,amount\njanuary,120\nfebruary,95\nmarch,143\n' > "$files/report.csv"
printf 'Holiday plans for the summer.\n' > "$files/plans.txt"
head -c 20000 /dev/zero | tr '\0' 'a' > "$files/draft.txt"
printf 'Welcome to the Norix sample volume.\n' > "$files/readme.txt"
printf 'shopping: milk, bread\n' > "$files/list.txt"

mkfs.fat -C -F 32 -n NORIXSAMPLE -i 4E4F5249 --invariant "$img" 40960 >/dev/null
export MTOOLS_SKIP_CHECK=1
m() { "$@" -i "$img"; }
m mmd ::/DCIM ::/DCIM/100NORIX ::/Documents ::/Documents/Old ::/Music ::/Trash
m mcopy "$files/readme.txt" ::/readme.txt
m mcopy "$files/IMG_0001.PNG" "$files/IMG_0002.PNG" "$files/IMG_0003.PNG" ::/DCIM/100NORIX/
m mcopy "$files/notes.txt" "$files/plans.txt" ::/Documents/
m mcopy "$files/report.csv" "::/Documents/Quarterly report 2024.csv"
m mcopy "$files/draft.txt" ::/Documents/Old/draft.txt
m mcopy "$files/list.txt" ::/Music/playlist.txt
m mcopy "$files/plans.txt" ::/Trash/old-plans.txt
m mcopy "$files/list.txt" ::/Trash/old-list.txt
# Deleted: one picture, one document and a whole folder.
m mdel ::/DCIM/100NORIX/IMG_0002.PNG
m mdel ::/Documents/plans.txt
m mdeltree ::/Trash

mkdir -p resources
zstd -q -19 -f -o resources/sample-fat32.img.zst "$img"
echo "wrote resources/sample-fat32.img.zst ($(stat -c %s resources/sample-fat32.img.zst) bytes)"
