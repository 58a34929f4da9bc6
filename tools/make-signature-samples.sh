#!/usr/bin/env bash
# Builds the small files that the signature-matching tests identify: pictures, clips,
# songs, a PDF and ZIP archives made by ffmpeg, lame, LibreOffice and python's zipfile,
# and TIFF images from ffmpeg and tiffcp whose maker and model tags exiftool writes the
# way camera raw files carry them. Some show what identification must refuse:
#   restart-first.jpg   an ffmpeg JPEG whose restart-interval segment was moved to follow
#                       the start-of-image marker (it still decodes; checked below);
#   reserved-bytes.bmp  an ffmpeg bitmap with its reserved bytes 6-9 set;
#   free-format.mp3     lame's free-format frames (bit-rate index 0);
#   stored.zip          Info-ZIP's zip stores members as version 1.0 (byte 4 = 0x0A).
# Output: tests/fixtures/signatures/ and the fuzz seeds in tests/fuzz/corpus/signature_check/
# (commit both; the tests only read them).
# Needs (not in install-deps.sh, only this script uses them): ffmpeg, lame,
# libimage-exiftool-perl, libtiff-tools, libreoffice-writer-nogui, python3, zip.
set -euo pipefail
cd "$(dirname "$0")/.."

out=tests/fixtures/signatures
corpus=tests/fuzz/corpus/signature_check
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rm -rf "$out" "$corpus"
mkdir -p "$out" "$corpus"

# --- pictures ---
for format in png gif bmp; do
    ffmpeg -v error -f lavfi -i testsrc=size=16x16 -frames:v 1 -y "$out/picture.$format"
done
cp "$out/picture.bmp" "$out/reserved-bytes.bmp"
printf 'NXDR' | dd of="$out/reserved-bytes.bmp" bs=1 seek=6 conv=notrunc status=none
# Slice threads make ffmpeg write a restart interval (FF DD).
ffmpeg -v error -f lavfi -i testsrc=size=32x32 -frames:v 1 -threads 2 -thread_type slice -slices 2 -y "$work/dri.jpg"
python3 - "$work/dri.jpg" "$out/restart-first.jpg" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
at = data.index(b"\xff\xdd")
segment = data[at:at + 6]
open(sys.argv[2], "wb").write(data[:2] + segment + data[2:at] + data[at + 6:])
PY
ffmpeg -v error -i "$out/restart-first.jpg" -f null -

# --- clips: QuickTime, MPEG-4, and MPEG-4 with Canon's "crx " brand ---
clip() { ffmpeg -v error -f lavfi -i testsrc=size=16x16:rate=2 -t 1 -c:v mpeg4 "$@"; }
clip -y "$out/clip.mov"
clip -y "$out/clip.mp4"
clip -brand "crx " -f mp4 -y "$out/clip-crx-brand.mp4"

# --- songs: plain frames, and free-format frames (bit-rate index 0) ---
ffmpeg -v error -f lavfi -i sine=frequency=440:duration=0.3 -ac 1 -ar 8000 -c:a libmp3lame -b:a 8k \
    -write_xing 0 -id3v2_version 0 -y "$out/tone.mp3"
ffmpeg -v error -f lavfi -i sine=frequency=440:duration=0.2 -ac 1 -ar 8000 -y "$work/tone.wav"
lame --quiet --freeformat -b 32 "$work/tone.wav" "$out/free-format.mp3"

# --- a PDF from LibreOffice ---
cat > "$work/memo.fodt" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" office:version="1.3"
 office:mimetype="application/vnd.oasis.opendocument.text">
<office:body><office:text><text:p>Norix sample memo.</text:p></office:text></office:body>
</office:document>
XML
soffice -env:UserInstallation="file://$work/profile" --headless --convert-to pdf --outdir "$out" \
    "$work/memo.fodt" >/dev/null 2>&1

# --- ZIP archives with a part under word/: deflated by python (version 2.0, no flags)
# and stored by Info-ZIP (version 1.0) ---
mkdir -p "$work/zip/word"
python3 -c 'print("Norix sample archive.\n" * 20, end="")' > "$work/zip/readme.txt"
echo "<w:document/>" > "$work/zip/word/document.xml"
python3 - "$work/zip" "$out/archive.zip" <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[2], "w", zipfile.ZIP_DEFLATED) as archive:
    for part in ("readme.txt", "word/document.xml"):
        archive.write(f"{sys.argv[1]}/{part}", part)
PY
(cd "$work/zip" && zip -q -0 -X "$OLDPWD/$out/stored.zip" readme.txt word/document.xml)

# --- TIFF images tagged like camera raw files ---
ffmpeg -v error -f lavfi -i testsrc=size=16x16 -frames:v 1 -pix_fmt gray -y "$work/base.tif"
tiffcp -B "$work/base.tif" "$work/base.tif" "$work/base-be2.tif"
tiffcp -B "$work/base.tif" "$work/base.tif" "$work/base.tif" "$work/base-be3.tif"
tagged() {  # name source exiftool-arguments...
    local name=$1 source=$2
    shift 2
    cp "$work/$source" "$out/$name"
    exiftool -q -overwrite_original "$@" "$out/$name"
}
tagged raw-nikon.tif base.tif -Make="NIKON CORPORATION" -Model="NIKON D850"
tagged raw-sony-make.tif base.tif -Make="SONY" -Model="DSC-R1"
tagged raw-sony-model.tif base.tif -Model="DSC-R1"
tagged raw-ilce.tif base.tif -Make="SONY" -Model="ILCE-7M3"
tagged raw-dslr-a100.tif base.tif -Model="DSLR-A100"
tagged raw-kodak-dcs.tif base.tif -Make="Kodak" -Model="DCS Pro SLR/n"
tagged raw-kodak-dc120.tif base.tif -Model="Kodak DC120 ZOOM Digital Camera"
tagged raw-kodak-dc25.tif base.tif -Model="KODAK DC25"
tagged raw-hasselblad.tif base.tif -Make="Hasselblad" -Model="CFV-50c"
tagged raw-dng.tif base.tif -Make="Norix" -DNGVersion="1.4.0.0"
tagged raw-pentax-3ifd.tif base-be3.tif -Make="PENTAX" -Model="PENTAX K-1"
tagged raw-pentax-2ifd.tif base-be2.tif -Make="PENTAX" -Model="PENTAX K-1"
tagged raw-canon-no-cr.tif base.tif -Make="Canon" -Model="Canon EOS R5"
tagged raw-sigma.tif base.tif -Make="SIGMA" -Model="SIGMA sd Quattro"
tagged raw-no-maker.tif base.tif -Artist="Norix"

# A small catalogue file: the shipped one with its photo types only.
python3 - resources/Sig_AL.json "$corpus/catalogue-photos.json" <<'PY'
import json, sys
catalogue = json.load(open(sys.argv[1]))
catalogue[0]["children"] = [c for c in catalogue[0]["children"] if c["category"] == "Photos"]
open(sys.argv[2], "w").write(json.dumps(catalogue, indent=1) + "\n")
PY
cp "$out/picture.png" "$out/restart-first.jpg" "$out/clip-crx-brand.mp4" "$out/archive.zip" \
    "$out/raw-pentax-3ifd.tif" "$out/raw-dng.tif" tests/fixtures/tags/budget.xls \
    tests/fixtures/tags/memo-locked-core.docx "$corpus/"
du -ab "$out" "$corpus" | sort -k2
