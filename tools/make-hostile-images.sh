#!/usr/bin/env bash
# Builds hostile images from the committed fixtures into OUT (argument 1): each a real
# volume with a few metadata fields overwritten the way a damaged or malicious disk
# has them, plus OUT/expected, one line per image: its name, the scans to run (Q, D,
# or Q^C: a quick scan stopped with Ctrl-C once the sweep after it has begun; separated
# by spaces) and a file name each scan must still list.
#   fat16-file-chain-loop       a file's cluster chain ends by pointing back to its start
#   fat16-outside-volume        a file starting at the last cluster number FAT16 allows,
#                               2^32-1 bytes long
#   fat32-root-chain-loop       the root folder's chain loops back onto itself
#   fat32-folder-contains-itself  a folder of the root whose entry points at the root
#   fat32-counts-max            2^32-1 sectors in the boot sector and its backup
#   exfat-chain-loops           the root folder's and a folder's FAT chains point back
#                               to their first cluster
#   exfat-counts-max            2^32-1 clusters, and a stream of 2^64-1 bytes starting
#                               past the volume (checksums kept right)
#   hfs-leaf-chain-loop         the last catalog leaf links forward to the first
#   hfs-counts-max              a catalog header claiming 2^32-1 nodes and leaf records
#   carved-claims               a JPEG and a TIFF whose first IFD links to itself, a ZIP
#                               whose local header claims 4 GiB, an MP3 behind an ID3 tag
#                               claiming 256 MiB, each on its own 512-byte unit
#   apfs-parent-loop            a folder inside its own subfolder's subfolder, another
#                               inside itself
#   apfs-index-loop             the file-system tree's root links to itself
#   apfs-outside-container      two tree nodes and two files' data placed past the container
#   apfs-counts-max             2^32-1 blocks, checkpoint blocks and volumes in the superblock,
#                               keys in a leaf, extended fields in an inode, blocks in an extent
#   sparse-1tib                 1 TiB of holes with the FAT16 volume in its last 32 MiB, the
#                               one partition of its MBR
# Needs: python3, zstd, coreutils, sfdisk (fdisk).
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:?usage: make-hostile-images.sh OUT}
mkdir -p "$out"

for name in fat16 exfat-scan-4k hfs-512; do zstd -q -d -f tests/fixtures/$name.img.zst -o "$out/$name.src"; done
zstd -q -d -f resources/sample-fat32.img.zst -o "$out/fat32.src"
zstd -q -d -f tests/fixtures/apfs.img.zst -o "$out/apfs.src"  # sparse: 2 MiB of its 1 GiB are data

python3 - "$out" <<'EOF'
import os, struct, subprocess, sys

out = sys.argv[1]
src = lambda name: bytearray(open(os.path.join(out, name + ".src"), "rb").read())
expected = []

def save(name, data, scans, listed):
    with open(os.path.join(out, name + ".img"), "wb") as f:
        f.write(data)
    expected.append(f"{name}.img\t{scans}\t{listed}")

u16 = lambda b, o: struct.unpack_from("<H", b, o)[0]
u32 = lambda b, o: struct.unpack_from("<I", b, o)[0]
u64 = lambda b, o: struct.unpack_from("<Q", b, o)[0]

