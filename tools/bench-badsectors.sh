#!/usr/bin/env bash
# Times a deep scan through the bad-sector FUSE device (tools/badsectors-fuse.cpp):
# the image file itself, the image served with no bad sectors, and served with 1,000
# scattered unreadable sectors, so the cost of reading past them shows apart from the
# cost of FUSE. Needs root (or FUSE rights) and a build with norix and norix_badsectors.
#   bench-badsectors.sh BUILD_DIR [IMAGE]   (default image: make-deepscan-bench-image.sh)
set -euo pipefail
build=$(realpath "${1:?usage: bench-badsectors.sh BUILD_DIR [IMAGE]}")
cd "$(dirname "$0")/.."
work=$(mktemp -d)
mnt="$work/mnt"
helper=""
cleanup() {
  mountpoint -q "$mnt" && fusermount3 -u -z "$mnt"
  [[ -n "$helper" ]] && kill "$helper" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$mnt" "$work/home"
image=${2:-}
if [[ -z "$image" ]]; then
  image="$work/bench.img"
  tools/make-deepscan-bench-image.sh "$image" >/dev/null
fi
image=$(realpath "$image")
bytes=$(stat -c %s "$image")
: >"$work/none"
# 1,000 distinct sectors of 512 bytes, spread over the image by a fixed seed.
python3 -c "
import random, sys
rnd = random.Random(21)
for s in sorted(rnd.sample(range($bytes // 512), 1000)): print(s * 512, 512)" >"$work/scattered"

# Seconds for a deep scan of $1; its stderr is kept in $work/err.
deepScan() {
  local start end
  start=$(date +%s.%N)
  HOME="$work/home" XDG_DATA_HOME="$work/home" ASAN_OPTIONS=detect_leaks=0 \
    "$build/cli/norix" scan "$1" --type D --json >/dev/null 2>"$work/err" || true
  end=$(date +%s.%N)
  awk "BEGIN { printf \"%.2f\", $end - $start }"
}
served() {
  "$build/tools/norix_badsectors" "$image" "$1" "$mnt" &
  helper=$!
  for _ in $(seq 100); do [[ -f "$mnt/$(basename "$image")" ]] && break; sleep 0.1; done
  deepScan "$mnt/$(basename "$image")"
  fusermount3 -u "$mnt"
  wait "$helper" || true
  helper=""
}

cat "$image" >/dev/null  # into the page cache
printf 'image                         %d MiB\n' $((bytes >> 20))
printf 'deep scan, image file         %s s\n' "$(deepScan "$image")"
printf 'deep scan, served, no bad     %s s\n' "$(served "$work/none")"
printf 'deep scan, 1000 bad sectors   %s s\n' "$(served "$work/scattered")"
listed=$(grep -o 'unreadable sectors .*' "$work/err" | tr ',' '\n' | wc -l)
printf 'unreadable ranges listed      %d\n' "$listed"
