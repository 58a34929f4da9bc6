#!/usr/bin/env bash
# Builds the files that the format-checker tests size: pictures from ffmpeg, cjpeg,
# jpegtran, gifsicle and exiftool, PDFs from LibreOffice, qpdf and exiftool, ZIP
# packages from python's zipfile and Info-ZIP, songs from ffmpeg, lame, id3v2 and
# eyeD3, and clips from ffmpeg. The checkers are also run on the samples of
# tests/fixtures/signatures/ and tests/fixtures/tags/, so these add what those lack:
# files larger than one 64 KiB read window, other encoders and layouts, and files a
# careless walk would cut short:
#   exiftool-exif.png        an eXIf chunk before the image data
#   ffmpeg-animated.png      animation chunks (acTL, fcTL, fdAT)
#   gifsicle-comment.gif     a comment extension of three sub-blocks
#   qpdf-linearized.pdf      two "%%EOF" markers, the first after the first page's table
#   exiftool-update.pdf      an incremental update appended after the first "%%EOF"
#   comment.zip              an archive comment after the end-of-central-directory record
#   id3v2-tool.mp3           an ID3v1 tag after the last audio frame
#   ffmpeg-fragmented.mp4    movie fragments (moof, mdat, mfra)
# Output: tests/fixtures/checkers/ and the fuzz seeds in tests/fuzz/corpus/format_checkers/
# (commit both; the tests only read them).
# Needs (not in install-deps.sh, only this script uses them): ffmpeg, lame, id3v2,
# eyed3, libimage-exiftool-perl, libjpeg-turbo-progs, gifsicle, qpdf, zip, python3.
set -euo pipefail
cd "$(dirname "$0")/.."

out=tests/fixtures/checkers
corpus=tests/fuzz/corpus/format_checkers
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rm -rf "$out" "$corpus"
mkdir -p "$out" "$corpus"

frame() {  # source size output (one frame of a lavfi source)
    ffmpeg -v error -f lavfi -i "$1=size=$2" -frames:v 1 "${@:4}" -y "$3"
}
noise() {  # width height output options... (seeded random pixels, encoded by ffmpeg)
    python3 -c "import random, sys; sys.stdout.buffer.write(random.Random(7).randbytes($1 * $2 * 3))" |
        ffmpeg -v error -f rawvideo -pix_fmt rgb24 -s "$1x$2" -i - "${@:4}" -y "$3"
}

# --- JPEG: ffmpeg (baseline, restart intervals), cjpeg (baseline, progressive),
# exiftool (EXIF with a thumbnail), jpegtran (progressive, EXIF kept) ---
frame testsrc2 320x240 "$out/ffmpeg-q2.jpg" -q:v 2
frame testsrc2 96x64 "$out/ffmpeg-restart.jpg" -threads 2 -thread_type slice -slices 4
frame testsrc2 320x240 "$work/picture.ppm"
noise 256 256 "$work/noise.ppm"
frame testsrc2 64x48 "$work/thumb.ppm"
cjpeg -quality 85 -outfile "$out/cjpeg-baseline.jpg" "$work/picture.ppm"
cjpeg -quality 90 -progressive -outfile "$out/cjpeg-progressive.jpg" "$work/picture.ppm"
cjpeg -quality 95 -outfile "$out/cjpeg-large.jpg" "$work/noise.ppm"
cjpeg -quality 75 -outfile "$work/thumb.jpg" "$work/thumb.ppm"
cp "$out/cjpeg-baseline.jpg" "$out/exif-thumbnail.jpg"
exiftool -q -overwrite_original -Make="Norix Optics" -Model="NX-200" "-ThumbnailImage<=$work/thumb.jpg" \
    "$out/exif-thumbnail.jpg"
jpegtran -progressive -copy all -outfile "$out/jpegtran-progressive-exif.jpg" "$out/exif-thumbnail.jpg"

