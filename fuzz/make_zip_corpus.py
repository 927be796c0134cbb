#!/usr/bin/env python3
"""Writes the seed corpus of hostile packages for the ZIP fuzz target into corpus/zip/.

Each seed is small and exercises one way an archive can lie: truncation, overlapping or wrapping
offsets, impossible sizes, bad checksums, names that climb out of the extraction folder, and so
on. The files are committed; run this again only to change the set."""
import os
import struct
import zlib

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", "zip")
DOS_TIME = (((2021 - 1980) << 9 | 6 << 5 | 15) << 16) | (12 << 11 | 34 << 5 | 28)


def deflate(data):
    c = zlib.compressobj(9, zlib.DEFLATED, -15)
    return c.compress(data) + c.flush()


class Entry:
    def __init__(self, name, data=b"", method=8, **kw):
        self.name = name if isinstance(name, bytes) else name.encode()
        self.data = data
        self.method = method
        self.descriptor = kw.get("descriptor", False)
        self.time = kw.get("time", DOS_TIME)
        self.attrs = kw.get("attrs", 0x20)
        self.crc = kw.get("crc")
        self.csize = kw.get("csize")
        self.usize = kw.get("usize")
        self.local_offset = kw.get("local_offset")
        self.local_method = kw.get("local_method")
        self.payload = kw.get("payload")


def build(entries, prefix=b"", comment=b"", count=None, disk=0, cd_offset=None, cd_size=None):
    out = bytearray(prefix)
    central = bytearray()
    for e in entries:
        payload = e.payload if e.payload is not None else (
            deflate(e.data) if e.method == 8 else e.data)
        crc = e.crc if e.crc is not None else zlib.crc32(e.data)
        csize = e.csize if e.csize is not None else len(payload)
        usize = e.usize if e.usize is not None else len(e.data)
        flags = 8 if e.descriptor else 0
        offset = len(out) - len(prefix)
        lm = e.local_method if e.local_method is not None else e.method
        out += struct.pack("<IHHHIIIIHH", 0x04034B50, 20, flags, lm, e.time,
                           0 if e.descriptor else crc, 0 if e.descriptor else csize,
                           0 if e.descriptor else usize, len(e.name), 0)
        out += e.name + payload
        if e.descriptor:
            out += struct.pack("<IIII", 0x08074B50, crc, csize, usize)
        central += struct.pack("<IHHHHIIIIHHHHHII", 0x02014B50, 20, 20, flags, e.method, e.time,
                               crc, csize, usize, len(e.name), 0, 0, 0, 0, e.attrs,
                               e.local_offset if e.local_offset is not None else offset)
        central += e.name
    start = len(out) - len(prefix)
    out += central
    n = len(entries) if count is None else count
    out += struct.pack("<IHHHHIIH", 0x06054B50, disk, disk, n, n,
                       len(central) if cd_size is None else cd_size,
                       start if cd_offset is None else cd_offset, len(comment))
    out += comment
    return bytes(out)


TEXT = b"The quick brown fox jumps over the lazy dog. " * 40


def seeds():
    ok = [Entry("readme.txt", TEXT), Entry("bin/stored.dat", b"\x00\x01\x02" * 50, 0),
          Entry("bin/", b"", 0, attrs=0x10), Entry("bin\\win.txt", b"backslash", 0)]
    valid = build(ok)
    yield "valid_mixed.zip", valid
    yield "valid_descriptor.zip", build([Entry("d.txt", TEXT, descriptor=True)])
    yield "valid_prefix_comment.zip", build(ok[:1], prefix=b"MZ" + b"\0" * 300,
                                            comment=b"PK\x05\x06 fake end in the comment")
    yield "valid_readonly_attr.zip", build([Entry("ro.txt", b"locked", 0, attrs=0x21)])
    yield "empty_archive.zip", build([])
    yield "empty_file.zip", b""
    yield "not_zip.zip", b"just some text that is not an archive\n"
    for cut in (10, 40, len(valid) // 2, len(valid) - 30, len(valid) - 1):
        yield "truncated_%d.zip" % cut, valid[:cut]
    yield "overlap_same_local.zip", build([Entry("a.txt", TEXT), Entry("b.txt", TEXT, local_offset=0)])
    yield "overlap_local_is_central.zip", build([Entry("a.txt", TEXT, local_offset=len(valid) - 80)])
    yield "cd_offset_wraps.zip", build(ok, cd_offset=0xFFFFFFF0, cd_size=0x20)
    yield "cd_points_into_data.zip", build(ok, cd_offset=4)
    yield "count_too_high.zip", build(ok, count=0xFFFF)
    yield "count_zero.zip", build(ok, count=0)
    yield "multi_disk.zip", build(ok, disk=1)
    yield "huge_compressed.zip", build([Entry("h.bin", TEXT, csize=0xFFFFFFFF)])
    yield "huge_uncompressed.zip", build([Entry("h.bin", TEXT, usize=0xFFFFFFFF)])
    yield "stored_short.zip", build([Entry("s.bin", b"short", 0, usize=100000)])
    yield "stored_long.zip", build([Entry("s.bin", b"longer than said", 0, usize=4)])
    yield "bad_crc.zip", build([Entry("c.txt", TEXT, crc=0x12345678)])
    yield "corrupt_deflate.zip", build([Entry("x.txt", TEXT, payload=b"\xff" * 64, usize=len(TEXT))])
    yield "deflate_ends_early.zip", build([Entry("x.txt", TEXT, usize=len(TEXT) * 2)])
    yield "method_bzip2.zip", build([Entry("m.txt", TEXT, 12, payload=b"BZh9")])
    yield "local_method_differs.zip", build([Entry("m.txt", TEXT, local_method=0)])
    yield "bad_dos_date.zip", build([Entry("t.txt", TEXT, time=0)])
    yield "bomb.zip", build([Entry("zeros.bin", b"\0" * (1024 * 1024))])
    names = {
        "parent": b"../escape.txt", "parent_backslash": b"..\\escape.txt", "rooted": b"/abs.txt",
        "rooted_backslash": b"\\abs.txt", "drive": b"C:/drive.txt", "drive_relative": b"C:drive.txt",
        "parent_nested": b"a/../../escape.txt", "parent_blank": b"a/.. /escape.txt",
        "three_dots": b"a/.../escape.txt", "parent_folder": b"../up/", "zero_inside": b"ok.txt\0../../x",
        "too_long": b"n" * 300, "empty": b"", "double_slash": b"a//b.txt", "dot": b"./dot.txt",
    }
    for label, name in names.items():
        yield "name_%s.zip" % label, build([Entry("first.txt", b"1", 0), Entry(name, b"payload", 0)])


def main():
    os.makedirs(OUT, exist_ok=True)
    for name, data in seeds():
        with open(os.path.join(OUT, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
