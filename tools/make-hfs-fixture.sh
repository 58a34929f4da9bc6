#!/usr/bin/env bash
# Builds the HFS+ volumes the scan tests read, each with its manifest:
#   tests/fixtures/hfs-4k.img.zst     8 MiB, 4 KiB allocation blocks, journaled: the journal
#                                     holds the catalog leaf nodes from before the deletions
#   tests/fixtures/hfs-512.img.zst    8 MiB, 512-byte allocation blocks, no journal
#   tests/fixtures/hfs-<n>.manifest   one line per file: path, size, SHA-256, deleted (0/1),
#                                     blocks still intact (0/1), tab-separated
# tools/mkhfsplus.py writes each empty volume; the Linux kernel's own hfsplus driver, run
# in user mode (package user-mode-linux, with kmod for insmod), fills it: no mount on the
# host, no root needed. The driver stores names decomposed, as a Mac does.
#
# Contents, in the order they are written:
#   Photos/2024/Summer/, Photos/Café Crème/, Documents/Reports/  nested folders, accented
#                 names, a zero-length file, a file larger than a 64 KiB read window
#   Fill/filler-NN  one allocation block each; the odd ones are then deleted, leaving
#                 one-block holes, and
#   fragmented.bin  written into them: thirteen extents, five of them in the
#                 extents-overflow B-tree
#   deleted last, so nothing overwrites their data: Documents/old draft.txt,
#                 deleted-note.txt and the folder OldStuff with its subfolder Inner
# The 4 KiB volume is then marked journaled, with the catalog leaf nodes of the volume as
# it was before the deletions copied into its journal area (mkhfsplus.py journal).
# Checked with The Sleuth Kit (fls, package sleuthkit) when it is installed.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v linux.uml >/dev/null && [[ -x /usr/sbin/insmod ]] ||
  { echo "needs user-mode-linux and kmod" >&2; exit 1; }

repo=$PWD
modules=$(ls -d /usr/lib/uml/modules/* | tail -n 1)
work=$(mktemp -d /tmp/norix-hfs.XXXXXX)
trap '[[ -n "${KEEP:-}" ]] || rm -rf "$work"' EXIT
mkdir -p "$work/mnt" "$work/dev" "$work/src"
export TZ=UTC LC_ALL=C.UTF-8

# Runs a shell script against the volume inside the user-mode kernel, which sees the
# host's files through hostfs and the image as its block device ubda.
in_uml() {  # image script
  cat > "$work/init" <<EOF
#!/bin/sh
export PATH=/usr/sbin:/usr/bin:/sbin:/bin
mount -t proc proc /proc
mount -t devtmpfs dev "$work/dev"
insmod "$modules/kernel/drivers/cdrom/cdrom.ko"
insmod "$modules/kernel/fs/nls/nls_utf8.ko"
insmod "$modules/kernel/fs/hfsplus/hfsplus.ko"
if mount -t hfsplus "$work/dev/ubda" "$work/mnt"; then
  cd "$work/mnt" && sh -e "$2" && cd / && sync && umount "$work/mnt" && touch "$work/ok"
fi
umount "$work/dev"
echo o > /proc/sysrq-trigger
sleep 60  # the power-off is asynchronous: init must not exit first
EOF
  chmod +x "$work/init"
  rm -f "$work/ok"
  (linux.uml mem=128M ubd0="$1" rootfstype=hostfs rootflags=/ rw quiet init="$work/init" \
    con=null con0=fd:0,fd:1 < /dev/null > "$work/uml.log" 2>&1) 2>/dev/null || true
  [[ -f "$work/ok" ]] || { cat "$work/uml.log" >&2; echo "the user-mode kernel step failed" >&2; exit 1; }
}

# Deterministic content: bytes seeded by the name, of the given size.
content() {  # local-file size seed
  python3 -c 'import random,sys; r=random.Random(sys.argv[2]); sys.stdout.buffer.write(r.randbytes(int(sys.argv[1])))' "$2" "$3" > "$1"
}

build() {  # name block-size journal-bytes
  local name=$1 bs=$2 img="$work/hfs-$1.img" src="$work/src/$1"
  local manifest="$work/hfs-$1.manifest" fill="$work/fill.sh" remove="$work/remove.sh"
  python3 tools/mkhfsplus.py format "$img" --size $((8 << 20)) --block-size "$bs" --name "Norix HFS" \
    ${3:+--journal "$3"}
  mkdir -p "$src"
  : > "$manifest"
  : > "$fill"
  put() {  # volume-path size [deleted intact]
    local local="$src/$(printf '%s' "$1" | sha256sum | cut -c1-16)"
    content "$local" "$2" "$1"
    printf 'cp "%s" "./%s"\n' "$local" "$1" >> "$fill"
    printf '%s\t%s\t%s\t%s\t%s\n' "$1" "$2" "$(sha256sum < "$local" | cut -d' ' -f1)" "${3:-0}" "${4:-1}" >> "$manifest"
  }
  echo 'mkdir -p "Photos/2024/Summer" "Photos/Café Crème" "Documents/Reports" "OldStuff/Inner" Fill' >> "$fill"
  put /Photos/2024/Summer/beach.jpg 14000
  put /Photos/2024/Summer/sunset.jpg 9000
  put /Photos/2024/big.jpg 70000
  put "/Photos/Café Crème/été à Paris.txt" 3000
  put /Documents/Reports/report.txt 5000
  put /Documents/empty.txt 0
  put "/Documents/old draft.txt" 6000 1 1
  put /deleted-note.txt 1500 1 1
  put /OldStuff/list.txt 700 1 1
  put /OldStuff/Inner/inside.txt 2500 1 1
  for i in $(seq -w 0 29); do
    if (( 10#$i % 2 )); then put "/Fill/filler-$i" "$bs" 1 0; else put "/Fill/filler-$i" "$bs"; fi
  done
  for i in $(seq -w 1 2 29); do echo "rm Fill/filler-$i" >> "$fill"; done
  put /fragmented.bin $((12 * bs + 100))
  in_uml "$img" "$fill"

  cp "$img" "$work/before.img"
  printf '%s\n' 'rm "Documents/old draft.txt" deleted-note.txt' 'rm -r OldStuff' > "$remove"
  in_uml "$img" "$remove"
  [[ -n "$3" ]] && python3 tools/mkhfsplus.py journal "$img" "$work/before.img"

  if command -v fls >/dev/null; then
    fls -r -p "$img" | grep -q 'fragmented.bin' || { echo "fls does not list the volume" >&2; exit 1; }
    icat "$img" "$(fls -r -p "$img" | awk -F'[ :\t]+' '/fragmented.bin/ {print $2}')" | sha256sum |
      grep -q "$(awk -F'\t' '$1 == "/fragmented.bin" {print $3}' "$manifest")" ||
      { echo "icat does not read fragmented.bin back" >&2; exit 1; }
  fi
  zstd -q -19 -f "$img" -o "$repo/tests/fixtures/hfs-$name.img.zst"
  cp "$manifest" "$repo/tests/fixtures/hfs-$name.manifest"
  echo "hfs-$name: $(wc -l < "$manifest") files"
}

build 4k 4096 $((512 << 10))
build 512 512 ""
