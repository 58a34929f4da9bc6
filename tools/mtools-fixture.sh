# Sourced by the FAT fixture builders (mkfs.fat and mtools, no mount, no root): a scratch
# folder ($work) removed on exit, and put(), which writes a file of deterministic content
# into the volume $img (the caller's) and records it in $manifest: path, size, SHA-256,
# deleted (0/1) and whether its clusters are still intact (0/1), tab-separated.
export MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Random bytes seeded by the name, of the given size; a builder may define its own.
content() {  # file size seed
  python3 -c 'import random,sys; r=random.Random(sys.argv[2]); sys.stdout.buffer.write(r.randbytes(int(sys.argv[1])))' "$2" "$3" > "$1"
}
put() {  # volume-path size [deleted intact]
  local local="$work/f$RANDOM$RANDOM"
  content "$local" "$2" "$1"
  mcopy -i "$img" "$local" "::$1"
  printf '%s\t%s\t%s\t%s\t%s\n' "$1" "$(stat -c %s "$local")" "$(sha256sum < "$local" | cut -d' ' -f1)" \
    "${3:-0}" "${4:-1}" >> "$manifest"
}
