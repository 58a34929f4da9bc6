#!/usr/bin/env bash
# Builds the small files whose metadata the tag-reader tests read back: JPEGs tagged by
# exiftool, MP3s tagged by id3v2, eyeD3 and ffmpeg, and Office files written by
# LibreOffice (a few OOXML packages then get their docProps/core.xml rewritten with
# python's zipfile). Output: tests/fixtures/tags/ and the fuzz seeds in
# tests/fuzz/corpus/tag_readers/ (commit both; the tests only read them).
# Needs (not in install-deps.sh, only this script uses them): ffmpeg,
# libimage-exiftool-perl, id3v2, eyed3, libreoffice-writer-nogui,
# libreoffice-calc-nogui, libreoffice-impress-nogui, zip, unzip, python3.
set -euo pipefail
cd "$(dirname "$0")/.."

out=tests/fixtures/tags
corpus=tests/fuzz/corpus/tag_readers
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rm -rf "$out" "$corpus"
mkdir -p "$out" "$corpus"

# --- pictures: a 16x16 JPEG from ffmpeg, EXIF written by exiftool ---
ffmpeg -v error -f lavfi -i testsrc=size=16x16 -frames:v 1 -q:v 10 -y "$out/plain.jpg"
exif() {  # name byte-order model
    cp "$out/plain.jpg" "$out/$1"
    exiftool -q -overwrite_original -ExifByteOrder="$2" -Make="Norix Optics" -Model="$3" \
        -ModifyDate="2024:03:05 10:20:30" "$out/$1"
}
exif exif-le.jpg II "NX-100 Mark II"
exif exif-be.jpg MM "NX-100 Mark II"
# 400 characters: longer than any model the reader accepts, and it pushes the date
# past the first 512 bytes of the file.
exif exif-long-model.jpg II "$(printf 'Prototype-%.0s' {1..40})"

# --- songs: a 0.3 s tone, tagged by three different tools ---
ffmpeg -v error -f lavfi -i sine=frequency=440:duration=0.3 -ac 1 -ar 8000 -c:a libmp3lame -b:a 8k \
    -write_xing 0 -id3v2_version 0 -y "$work/tone.mp3"
song() { cp "$work/tone.mp3" "$out/$1"; }
song id3v23-latin1.mp3
id3v2 -t "Evening Tone" -a "Norix Quartet" "$out/id3v23-latin1.mp3"
song id3v23-utf16.mp3
eyeD3 -Q --to-v2.3 --encoding utf16 -t "Ünïcode title that is much longer than thirty characters" \
    -a "Ärtist Ñame" "$out/id3v23-utf16.mp3" >/dev/null
song id3v24-utf16be.mp3
eyeD3 -Q --to-v2.4 --encoding utf16-be -t "Überschrift" -a "Künstlerin" "$out/id3v24-utf16be.mp3" >/dev/null
# A title over 127 bytes: its ID3v2.4 frame size needs the synchsafe high byte.
song id3v24-latin1-long.mp3
eyeD3 -Q --to-v2.4 --encoding latin1 -t "Café $(printf 'and a much longer title %.0s' {1..6})end" \
    -a "Café Trio" "$out/id3v24-latin1-long.mp3" >/dev/null
ffmpeg -v error -i "$work/tone.mp3" -c copy -write_xing 0 -id3v2_version 3 \
    -metadata title="Sommerlied für Ärzte" -metadata artist="Chor Ö" -y "$out/id3v23-ffmpeg-utf16.mp3"
ffmpeg -v error -i "$work/tone.mp3" -c copy -write_xing 0 -id3v2_version 4 \
    -metadata artist="Sigur Rós" -y "$out/id3v24-artist-only.mp3"

# --- documents: flat OpenDocument sources converted by LibreOffice ---
meta() {  # title creator date
    echo "<office:meta>"
    [[ -n "$1" ]] && echo "<dc:title>$1</dc:title>"
    [[ -n "$2" ]] && echo "<meta:initial-creator>$2</meta:initial-creator><dc:creator>$2</dc:creator>"
    echo "<dc:date>$3</dc:date></office:meta>"
}
flat() {  # file mimetype body title creator date
    cat > "$work/$1" <<EOF
<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:meta="urn:oasis:names:tc:opendocument:xmlns:meta:1.0" xmlns:dc="http://purl.org/dc/elements/1.1/"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0"
 office:version="1.3" office:mimetype="application/vnd.oasis.opendocument.$2">
$(meta "$4" "$5" "$6")
<office:body>$3</office:body>
</office:document>
EOF
}
text='<office:text><text:p>Norix sample memo.</text:p></office:text>'
sheet='<office:spreadsheet><table:table table:name="Sheet1"><table:table-row><table:table-cell office:value-type="float" office:value="120"><text:p>120</text:p></table:table-cell></table:table-row></table:table></office:spreadsheet>'
slides='<office:presentation><draw:page draw:name="page1"/></office:presentation>'
flat memo.fodt text "$text" "Quarterly Memo" "Ada Lovelace" 2024-03-05T10:20:30
flat budget.fods spreadsheet "$sheet" "Budget 2024" "Grace Hopper" 2024-04-01T09:00:00
flat slides.fodp presentation "$slides" "Launch Plan" "Alan Turing" 2024-05-06T14:15:16
flat memo-no-creator.fodt text "$text" "Orphan Memo" "" 2024-03-05T10:20:30
flat memo-no-title.fodt text "$text" "" "Ada Lovelace" 2024-03-05T10:20:30
convert() {  # format source...
    local format=$1
    shift
    soffice -env:UserInstallation="file://$work/profile" --headless --convert-to "$format" --outdir "$out" \
        "${@/#/$work/}" >/dev/null 2>&1
}
convert doc memo.fodt
convert xls budget.fods
convert ppt slides.fodp
convert docx memo.fodt memo-no-creator.fodt memo-no-title.fodt
convert xlsx budget.fods
convert pptx slides.fodp
convert odt memo.fodt

# Two packages whose core properties were rewritten: one starting with a byte-order
# mark, one inflating to 2 MiB.
python3 - "$out" <<'PY'
import sys, zipfile
folder = sys.argv[1]
def rewrite(name, core):
    with zipfile.ZipFile(f"{folder}/memo.docx") as src, \
         zipfile.ZipFile(f"{folder}/{name}", "w", zipfile.ZIP_DEFLATED) as dst:
        for item in src.infolist():
            data = src.read(item)
            dst.writestr(item, core(data) if item.filename == "docProps/core.xml" else data)
rewrite("memo-bom-core.docx", lambda data: b"\xef\xbb\xbf" + data)
rewrite("memo-core-bomb.docx", lambda data: data + b" " * (2 << 20))
PY

# Core properties encrypted with a password (zip's traditional encryption).
mkdir -p "$work/locked/docProps"
unzip -q -p "$out/memo.docx" docProps/core.xml > "$work/locked/docProps/core.xml"
cp "$out/memo.docx" "$out/memo-locked-core.docx"
zip -q -d "$out/memo-locked-core.docx" docProps/core.xml
(cd "$work/locked" && zip -q -P norix "$OLDPWD/$out/memo-locked-core.docx" docProps/core.xml)

cp "$out/exif-le.jpg" "$out/id3v23-utf16.mp3" "$out/id3v24-utf16be.mp3" "$out/memo.docx" "$out/memo-locked-core.docx" \
    "$out/budget.xls" "$corpus/"
du -ab "$out" "$corpus" | sort -k2
