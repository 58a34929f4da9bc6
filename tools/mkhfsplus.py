#!/usr/bin/env python3
"""Writes an empty HFS+ volume, and adds a journal of stale catalog nodes to one.

Debian has no HFS+ formatter, so the HFS+ fixtures start here and are then filled by
the Linux kernel's own hfsplus driver (tools/make-hfs-fixture.sh). Everything follows
the public volume-format description; all fields are big-endian except the journal's,
which an Intel Mac writes little-endian.

  mkhfsplus.py format IMAGE --size BYTES --block-size N [--name NAME] [--journal BYTES]
      An empty volume: boot blocks, volume header at byte 1024 and its copy 1024 bytes
      before the end, the allocation bitmap, an empty extents-overflow B-tree, and a
      catalog holding the root folder and its thread record. With --journal, a journal
      info block and an empty journal area are reserved (the volume is not marked
      journaled: the kernel driver then writes to it).

  mkhfsplus.py journal IMAGE OLD_IMAGE
      Copies every catalog leaf node of OLD_IMAGE (the same volume before some change)
      that differs from IMAGE's into IMAGE's journal area, as one transaction that has
      been written to its home blocks (the journal header says the journal is empty,
      the transaction's bytes remain), and marks IMAGE journaled. This is what a Mac
      leaves behind after deleting files: the older catalog nodes in the journal.
"""
import argparse
import struct
import sys

SIGNATURE = 0x482B  # "H+"
VERSION = 4
ATTR_UNMOUNTED = 1 << 8
ATTR_JOURNALED = 1 << 13
HFS_EPOCH_2024 = 3786912000  # 2024-01-01 00:00:00 UTC in seconds since 1904
ROOT_PARENT, ROOT_FOLDER, FIRST_USER_ID = 1, 2, 16
CATALOG_NODE, EXTENTS_NODE = 8192, 4096
JOURNAL_MAGIC, JOURNAL_ENDIAN = 0x4A4E4C78, 0x12345678
JOURNAL_HEADER_SIZE = 4096  # also the block list header size: aligned for 4 KiB sectors

# Volume header offsets.
VH_ATTRIBUTES, VH_JOURNAL_INFO_BLOCK, VH_BLOCK_SIZE = 4, 12, 40
VH_FORKS = {"allocation": 112, "extents": 192, "catalog": 272, "attributes": 352, "startup": 432}


def fork_data(logical_size, clump, start, blocks):
    """An 80-byte fork: sizes, then 8 extents of which the first holds the whole fork."""
    extents = struct.pack(">II", start, blocks) + bytes(56)
    return struct.pack(">QII", logical_size, clump, blocks) + extents


def node_descriptor(flink, blink, kind, height, records):
    return struct.pack(">IIbBHH", flink, blink, kind, height, records, 0)


def finish_node(size, descriptor, records):
    """A node from its descriptor and records, with the offset table at its end."""
    node = bytearray(size)
    node[:len(descriptor)] = descriptor
    offsets, at = [], len(descriptor)
    for record in records:
        offsets.append(at)
        node[at:at + len(record)] = record
        at += len(record)
    offsets.append(at)  # where the free space starts
    for i, offset in enumerate(offsets):
        struct.pack_into(">H", node, size - 2 * (i + 1), offset)
    return bytes(node)


