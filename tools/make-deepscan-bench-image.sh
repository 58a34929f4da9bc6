#!/usr/bin/env bash
# Builds the deep-scan benchmark image: 1 GiB (or MIB mebibytes) of mixed background (zeros, text and
# pseudo-random bytes in 1 MiB stretches) with real sample files (the tag samples and
# the sample volume's pictures) written at sector boundaries over about half of it
# when "half" is given, or a few hundred of them otherwise.
#   make-deepscan-bench-image.sh OUT.img [half|few] [MIB]
set -euo pipefail
out=${1:?usage: make-deepscan-bench-image.sh OUT.img [half|few] [MIB]}
mode=${2:-few}
mib=${3:-1024}
cd "$(dirname "$0")/.."
python3 - "$out" "$mode" "$mib" <<'PY'
import glob, random, sys
out, mode = sys.argv[1], sys.argv[2]
size = int(sys.argv[3]) << 20
rnd = random.Random(7)
words = b"the quick brown fox jumps over the lazy dog recovery sector cluster folder "
with open(out, "wb") as f:
    for mib in range(size >> 20):
        kind = mib % 3
        if kind == 0:
            f.write(bytes(1 << 20))
        elif kind == 1:
            f.write((words * ((1 << 20) // len(words) + 1))[: 1 << 20])
        else:
            f.write(rnd.randbytes(1 << 20))
samples = [open(p, "rb").read() for p in sorted(glob.glob("tests/fixtures/tags/*"))]
samples = [s for s in samples if s]
target = size // 2 if mode == "half" else 0
placed, count, position = 0, 0, 4096
with open(out, "r+b") as f:
    while position < size - (1 << 20):
        sample = samples[count % len(samples)]
        f.seek(position)
        f.write(sample)
        placed += len(sample)
        count += 1
        if mode != "half" and count >= 300:
            break
        gap = 512 * rnd.randint(1, 64) if mode == "half" else size // 300
        position = (position + len(sample) + gap + 511) // 512 * 512
print(f"{out}: {count} files, {placed >> 20} MiB of them")
PY
