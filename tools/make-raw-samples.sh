#!/usr/bin/env bash
# Builds the camera raw samples of the raw checker and carving tests:
#   - real camera files from the test images of the exiftool source package (their
#     image data was shrunk by exiftool's authors, their structure is the camera's),
#     fetched with `apt-get source` through a private deb-src list, the system's apt
#     configuration untouched;
#   - copies of some of them whose dummy preview exiftool replaced with a real JPEG
#     (tests/fixtures/tags/exif-long-model.jpg, 1072 bytes);
#   - synthesised files for the makers the package lacks (ARW in both layouts, PEF,
#     SR2, DCR, KDC, 3FR, ORF), written by tools/mkrawtiff.py and read back by exiftool.
# The manifest tests/fixtures/raw/manifest gives, for each file, the extension, where its
# structure ends (end of the last strip, tile, JPEG, IFD, heap table or directory), the
# slack its checker adds, and the preview's offset and length (0 0 for none). These were
# read from the structures printed at the end (exiftool -n) and checked by hand once;
# notes on each file are in the manifest's comments.
# Output: tests/fixtures/raw/ and the fuzz seeds in tests/fuzz/corpus/raw_checkers/
# (commit both). Needs: apt-get (deb-src reachable), libimage-exiftool-perl, python3.
set -euo pipefail
cd "$(dirname "$0")/.."

out=tests/fixtures/raw
corpus=tests/fuzz/corpus/raw_checkers
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out" "$corpus" "$work/lists/partial"

# --- the exiftool source package, through a private source list ---
echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian bookworm main" \
    > "$work/sources.list"
apt_private=(-o Dir::Etc::SourceList="$work/sources.list" -o Dir::Etc::SourceParts=/dev/null
             -o Dir::State::Lists="$work/lists")
apt-get "${apt_private[@]}" update -qq
(cd "$work" && apt-get "${apt_private[@]}" source --download-only -qq libimage-exiftool-perl &&
    tar xf libimage-exiftool-perl_*.orig.tar.*)
images=$(echo "$work"/Image-ExifTool-*/t/images)

# --- real files, as shipped ---
cp "$images/CanonRaw.cr2" "$out/canon.cr2"
cp "$images/Nikon.nef" "$out/nikon.nef"
cp "$images/DNG.dng" "$out/adobe.dng"
cp "$images/Panasonic.rw2" "$out/panasonic.raw"
cp "$images/FujiFilm.raf" "$out/fujifilm.raf"
cp "$images/Minolta.mrw" "$out/minolta.mrw"
cp "$images/Sigma.x3f" "$out/sigma.x3f"
cp "$images/SigmaDP2.x3f" "$out/sigma-dp2.x3f"
cp "$images/CanonRaw.crw" "$out/canon.crw"

# --- real files with a real JPEG as their preview ---
preview=tests/fixtures/tags/exif-long-model.jpg
with_preview() {  # source name tag
    cp "$images/$1" "$out/$2"
    exiftool -m -q -overwrite_original "-$3<=$preview" "$out/$2"
}
with_preview CanonRaw.cr2 canon-preview.cr2 PreviewImage
with_preview Nikon.nef nikon-preview.nef JpgFromRaw
with_preview DNG.dng adobe-preview.dng PreviewImage
with_preview CanonRaw.crw canon-preview.crw JpgFromRaw

# --- synthesised files ---
python3 tools/mkrawtiff.py "$preview" "$out"

# --- the structures the manifest was checked against ---
for file in "$out"/*; do
    [ "$(basename "$file")" = manifest ] && continue
    echo "== $(basename "$file") $(stat -c %s "$file") bytes"
    exiftool -a -G1 -n -s -FileType '-*Offset*' '-*ByteCount*' '-*Start' '-*Length' -CompressedDataOffset "$file" |
        grep -v -e Focal -e Decision -e VRD || true
done

# Fuzz seeds: a few samples, one cut short, and one whose first IFD links to itself.
cp "$out/sony.arw" "$out/canon-preview.crw" "$out/fujifilm.raf" "$out/sigma-dp2.x3f" "$corpus/"
head -c 700 "$out/adobe-preview.dng" > "$corpus/cut.dng"
python3 - "$out/pentax.pef" "$corpus/looping.pef" <<'PY'
import struct, sys
data = bytearray(open(sys.argv[1], "rb").read())
first = struct.unpack_from(">I", data, 4)[0]
count = struct.unpack_from(">H", data, first)[0]
struct.pack_into(">I", data, first + 2 + 12 * count, first)  # next IFD: itself
open(sys.argv[2], "wb").write(data)
PY
du -ab "$out" "$corpus" | sort -k2