# --- PNG: a picture larger than a read window, a palette, text and EXIF chunks,
# an animation ---
noise 160 160 "$out/ffmpeg-large.png"
frame testsrc2 64x64 "$out/ffmpeg-palette.png" -pix_fmt pal8
frame testsrc2 64x64 "$out/exiftool-text.png"
exiftool -q -overwrite_original -Title="Norix sample" -Comment="Made for the checker tests" \
    -XMP:Creator="Ada Lovelace" "$out/exiftool-text.png"
noise 96 96 "$out/exiftool-exif.png"
exiftool -q -overwrite_original -EXIF:Make="Norix Optics" -EXIF:Model="NX-200" "$out/exiftool-exif.png"
ffmpeg -v error -f lavfi -i testsrc2=size=64x64:rate=5 -t 1 -f apng -plays 0 -y "$out/ffmpeg-animated.png"

# --- GIF: animated with a global colour table, with local tables only, with a long
# comment, and one larger than a read window ---
ffmpeg -v error -f lavfi -i testsrc=size=32x32:rate=5 -t 1 -y "$out/ffmpeg-animated.gif"
ffmpeg -v error -f lavfi -i testsrc=size=32x32:rate=5 -t 1 \
    -lavfi "split[a][b];[a]palettegen=stats_mode=single[p];[b][p]paletteuse=new=1" -global_palette 0 \
    -y "$out/ffmpeg-local-tables.gif"
gifsicle --comment "$(printf 'Norix sample comment. %.0s' {1..30})" "$out/ffmpeg-animated.gif" \
    > "$out/gifsicle-comment.gif"
noise 320 240 "$out/ffmpeg-large.gif"

# --- BMP: 24-bit, 8-bit with a palette, 32-bit ---
frame testsrc2 64x48 "$out/ffmpeg-bgr24.bmp" -pix_fmt bgr24
frame testsrc2 64x48 "$out/ffmpeg-pal8.bmp" -pix_fmt pal8
frame testsrc2 32x32 "$out/ffmpeg-bgra.bmp" -pix_fmt bgra

# --- PDF: linearised and rewritten with object streams by qpdf, and exiftool's
# incremental updates (each adds a "%%EOF") ---
pdf=tests/fixtures/signatures/memo.pdf
qpdf --linearize "$pdf" "$out/qpdf-linearized.pdf"
qpdf --object-streams=generate "$pdf" "$out/qpdf-object-streams.pdf"
cp "$pdf" "$out/exiftool-update.pdf"
exiftool -q -overwrite_original -Title="Norix memo" "$out/exiftool-update.pdf"
cp "$out/qpdf-linearized.pdf" "$out/linearized-update.pdf"
exiftool -q -overwrite_original -Author="Ada Lovelace" "$out/linearized-update.pdf"

# --- ZIP: an archive with a comment, stored members, and Office packages repacked
# with data descriptors (Info-ZIP's -fd, and python writing to a pipe) ---
mkdir -p "$work/zip" "$work/docx"
python3 -c 'print("Norix sample archive.\n" * 40, end="")' > "$work/zip/readme.txt"
cp "$out/ffmpeg-pal8.bmp" "$work/zip/picture.bmp"
python3 - "$work/zip" "$out" <<'PY'
import sys, zipfile
folder, out = sys.argv[1:]
with zipfile.ZipFile(f"{out}/comment.zip", "w", zipfile.ZIP_DEFLATED) as archive:
    archive.write(f"{folder}/readme.txt", "readme.txt")
    archive.comment = b"Norix sample archive, made for the checker tests."
with zipfile.ZipFile(f"{out}/stored.zip", "w", zipfile.ZIP_STORED) as archive:
    archive.write(f"{folder}/readme.txt", "readme.txt")
    archive.write(f"{folder}/picture.bmp", "picture.bmp")
PY
unzip -q tests/fixtures/tags/memo.docx -d "$work/docx"
(cd "$work/docx" && zip -q -r -X -fd "$OLDPWD/$out/infozip-descriptors.docx" '[Content_Types].xml' _rels docProps word)
python3 - tests/fixtures/tags/budget.xlsx <<'PY' > "$out/python-streamed.xlsx"
import sys, zipfile
class Pipe:  # an output that cannot seek, as a pipe is: zipfile writes data descriptors
    def __init__(self, raw): self.raw, self.written = raw, 0
    def write(self, data): self.written += len(data); return self.raw.write(data)
    def tell(self): return self.written
    def flush(self): self.raw.flush()