# --- FAT ---------------------------------------------------------------------------
class Fat:
    def __init__(self, b):
        self.b = b
        self.bps, self.spc, self.rsvd, self.nfats = u16(b, 11), b[13], u16(b, 14), b[16]
        self.fat_sectors = u16(b, 22) or u32(b, 36)
        self.fat32 = u16(b, 22) == 0
        root_sectors = (u16(b, 17) * 32 + self.bps - 1) // self.bps
        self.root_at = (self.rsvd + self.nfats * self.fat_sectors) * self.bps
        self.data_at = self.root_at + root_sectors * self.bps

    def set_next(self, cluster, value):  # in every FAT copy
        width = 4 if self.fat32 else 2
        for copy in range(self.nfats):
            at = (self.rsvd + copy * self.fat_sectors) * self.bps + cluster * width
            struct.pack_into("<I" if self.fat32 else "<H", self.b, at, value)

    def next(self, cluster):
        at = self.rsvd * self.bps + cluster * (4 if self.fat32 else 2)
        return u32(self.b, at) & 0x0FFFFFFF if self.fat32 else u16(self.b, at)

    def chain(self, first):
        chain = [first]
        while len(chain) < 1 << 20 and 2 <= self.next(chain[-1]) < (0x0FFFFFF7 if self.fat32 else 0xFFF7):
            chain.append(self.next(chain[-1]))
        return chain

    def cluster_at(self, cluster):
        return self.data_at + (cluster - 2) * self.spc * self.bps

    def entries(self, at, count):  # short entries in use: (offset, name, attr, cluster, size)
        for i in range(count):
            e = at + 32 * i
            if self.b[e] == 0: return
            if self.b[e] == 0xE5 or self.b[e + 11] in (0x0F, 0x08) or self.b[e] == ord("."): continue
            yield e, bytes(self.b[e:e + 11]).decode("latin-1").strip(), self.b[e + 11], \
                (u16(self.b, e + 20) << 16) | u16(self.b, e + 26), u32(self.b, e + 28)

    def root_entries(self):
        if self.fat32:
            return self.entries(self.cluster_at(u32(self.b, 44)), self.spc * self.bps // 32)
        return self.entries(self.root_at, u16(self.b, 17))

fat = Fat(src("fat16"))
files = [e for e in fat.entries(fat.cluster_at(next(c for _, n, a, c, _ in fat.root_entries() if n.startswith("PHOTOS"))),
                                  fat.spc * fat.bps // 32) if not e[2] & 0x10]
# The first file of Photos that spans several clusters.
at, name, _, first, size = next(e for e in files if len(fat.chain(e[3])) > 1)
fat.set_next(fat.chain(first)[-1], first)
save("fat16-file-chain-loop", fat.b, "Q D", "q1.csv")

fat = Fat(src("fat16"))
at, name, _, first, size = next(e for e in fat.root_entries() if not e[2] & 0x10)
struct.pack_into("<HI", fat.b, at + 26, 0xFFF6, 0xFFFFFFFF)
save("fat16-outside-volume", fat.b, "Q D", "q1.csv")

fat = Fat(src("fat32"))
root = u32(fat.b, 44)
fat.set_next(fat.chain(root)[-1], root)
save("fat32-root-chain-loop", fat.b, "Q D", "readme.txt")

fat = Fat(src("fat32"))
at = next(e[0] for e in fat.root_entries() if e[2] & 0x10)
struct.pack_into("<H", fat.b, at + 20, root >> 16)
struct.pack_into("<H", fat.b, at + 26, root & 0xFFFF)
save("fat32-folder-contains-itself", fat.b, "Q D", "notes.txt")

fat = Fat(src("fat32"))
for sector in (0, 6):
    struct.pack_into("<I", fat.b, sector * fat.bps + 32, 0xFFFFFFFF)
save("fat32-counts-max", fat.b, "Q D", "File 1.png")  # carved: the volume is refused

# --- exFAT -------------------------------------------------------------------------
class ExFat:
    def __init__(self, b):
        self.b = b
        self.bps, self.bpc = 1 << b[108], 1 << (b[108] + b[109])
        self.fat_at, self.heap_at = u32(b, 80) * self.bps, u32(b, 88) * self.bps
        self.root = u32(b, 96)

    def cluster_at(self, cluster):
        return self.heap_at + (cluster - 2) * self.bpc

    def set_next(self, cluster, value):
        struct.pack_into("<I", self.b, self.fat_at + 4 * cluster, value)

    def sets(self, cluster):  # (file entry offset, stream entry offset) in one cluster
        at = self.cluster_at(cluster)
        for e in range(at, at + self.bpc, 32):
            if self.b[e] == 0x85 and self.b[e + 32] == 0xC0:
                yield e, e + 32

    def fix_set_checksum(self, e):
        count = self.b[e + 1] + 1
        checksum = 0
        for i in range(count * 32):
            if i in (2, 3): continue
            checksum = (((checksum << 15) | (checksum >> 1)) + self.b[e + i]) & 0xFFFF
        struct.pack_into("<H", self.b, e + 2, checksum)

    def fix_boot_checksum(self):
        checksum = 0
        for i in range(11 * self.bps):
            if i in (106, 107, 112): continue
            checksum = (((checksum << 31) | (checksum >> 1)) + self.b[i]) & 0xFFFFFFFF
        self.b[11 * self.bps:12 * self.bps] = struct.pack("<I", checksum) * (self.bps // 4)

ex = ExFat(src("exfat-scan-4k"))
ex.set_next(ex.root, ex.root)
folders = [s for f, s in ex.sets(ex.root) if ex.b[f + 4] & 0x10 and not ex.b[s + 1] & 2]
if folders:
    ex.set_next(u32(ex.b, folders[0] + 20), u32(ex.b, folders[0] + 20))
save("exfat-chain-loops", ex.b, "Q D", "root note 27.txt")

ex = ExFat(src("exfat-scan-4k"))
struct.pack_into("<I", ex.b, 92, 0xFFFFFFFF)
ex.fix_boot_checksum()
file, stream = next((f, s) for f, s in ex.sets(ex.root) if not ex.b[f + 4] & 0x10)
struct.pack_into("<IQQ", ex.b, stream + 20, 0xFFFFFFF0, 0xFFFFFFFFFFFFFFFF, 0xFFFFFFFFFFFFFFFF)
struct.pack_into("<Q", ex.b, stream + 8, 0xFFFFFFFFFFFFFFFF)
ex.fix_set_checksum(file)
save("exfat-counts-max", ex.b, "Q D", "root note 27.txt")

# --- HFS+ --------------------------------------------------------------------------
class Hfs:
    def __init__(self, b):
        self.b = b
        block = struct.unpack_from(">I", b, 1024 + 40)[0]
        start = struct.unpack_from(">I", b, 1024 + 272 + 16)[0]
        self.catalog = start * block
        self.node_size = struct.unpack_from(">H", b, self.catalog + 14 + 18)[0]

    def header(self, offset):
        return self.catalog + 14 + offset

    def node(self, number):
        return self.catalog + number * self.node_size

hfs = Hfs(src("hfs-512"))
first, last = struct.unpack_from(">II", hfs.b, hfs.header(10))
struct.pack_into(">I", hfs.b, hfs.node(last), first)
save("hfs-leaf-chain-loop", hfs.b, "Q D", "report.txt")

hfs = Hfs(src("hfs-512"))
struct.pack_into(">I", hfs.b, hfs.header(6), 0xFFFFFFFF)   # leaf records
struct.pack_into(">I", hfs.b, hfs.header(22), 0xFFFFFFFF)  # total nodes
save("hfs-counts-max", hfs.b, "Q D", "report.txt")

# --- APFS --------------------------------------------------------------------------
# The container is 1 GiB of mostly holes: each image is a sparse copy changed block by
# block, every changed object given its Fletcher-64 checksum again so it is still taken.
class Apfs:
    def __init__(self, name):
        self.path = os.path.join(out, name + ".img")
        subprocess.run(["cp", "--sparse=always", os.path.join(out, "apfs.src"), self.path], check=True)
        self.f = open(self.path, "r+b")
        sb = self.block(0)
        self.block_count = u64(sb, 40)
        omap = self.block(u64(sb, 160))
        volume = self.block(self.omap(u64(omap, 48), u64(sb, 184))[0])
        self.volume_omap = u64(self.block(u64(volume, 128)), 48)
        self.root = self.omap(self.volume_omap, u64(volume, 136))[0]

    def block(self, n):
        self.f.seek(n * 4096)
        return bytearray(self.f.read(4096))

    def put(self, n, b):  # the block with its checksum recomputed
        sum1 = sum2 = 0
        for (word,) in struct.iter_unpack("<I", b[8:]):
            sum1 = (sum1 + word) % 0xFFFFFFFF
            sum2 = (sum2 + sum1) % 0xFFFFFFFF
        check1 = 0xFFFFFFFF - (sum1 + sum2) % 0xFFFFFFFF
        check2 = 0xFFFFFFFF - (sum1 + check1) % 0xFFFFFFFF
        struct.pack_into("<II", b, 0, check1, check2)
        self.f.seek(n * 4096)
        self.f.write(b)

    @staticmethod
    def entries(b):  # (key offset, value offset) of each entry of a B-tree node
        flags, toc_at, toc_len = u16(b, 32), u16(b, 40), u16(b, 42)
        keys, values = 56 + toc_at + toc_len, 4096 - (40 if flags & 1 else 0)
        for i in range(u32(b, 36)):
            if flags & 4:
                k, v = struct.unpack_from("<HH", b, 56 + toc_at + 4 * i)
            else:
                k, _, v, _ = struct.unpack_from("<HHHH", b, 56 + toc_at + 8 * i)
            yield keys + k, values - v

    def omap(self, tree, oid):  # (block, offset of the physical address) of a virtual object
        for _ in range(8):
            b = self.block(tree)
            k, v = [(k, v) for k, v in self.entries(b) if u64(b, k) <= oid][-1]
            if u16(b, 34) == 0:
                return u64(b, v + 8), (tree, v + 8)
            tree = u64(b, v)

    def leaves(self):  # physical blocks of the file-system tree's leaves (two levels)
        root = self.block(self.root)
        return [self.omap(self.volume_omap, u64(root, v))[0] for _, v in self.entries(root)]

    def record(self, kind, oid):  # (block, key offset, value offset) of a leaf record
        for n in self.leaves():
            b = self.block(n)
            for k, v in self.entries(b):
                if u64(b, k) == (kind << 60 | oid):
                    return n, k, v

    def change(self, n, fmt, at, *values):
        b = self.block(n)
        struct.pack_into(fmt, b, at, *values)
        self.put(n, b)

    def save(self, scans, listed):
        self.f.close()
        expected.append(f"{os.path.basename(self.path)}\t{scans}\t{listed}")

INODE, EXTENT = 3, 8
PHOTOS, SUMMER, REPORTS, BEACH, REPORT = 16, 18, 21, 25, 29

ap = Apfs("apfs-parent-loop")  # Photos inside Summer inside 2024 inside Photos; Reports in itself
for folder, parent in ((PHOTOS, SUMMER), (REPORTS, REPORTS)):
    n, _, v = ap.record(INODE, folder)
    ap.change(n, "<Q", v, parent)
ap.save("Q^C D", "beach.jpg")

ap = Apfs("apfs-index-loop")  # the tree's root links to itself in place of its first child
ap.change(ap.root, "<Q", list(ap.entries(ap.block(ap.root)))[0][1], u64(ap.block(ap.root), 8))
ap.save("Q^C D", "fragmented.bin")

ap = Apfs("apfs-outside-container")  # two tree nodes and two files' data past the end
root = ap.block(ap.root)
for (_, v), place in zip(list(ap.entries(root))[-3:-1], (ap.block_count, 0xFFFFFFFFFFFFF000)):
    block, (n, at) = ap.omap(ap.volume_omap, u64(root, v))
    ap.change(n, "<Q", at, place)
for file, place in ((BEACH, 1 << 60), (REPORT, ap.block_count + 1)):
    n, _, v = ap.record(EXTENT, file)
    ap.change(n, "<Q", v + 8, place)
ap.save("Q^C D", "sunset.jpg")  # beside beach.jpg, which has no data left to list

ap = Apfs("apfs-counts-max")  # 2^32-1 blocks, checkpoint blocks, volumes, keys and fields
ap.change(0, "<Q", 40, 0xFFFFFFFF)
ap.change(0, "<I", 104, 0xFFFFFFFF)
ap.change(0, "<I", 180, 0xFFFFFFFF)
ap.change(ap.leaves()[-1], "<I", 36, 0xFFFFFFFF)
n, _, v = ap.record(INODE, SUMMER)
ap.change(n, "<H", v + 92, 0xFFFF)
n, _, v = ap.record(EXTENT, BEACH)
ap.change(n, "<Q", v, 0xFFFFFFFF * 4096)
ap.save("Q^C D", "report.txt")

# --- carved files ------------------------------------------------------------------
def ifd_loop(data, tiff):
    order = "<" if data[tiff:tiff + 2] == b"II" else ">"
    ifd = tiff + struct.unpack_from(order + "I", data, tiff + 4)[0]
    count = struct.unpack_from(order + "H", data, ifd)[0]
    struct.pack_into(order + "I", data, ifd + 2 + 12 * count, ifd - tiff)
    return data

def unit(data):
    return bytes(data) + bytes(-len(data) % 512)

read = lambda path: bytearray(open(path, "rb").read())
jpeg = read("tests/fixtures/tags/exif-le.jpg")
tiff = read("tests/fixtures/signatures/raw-pentax-2ifd.tif")
zip_ = read("tests/fixtures/signatures/archive.zip")
struct.pack_into("<II", zip_, 18, 0xFFFFFFF0, 0xFFFFFFF0)  # compressed and full sizes
mp3 = b"ID3\x03\x00\x00\x7f\x7f\x7f\x7f" + read("tests/fixtures/signatures/tone.mp3")
image = bytes(512 * 4) + unit(ifd_loop(jpeg, jpeg.find(b"Exif\0\0") + 6)) + unit(ifd_loop(tiff, 0)) + unit(zip_) + \
    unit(mp3) + bytes(512 * 4)
save("carved-claims", bytearray(image), "D", "File 1.jpg")

with open(os.path.join(out, "expected"), "w") as f:
    f.write("\n".join(expected + ["sparse-1tib.img\tQ^C\tq1.csv"]) + "\n")
EOF

# 1 TiB of holes ending in the FAT16 volume, which the one entry of its MBR points at.
rm -f "$out/sparse-1tib.img"
truncate -s 1T "$out/sparse-1tib.img"
start=$(((1 << 31) - (1 << 16)))  # in 512-byte sectors: 32 MiB before the end
printf "label: dos\nlabel-id: 0x4e6f7269\nstart=%d, size=%d, type=6\n" $start $((1 << 16)) | sfdisk -q "$out/sparse-1tib.img"
dd if="$out/fat16.src" of="$out/sparse-1tib.img" bs=1M seek=$((start * 512)) oflag=seek_bytes conv=notrunc,sparse status=none
rm -f "$out"/*.src