def header_node(node_size, depth, root, leaf_records, first_leaf, last_leaf, max_key, total_nodes,
                used_nodes, clump, attributes):
    header = struct.pack(">HIIIIHHIIHIBBI", depth, root, leaf_records, first_leaf, last_leaf, node_size,
                         max_key, total_nodes, total_nodes - used_nodes, 0, clump, 0, 0, attributes)
    header += bytes(106 - len(header))
    user_data = bytes(128)
    node_map = bytearray(node_size - 14 - 106 - 128 - 8)
    for n in range(used_nodes):
        node_map[n // 8] |= 0x80 >> (n % 8)
    return finish_node(node_size, node_descriptor(0, 0, 1, 0, 3), [header, user_data, bytes(node_map)])


def unicode_name(text):
    units = text.encode("utf-16-be")
    return struct.pack(">H", len(units) // 2) + units


def catalog_key(parent_id, name):
    body = struct.pack(">I", parent_id) + unicode_name(name)
    return struct.pack(">H", len(body)) + body


def root_leaf(name):
    dates = struct.pack(">5I", *([HFS_EPOCH_2024] * 5))
    permissions = struct.pack(">IIBBHI", 0, 0, 0, 0, 0o40755, 0)
    folder = struct.pack(">hHII", 1, 0, 0, ROOT_FOLDER) + dates + permissions + bytes(32) + bytes(8)
    thread = struct.pack(">hhI", 3, 0, ROOT_PARENT) + unicode_name(name)
    records = [catalog_key(ROOT_PARENT, name) + folder, catalog_key(ROOT_FOLDER, "") + thread]
    return finish_node(CATALOG_NODE, node_descriptor(0, 0, -1, 1, 2), records)


def round_up(value, unit):
    return (value + unit - 1) // unit * unit


def format_volume(args):
    size, bs = args.size, args.block_size
    if bs < 512 or bs & (bs - 1) or size % bs:
        sys.exit("the block size must be a power of two of at least 512 that divides the size")
    total = size // bs
    used = [False] * total

    def take(nbytes):
        blocks = round_up(nbytes, bs) // bs
        start = next(i for i in range(total) if not any(used[i:i + blocks]))
        for i in range(start, start + blocks):
            used[i] = True
        return start, blocks

    take(1536)  # boot blocks and the volume header
    for i in range((size - 1024) // bs, total):  # the alternate header and the last 512 bytes
        used[i] = True
    bitmap_start, bitmap_blocks = take(round_up(total, 8) // 8)
    extents_nodes = max(8, round_up(16 * EXTENTS_NODE, bs) // EXTENTS_NODE)
    extents_start, extents_blocks = take(extents_nodes * EXTENTS_NODE)
    catalog_nodes = 256
    catalog_start, catalog_blocks = take(catalog_nodes * CATALOG_NODE)
    journal_info = journal_start = 0
    if args.journal:
        journal_info, _ = take(bs)
        journal_start, _ = take(args.journal)
    free = used.count(False)
    next_allocation = max(i for i in range(total) if used[i] and i < (size - 1024) // bs) + 1

    image = bytearray(size)
    bitmap = bytearray(bitmap_blocks * bs)
    for i, taken in enumerate(used):
        if taken:
            bitmap[i // 8] |= 0x80 >> (i % 8)
    image[bitmap_start * bs:bitmap_start * bs + len(bitmap)] = bitmap
    image[extents_start * bs:extents_start * bs + EXTENTS_NODE] = header_node(
        EXTENTS_NODE, 0, 0, 0, 0, 0, 10, extents_nodes, 1, extents_blocks * bs, 2)
    catalog = catalog_start * bs
    image[catalog:catalog + CATALOG_NODE] = header_node(
        CATALOG_NODE, 1, 1, 2, 1, 1, 516, catalog_nodes, 2, catalog_blocks * bs, 6)
    image[catalog + CATALOG_NODE:catalog + 2 * CATALOG_NODE] = root_leaf(args.name)
    if args.journal:
        info = struct.pack(">I", 1) + bytes(32) + struct.pack(">QQ", journal_start * bs, args.journal)
        image[journal_info * bs:journal_info * bs + len(info)] = info
        write_journal_header(image, journal_start * bs, args.journal, JOURNAL_HEADER_SIZE)

    header = struct.pack(">HHI4sI", SIGNATURE, VERSION, ATTR_UNMOUNTED, b"10.0", journal_info)
    header += struct.pack(">4I", *([HFS_EPOCH_2024] * 4))
    # Clumps of one block: the driver then packs files with no preallocated gaps between
    # them, so freed files leave holes as small as they were.
    header += struct.pack(">IIIIIIIIIIQ", 0, 0, bs, total, free, next_allocation, bs, bs, FIRST_USER_ID, 1, 1)
    header += bytes(32)  # Finder information
    header += fork_data(len(bitmap), bitmap_blocks * bs, bitmap_start, bitmap_blocks)
    header += fork_data(extents_blocks * bs, extents_blocks * bs, extents_start, extents_blocks)
    header += fork_data(catalog_blocks * bs, catalog_blocks * bs, catalog_start, catalog_blocks)
    header += bytes(80) * 2  # no attributes file, no startup file
    assert len(header) == 512
    image[1024:1536] = header
    image[size - 1024:size - 512] = header
    with open(args.image, "wb") as out:
        out.write(image)


def journal_checksum(data):
    checksum = 0
    for byte in data:
        checksum = ((checksum << 8) ^ (checksum + byte)) & 0xFFFFFFFF
    return ~checksum & 0xFFFFFFFF


def write_journal_header(image, offset, size, position):
    """An empty journal (start = end = position) of the given size."""
    fields = struct.pack("<IIQQQIII", JOURNAL_MAGIC, JOURNAL_ENDIAN, position, position, size,
                         JOURNAL_HEADER_SIZE, 0, JOURNAL_HEADER_SIZE)
    checksum = journal_checksum(fields)
    fields = fields[:36] + struct.pack("<I", checksum) + fields[40:]
    image[offset:offset + len(fields)] = fields


def volume_geometry(image):
    bs = struct.unpack_from(">I", image, 1024 + VH_BLOCK_SIZE)[0]
    fork = 1024 + VH_FORKS["catalog"]
    extents = [struct.unpack_from(">II", image, fork + 16 + 8 * i) for i in range(8)]
    return bs, [(start * bs, count * bs) for start, count in extents if count]


def catalog_nodes(image):
    """(byte offset on the volume, bytes) of each catalog node, in node order."""
    bs, runs = volume_geometry(image)
    node_size = struct.unpack_from(">H", image, runs[0][0] + 14 + 18)[0]
    for start, length in runs:
        for at in range(start, start + length, node_size):
            yield at, bytes(image[at:at + node_size])


def add_journal(args):
    image = bytearray(open(args.image, "rb").read())
    old = open(args.old_image, "rb").read()
    info_block = struct.unpack_from(">I", image, 1024 + VH_JOURNAL_INFO_BLOCK)[0]
    if not info_block:
        sys.exit("the volume has no journal area (format it with --journal)")
    bs = struct.unpack_from(">I", image, 1024 + VH_BLOCK_SIZE)[0]
    journal_offset, journal_size = struct.unpack_from(">QQ", image, info_block * bs + 36)
    current = dict(catalog_nodes(image))
    stale = [(at, node) for at, node in catalog_nodes(old)
             if node[8] == 0xFF and node != current.get(at)]
    if not stale:
        sys.exit("no catalog leaf node changed")
    # One transaction: the block list header, then the node copies.
    node_bytes = sum(len(node) for _, node in stale)
    start = JOURNAL_HEADER_SIZE
    end = start + JOURNAL_HEADER_SIZE + node_bytes
    if end > journal_size:
        sys.exit("the journal area is too small for %d nodes" % len(stale))
    blocks = struct.pack("<QII", 0, 0, 0)  # entry 0 is the list's own
    for at, node in stale:
        blocks += struct.pack("<QII", at // 512, len(node), 0)
    list_header = struct.pack("<HHII", (JOURNAL_HEADER_SIZE - 16) // 16, len(stale) + 1,
                              JOURNAL_HEADER_SIZE + node_bytes, 0) + bytes(4) + blocks
    checksum = journal_checksum(list_header[:32])
    list_header = list_header[:8] + struct.pack("<I", checksum) + list_header[12:]
    transaction = list_header + bytes(JOURNAL_HEADER_SIZE - len(list_header))
    transaction += b"".join(node for _, node in stale)
    base = journal_offset + start
    image[base:base + len(transaction)] = transaction
    write_journal_header(image, journal_offset, journal_size, end)  # written home: empty again
    for header in (1024, len(image) - 1024):
        attributes = struct.unpack_from(">I", image, header + VH_ATTRIBUTES)[0]
        struct.pack_into(">I", image, header + VH_ATTRIBUTES, attributes | ATTR_JOURNALED)
    with open(args.image, "wb") as out:
        out.write(image)
    print("%d stale catalog leaf nodes copied into the journal" % len(stale))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    commands = parser.add_subparsers(dest="command", required=True)
    fmt = commands.add_parser("format")
    fmt.add_argument("image")
    fmt.add_argument("--size", type=int, required=True)
    fmt.add_argument("--block-size", type=int, required=True)
    fmt.add_argument("--name", default="Untitled")
    fmt.add_argument("--journal", type=int, default=0)
    journal = commands.add_parser("journal")
    journal.add_argument("image")
    journal.add_argument("old_image")
    args = parser.parse_args()
    format_volume(args) if args.command == "format" else add_journal(args)


if __name__ == "__main__":
    main()