with zipfile.ZipFile(sys.argv[1]) as source, zipfile.ZipFile(Pipe(sys.stdout.buffer), "w", zipfile.ZIP_DEFLATED) as copy:
    for item in source.infolist():
        copy.writestr(item.filename, source.read(item))
PY

# --- MP3: MPEG-1 layer III (CBR, LAME's Info frame, VBR, CRC), MPEG-2 and MPEG-2.5
# layer III, MPEG-1 layer II, with and without ID3 tags ---
tone() {  # rate seconds output
    ffmpeg -v error -f lavfi -i "sine=frequency=440:duration=$2" -ar "$1" -ac 1 -y "$3"
}
tone 44100 2 "$work/tone44.wav"
tone 44100 4 "$work/tone44-long.wav"
tone 22050 3 "$work/tone22.wav"
tone 8000 6 "$work/tone8.wav"
ffmpeg -v error -i "$work/tone44.wav" -c:a libmp3lame -b:a 64k -write_xing 0 -id3v2_version 0 -y "$out/ffmpeg-cbr.mp3"
lame --quiet -b 64 "$work/tone44.wav" "$out/lame-info.mp3"
lame --quiet -p -b 64 "$work/tone44.wav" "$out/lame-crc.mp3"
lame --quiet -V 6 --id3v2-only --tt "Evening Tone" --ta "Norix Quartet" "$work/tone44-long.wav" "$out/lame-vbr-id3.mp3"
lame --quiet -b 64 "$work/tone44.wav" "$out/id3v2-tool.mp3"
id3v2 -t "Evening Tone" -a "Norix Quartet" "$out/id3v2-tool.mp3"
ffmpeg -v error -i "$work/tone22.wav" -c:a libmp3lame -b:a 32k -metadata title="Low Tone" -y "$out/mpeg2-id3.mp3"
ffmpeg -v error -i "$work/tone8.wav" -c:a libmp3lame -b:a 16k -write_xing 0 -id3v2_version 0 -y "$out/mpeg25.mp3"
ffmpeg -v error -i "$work/tone44.wav" -ar 48000 -c:a mp2 -b:a 64k -f mp2 -y "$out/ffmpeg-mp2.mp3"
lame --quiet -b 32 "$work/tone44.wav" "$out/cover-id3.mp3"
eyeD3 -Q --to-v2.3 -t "Cover Tone" --add-image "$out/cjpeg-large.jpg:FRONT_COVER" "$out/cover-id3.mp3" >/dev/null

# --- QuickTime / MPEG-4: movie atom first, fragments, and a clip with sound ---
clip() {  # output options...
    ffmpeg -v error -f lavfi -i testsrc=size=64x64:rate=10 -f lavfi -i sine=frequency=440 -t 2 \
        -c:v mpeg4 -g 5 -c:a aac -b:a 32k "${@:2}" -y "$1"
}
clip "$out/ffmpeg-faststart.mp4" -movflags +faststart
clip "$out/ffmpeg-fragmented.mp4" -movflags frag_keyframe+empty_moov
clip "$out/ffmpeg-sound.mov"

# Seeds: small files, as the replay runs every prefix of each, and every prefix of a
# JPEG or PDF lacks its end marker and has the walk read on to its limit.
cp tests/fixtures/tags/exif-le.jpg "$out/gifsicle-comment.gif" "$out/exiftool-text.png" "$out/ffmpeg-pal8.bmp" \
    tests/fixtures/signatures/clip.mov tests/fixtures/tags/memo.doc tests/fixtures/signatures/archive.zip "$corpus/"
qpdf --empty "$corpus/qpdf-empty.pdf"
head -c 6000 "$out/lame-vbr-id3.mp3" > "$corpus/lame-vbr-id3.mp3"
head -c 6000 "$out/ffmpeg-cbr.mp3" > "$corpus/ffmpeg-cbr.mp3"
du -ab "$out" "$corpus" | sort -k2
