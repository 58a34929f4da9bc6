#!/usr/bin/env python3
"""Writes small TIFF-based camera raw files laid out as the makers lay them out, from the
public TIFF 6.0 description (8-byte header, IFDs of 12-byte entries with a next-IFD link,
SubIFDs tag 330, NewSubfileType 0xFE, JPEGInterchangeFormat 0x201/0x202, strips
0x111/0x117, tiles 324/325, Exif IFD 34665 and MakerNote 37500) and Olympus's maker
note ("OLYMPUS\\0II\\3\\0", then an IFD whose offsets count from the note's start; its
camera-settings IFD 0x2020 holds PreviewImageStart 0x101 and PreviewImageLength 0x102).

    mkrawtiff.py PREVIEW.jpg OUTDIR

Image data is a short counting pattern; the preview is the real JPEG given. Each file is
written data first and IFDs last, children before parents, so by construction its size
is its length (the end of its first IFD) and nothing trails it. Prints one line per file:
name, size, preview offset, preview length.
"""
import struct
import sys

BYTE, ASCII, SHORT, LONG, UNDEFINED = 1, 2, 3, 4, 7


class Tiff:
    def __init__(self, order, magic=42):
        self.e = "<" if order == "II" else ">"
        self.out = bytearray(order.encode() + struct.pack(self.e + "HI", magic, 0))

    def place(self, data):
        if len(self.out) & 1:
            self.out += b"\0"
        at = len(self.out)
        self.out += data
        return at

    def pack(self, kind, values):
        fmt = {BYTE: "B", SHORT: "H", LONG: "I"}[kind]
        return b"".join(struct.pack(self.e + fmt, v) for v in values)

    def ifd(self, entries, next_ifd=0):
        """entries: (tag, type, values) with values a list of ints, or bytes/str for
        ASCII and UNDEFINED. Values longer than four bytes are placed just before the IFD."""
        fields = []
        for tag, kind, values in sorted(entries, key=lambda entry: entry[0]):
            if isinstance(values, str):
                values = values.encode() + b"\0"
            data = values if isinstance(values, bytes) else self.pack(kind, values)
            count = len(values)
            field = data.ljust(4, b"\0") if len(data) <= 4 else struct.pack(self.e + "I", self.place(data))
            fields.append(struct.pack(self.e + "HHI", tag, kind, count) + field)
        table = struct.pack(self.e + "H", len(fields)) + b"".join(fields) + struct.pack(self.e + "I", next_ifd)
        return self.place(table)

    def finish(self, first_ifd):
        struct.pack_into(self.e + "I", self.out, 4, first_ifd)
        return bytes(self.out)


def pattern(length, seed):
    return bytes((seed + i * 7) & 0xFF for i in range(length))


RAW = 4096


def arw(jpeg, a100):
    t = Tiff("II")
    preview = t.place(jpeg)
    raw = t.place(pattern(RAW, 1))
    data = [(0xFE, LONG, [0]), (0x111, LONG, [raw]), (0x117, LONG, [RAW])]
    model = "DSLR-A100" if a100 else "DSLR-A700"
    head = [(0xFE, LONG, [1]), (0x10F, ASCII, "SONY"), (0x110, ASCII, model),
            (0x201, LONG, [preview]), (0x202, LONG, [len(jpeg)])]
    if a100:  # the raw data in the second IFD of the chain
        first = t.ifd(head, next_ifd=t.ifd(data))
    else:  # the raw data in a SubIFD
        first = t.ifd(head + [(330, LONG, [t.ifd(data)])])
    return t.finish(first), preview


def pef(jpeg):
    t = Tiff("MM")
    raw = t.place(pattern(RAW, 3))
    thumb = t.place(jpeg[:600])
    preview = t.place(jpeg)
    ifd2 = t.ifd([(0xFE, LONG, [1]), (0x201, LONG, [preview]), (0x202, LONG, [len(jpeg)])])
    ifd1 = t.ifd([(0xFE, LONG, [1]), (0x201, LONG, [thumb]), (0x202, LONG, [600])], next_ifd=ifd2)
    first = t.ifd([(0x10F, ASCII, "PENTAX Corporation"), (0x110, ASCII, "PENTAX K10D"),
                   (0x111, LONG, [raw]), (0x117, LONG, [RAW])], next_ifd=ifd1)
    return t.finish(first), preview


