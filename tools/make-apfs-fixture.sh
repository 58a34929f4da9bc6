#!/usr/bin/env bash
# Builds the APFS container the scan tests read, with its manifest:
#   tests/fixtures/apfs.img.zst     a 1 GiB container (4 KiB blocks; smaller ones run out of
#                                   room for the driver's checkpoints) with one volume
#   tests/fixtures/apfs.manifest    one line per file: path, size, SHA-256, deleted (0/1),
#                                   blocks still intact (0/1), tab-separated
# mkapfs (package apfsprogs) makes the empty container; the Linux APFS driver (package
# apfs-dkms, built for the kernel of the libguestfs appliance: linux-image-amd64 and
# linux-headers-amd64) writes, rewrites and deletes files inside a libguestfs appliance
# under software emulation (packages libguestfs-tools, supermin); apfsck checks the result
# after each step. No mount on the host; it takes a minute or two.
#
# Contents, in the order they are written:
#   Photos/2024/Summer/, Photos/Café Crème/, Documents/Reports/  nested folders, accented
#                 names, a zero-length file, a file larger than a 64 KiB read window
#   Fill/filler-NN  one block each; the odd ones are then deleted, leaving one-block holes,
#   fragmented.bin  then written: the driver may put it into the holes
#   rewritten.txt written, flushed (unmounted), then written again with other content: the
#                 old extents stay on disk, the manifest holds the newest content
#   deleted last, so nothing overwrites their data: the folder OldStuff with its subfolder
#                 Inner, then Documents/old draft.txt (its folder stays) and deleted-note.txt.
#                 The driver edits a node in place within a transaction and reuses a freed
#                 node block a few transactions later, so only the last few deletions keep
#                 their records in an old node copy: the folder OldStuff, old draft.txt and
#                 deleted-note.txt do; the records of OldStuff's contents are overwritten
#                 (their data blocks stay), so no metadata scan can list them
set -euo pipefail
cd "$(dirname "$0")/.."
for tool in mkapfs apfsck guestfish python3 zstd; do
  command -v "$tool" >/dev/null || { echo "needs $tool (apfsprogs, libguestfs-tools, python3, zstd)" >&2; exit 1; }
done
export LIBGUESTFS_BACKEND=direct LIBGUESTFS_BACKEND_SETTINGS=force_tcg TZ=UTC LC_ALL=C.UTF-8

repo=$PWD
work=$(mktemp -d /tmp/norix-apfs.XXXXXX)
trap '[[ -n "${KEEP:-}" ]] || rm -rf "$work"' EXIT
img="$work/apfs.img" manifest="$work/apfs.manifest" src="$work/src"
mkdir -p "$src"
: > "$manifest"

# Deterministic content: bytes seeded by the name, of the given size.
content() {  # local-file size seed
  python3 -c 'import random,sys; r=random.Random(sys.argv[2]); sys.stdout.buffer.write(r.randbytes(int(sys.argv[1])))' "$2" "$3" > "$1"
}
# Appends the upload of a file of that size to a guestfish script and records it.
put() {  # script volume-path size [deleted intact]
  local local="$src/$(printf '%s' "$2" | sha256sum | cut -c1-16)"
  content "$local" "$3" "$2"
  printf 'upload "%s" "%s"\n' "$local" "$2" >> "$1"
  [[ "$2" == /rewritten.txt ]] && return  # recorded with its second content
  printf '%s\t%s\t%s\t%s\t%s\n' "$2" "$3" "$(sha256sum < "$local" | cut -d' ' -f1)" "${4:-0}" "${5:-1}" >> "$manifest"
}

truncate -s 1G "$img"
mkapfs -L "Norix APFS" "$img" > /dev/null

# One appliance session: mount, fill, unmount (flush), mount again, rewrite and delete.
fill="$work/fill.gf"
cat > "$fill" <<'EOF'
run
modprobe apfs
mount-vfs readwrite apfs /dev/sda /
mkdir-p "/Photos/2024/Summer"
mkdir-p "/Photos/Café Crème"
mkdir-p /Documents/Reports
mkdir-p /OldStuff/Inner
mkdir-p /Fill
EOF
put "$fill" /Photos/2024/Summer/beach.jpg 14000
put "$fill" /Photos/2024/Summer/sunset.jpg 9000
put "$fill" /Photos/2024/big.jpg 70000
put "$fill" "/Photos/Café Crème/été à Paris.txt" 3000
put "$fill" /Documents/Reports/report.txt 5000
put "$fill" /Documents/empty.txt 0
put "$fill" "/Documents/old draft.txt" 6000 1 1
put "$fill" /deleted-note.txt 1500 1 1
put "$fill" /OldStuff/list.txt 700 1 1
put "$fill" /OldStuff/Inner/inside.txt 2500 1 1
for i in $(seq -w 0 29); do
  if (( 10#$i % 2 )); then put "$fill" "/Fill/filler-$i" 4096 1 0; else put "$fill" "/Fill/filler-$i" 4096; fi
done
put "$fill" /rewritten.txt 9000
echo "umount /" >> "$fill"
echo "mount-vfs readwrite apfs /dev/sda /" >> "$fill"
for i in $(seq -w 1 2 29); do echo "rm /Fill/filler-$i" >> "$fill"; done
printf 'umount /\nmount-vfs readwrite apfs /dev/sda /\n' >> "$fill"
put "$fill" /fragmented.bin $((12 * 4096 + 100))
# The second content of rewritten.txt, written over the first.
second="$src/rewritten-second"
content "$second" 11000 "/rewritten.txt, second version"
printf 'upload "%s" /rewritten.txt\n' "$second" >> "$fill"
printf '%s\t%s\t%s\t0\t1\n' /rewritten.txt 11000 "$(sha256sum < "$second" | cut -d' ' -f1)" >> "$manifest"
cat >> "$fill" <<'EOF'
umount /
mount-vfs readwrite apfs /dev/sda /
rm-rf /OldStuff
rm "/Documents/old draft.txt"
rm /deleted-note.txt
umount /
EOF
guestfish --rw -a "$img" -f "$fill"
apfsck "$img"

if command -v fsapfsinfo >/dev/null; then  # libfsapfs-utils: an independent reader
  listing=$(fsapfsinfo -H "$img")
  [[ "$listing" == *"/Documents/Reports/report.txt"* && "$listing" != *"deleted-note.txt"* ]] ||
    { echo "fsapfsinfo does not list the volume as written" >&2; exit 1; }
fi
zstd -q -19 -f "$img" -o "$repo/tests/fixtures/apfs.img.zst"
cp "$manifest" "$repo/tests/fixtures/apfs.manifest"
echo "apfs: $(wc -l < "$manifest") files, $(stat -c %s "$repo/tests/fixtures/apfs.img.zst") bytes compressed"
