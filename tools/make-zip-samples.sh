#!/usr/bin/env bash
# Builds ZIP archives as the common archivers write them, for the carving tests: each
# is a plain archive (no Office parts) that a careless identification would not name.
#   infozip-pipe.zip    Info-ZIP writing to a pipe: every member's sizes in a data descriptor
#   infozip-folder.zip  Info-ZIP with a folder first: version 1.0 needed, flags 0
#   infozip-stdin.zip   Info-ZIP reading standard input: a zip64 member and a 24-byte descriptor
#   python-pipe.zip     python's zipfile writing to an unseekable stream, UTF-8 names
#   7z.zip              p7zip
#   bsdtar-pipe.zip     libarchive's bsdtar writing to a pipe
# Output: tests/fixtures/zip/ (commit it; the tests only read it).
# Needs (not in install-deps.sh, only this script uses them): zip, p7zip-full,
# libarchive-tools, python3.
set -euo pipefail
cd "$(dirname "$0")/.."

out=$PWD/tests/fixtures/zip
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rm -rf "$out"
mkdir -p "$out" "$work/photos/2024"
cd "$work"
python3 -c 'print("Norix sample archive.\n" * 60, end="")' > readme.txt
cp "$OLDPWD/tests/fixtures/checkers/ffmpeg-pal8.bmp" photos/2024/picture.bmp

zip -q -X - readme.txt photos/2024/picture.bmp | cat > "$out/infozip-pipe.zip"
zip -q -X -r "$out/infozip-folder.zip" photos readme.txt
zip -q -X - - < readme.txt | cat > "$out/infozip-stdin.zip"
python3 - <<'PY' | cat > "$out/python-pipe.zip"
import sys, zipfile
class Pipe:  # an output that cannot seek: zipfile writes data descriptors
    def __init__(self, raw): self.raw = raw
    def write(self, data): return self.raw.write(data)
    def flush(self): self.raw.flush()
with zipfile.ZipFile(Pipe(sys.stdout.buffer), "w", zipfile.ZIP_DEFLATED) as archive:
    archive.write("readme.txt", "lisez-moi é.txt")
    archive.write("photos/2024/picture.bmp", "photos/2024/picture.bmp")
PY
7z a -tzip -bd -bso0 "$out/7z.zip" readme.txt photos
# bsdtar pads its output to a whole block: keep the archive only.
bsdtar -c --format zip -f - readme.txt photos | python3 -c '
import sys
data = sys.stdin.buffer.read()
end = data.rindex(b"PK\x05\x06")
sys.stdout.buffer.write(data[:end + 22 + int.from_bytes(data[end + 20:end + 22], "little")])' > "$out/bsdtar-pipe.zip"
ls -l "$out"
