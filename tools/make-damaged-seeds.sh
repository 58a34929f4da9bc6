#!/usr/bin/env bash
# Builds the damaged fuzz seeds: committed samples and seeds with a field overwritten,
# each a way a disk's bytes go wrong that must end in a refusal or a bounded answer,
# never a crash or a read out of bounds. The replay runs every seed and every prefix of
# it, so cut files need no seeds of their own.
#   format_checkers/damaged-*  a JPEG whose segment chain breaks after its first segment,
#       a PNG of its header and end chunks only, a PDF whose end marker follows a space,
#       a compound file claiming two DIFAT sectors, an MP3 frame of bit-rate index 15,
#       BMP size fields just outside 50 bytes to 100 MiB
#   fat_records/damaged-*      FAT32 boot sectors with 3 sectors per cluster, 768-byte
#       sectors, one FAT, no signature, a short jump without its NOP; a FAT16 boot
#       sector (mkfs.fat); exFAT boot sectors with two FATs, a name running into the
#       must-be-zero bytes, no signature, 2^31- and 2^8-byte sectors, 64 MiB clusters;
#       exFAT entry sets whose file entry claims 19 secondary entries or sets a reserved
#       byte, whose stream entry sets a reserved byte or is typed as a file entry
# Needs: python3, dosfstools. Run after make-checker-samples.sh, make-signature-samples.sh
# and make-tag-samples.sh, which empty their corpus folders.
set -euo pipefail
cd "$(dirname "$0")/.."

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkfs.fat -C -i 0FA7F16 --invariant "$work/fat16.img" 40960 -F 16 >/dev/null

python3 - "$work/fat16.img" <<'EOF'
import sys

def read(path):
    with open(path, "rb") as f:
        return bytearray(f.read())

def seed(target, name, data):
    with open(f"tests/fuzz/corpus/{target}/damaged-{name}", "wb") as f:
        f.write(data)

def patched(data, offset, new):
    data = bytearray(data)
    data[offset:offset + len(new)] = new
    return data

fixtures = "tests/fixtures/"
jpeg = read(fixtures + "tags/exif-le.jpg")
seed("format_checkers", "chain.jpg", patched(jpeg, 4 + (jpeg[4] << 8 | jpeg[5]), b"\0"))
png = read(fixtures + "signatures/picture.png")
seed("format_checkers", "bare.png", png[:33] + png[-12:])
pdf = read("tests/fuzz/corpus/format_checkers/qpdf-empty.pdf")
seed("format_checkers", "spaced-end.pdf", pdf.replace(b"\n%%EOF", b" %%EOF"))
seed("format_checkers", "difat.xls", patched(read(fixtures + "tags/budget.xls"), 72, bytes([2, 0, 0, 0])))
mp3 = read("tests/fuzz/corpus/format_checkers/ffmpeg-cbr.mp3")
frame = mp3.index(b"\xff\xfb", 2000)
seed("format_checkers", "bitrate.mp3", patched(mp3, frame + 2, bytes([mp3[frame + 2] | 0xF0])))
bmp = read(fixtures + "signatures/picture.bmp")
for size in (49, 104857601):
    seed("format_checkers", f"size-{size}.bmp", patched(bmp, 2, size.to_bytes(4, "little")))

fat32 = read("tests/fuzz/corpus/fat_records/fat32-boot-and-fats.bin")
for name, offset, new in [("spc3", 13, b"\3"), ("sector768", 11, b"\0\3"), ("one-fat", 16, b"\1"),
                          ("no-signature", 510, b"\0\0"), ("short-jump", 2, b"\0")]:
    seed("fat_records", f"fat32-{name}.bin", patched(fat32, offset, new))
# The FAT16 boot sector followed by the first sector of each of its FATs.
fat16 = read(sys.argv[1])
reserved, fats = fat16[14] | fat16[15] << 8, fat16[22] | fat16[23] << 8
seed("fat_records", "fat16-boot-and-fats.bin",
     fat16[:512] + fat16[reserved * 512:reserved * 512 + 512] + fat16[(reserved + fats) * 512:][:512])
exfat = read("tests/fuzz/corpus/fat_records/exfat-boot.bin")
for name, offset, new in [("two-fats", 110, b"\2"), ("name-runs-on", 11, b"X"), ("no-signature", 510, b"\0\0"),
                          ("sector-shift31", 108, b"\37"), ("sector-shift8", 108, b"\10"),
                          ("cluster64m", 109, b"\21")]:
    seed("fat_records", f"exfat-{name}.bin", patched(exfat, offset, new))
root = read("tests/fuzz/corpus/fat_records/exfat-root.bin")
entrySet = root[96:192]  # readme.txt: file, stream and name entries
seed("fat_records", "exfat-entry-sets.bin",
     b"".join(patched(entrySet, offset, new) for offset, new in [(1, b"\x13"), (7, b"\1"), (48, b"\1"), (32, b"\x85")]))
EOF
ls -l tests/fuzz/corpus/*/damaged-*