def sr2(jpeg):
    t = Tiff("II")
    preview = t.place(jpeg)
    raw = t.place(pattern(RAW, 4))
    sub = t.ifd([(0x111, LONG, [raw]), (0x117, LONG, [RAW])])
    first = t.ifd([(0x10F, ASCII, "SONY"), (0x110, ASCII, "DSC-R1"), (0x201, LONG, [preview]),
                   (0x202, LONG, [len(jpeg)]), (330, LONG, [sub])])
    return t.finish(first), preview


def reduced_jpeg_then_strips(jpeg, make, model, strips):
    """IFD0: a JPEG-compressed reduced-resolution strip; SubIFD: the raw data in strips."""
    t = Tiff("II")
    preview = t.place(jpeg)
    runs = [t.place(pattern(RAW, 5 + i)) for i in range(strips)]
    sub = t.ifd([(0xFE, LONG, [0]), (0x111, LONG, runs), (0x117, LONG, [RAW] * strips)])
    first = t.ifd([(0xFE, LONG, [1]), (0x10F, ASCII, make), (0x110, ASCII, model), (0x103, SHORT, [7]),
                   (0x111, LONG, [preview]), (0x117, LONG, [len(jpeg)]), (330, LONG, [sub])])
    return t.finish(first), preview


def kdc(jpeg):
    t = Tiff("II")
    preview = t.place(jpeg)
    tiles = [t.place(pattern(RAW, 9 + i)) for i in range(4)]
    first = t.ifd([(0x10F, ASCII, "EASTMAN KODAK COMPANY"), (0x110, ASCII, "Kodak DC120 ZOOM Digital Camera"),
                   (0x201, LONG, [preview]), (0x202, LONG, [len(jpeg)]), (322, SHORT, [16]), (323, SHORT, [16]),
                   (324, LONG, tiles), (325, LONG, [RAW] * 4)])
    return t.finish(first), preview


def orf(jpeg):
    t = Tiff("II", magic=0x4F52)  # "IIRO"
    # The maker note, its offsets counted from its own start.
    header = b"OLYMPUS\0II\x03\x00"
    settings_at = 12 + 2 + 12 + 4
    preview_rel = settings_at + 2 + 2 * 12 + 4
    note = bytearray(header)
    note += struct.pack("<HHHII", 1, 0x2020, 13, 1, settings_at) + struct.pack("<I", 0)
    note += struct.pack("<H", 2) + struct.pack("<HHII", 0x101, LONG, 1, preview_rel)
    note += struct.pack("<HHII", 0x102, LONG, 1, len(jpeg)) + struct.pack("<I", 0)
    note += jpeg
    note_at = t.place(bytes(note))
    raw = t.place(pattern(RAW, 13))
    exif = t.place(struct.pack("<H", 1) + struct.pack("<HHII", 37500, UNDEFINED, len(note), note_at) +
                   struct.pack("<I", 0))
    first = t.ifd([(0x10F, ASCII, "OLYMPUS IMAGING CORP."), (0x110, ASCII, "E-M5"),
                   (0x111, LONG, [raw]), (0x117, LONG, [RAW]), (34665, LONG, [exif])])
    return t.finish(first), note_at + preview_rel


def main():
    jpeg = open(sys.argv[1], "rb").read()
    outdir = sys.argv[2]
    samples = {
        "sony.arw": arw(jpeg, False),
        "sony-a100.arw": arw(jpeg, True),
        "pentax.pef": pef(jpeg),
        "sony-r1.sr2": sr2(jpeg),
        "kodak.dcr": reduced_jpeg_then_strips(jpeg, "Kodak", "DCS Pro 14N", 3),
        "hasselblad.3fr": reduced_jpeg_then_strips(jpeg, "Hasselblad", "CFV-50c", 1),
        "kodak.kdc": kdc(jpeg),
        "olympus.orf": orf(jpeg),
    }
    for name, (data, preview) in samples.items():
        open(f"{outdir}/{name}", "wb").write(data)
        print(name, len(data), preview, len(jpeg))


if __name__ == "__main__":
    main()
