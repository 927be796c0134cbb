#!/usr/bin/env python3
"""Writes a package like an update package, only larger: about 3,000 files and 200 MB of content
in nested folders with folder entries, two thirds binary (does not compress) and one third text,
deflated. Deterministic. Usage: zip_make_package.py <out.zip> [files] [megabytes]"""
import random
import sys
import zipfile


def main():
    out = sys.argv[1]
    files = int(sys.argv[2]) if len(sys.argv) > 2 else 3000
    total = (int(sys.argv[3]) if len(sys.argv) > 3 else 200) * 1024 * 1024
    rng = random.Random(20240601)
    words = [bytes(rng.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 9)))
             for _ in range(500)]
    mean = total // files
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED, compresslevel=6) as z:
        folders = set()
        for i in range(files):
            folder = "app/module%02d/part%d/" % (i % 40, i % 7)
            if folder not in folders:
                for depth in range(1, folder.count("/") + 1):
                    prefix = "/".join(folder.split("/")[:depth]) + "/"
                    if prefix not in folders:
                        folders.add(prefix)
                        z.writestr(zipfile.ZipInfo(prefix, (2024, 5, 17, 9, 30, 0)), b"")
            size = max(1, int(rng.expovariate(1.0 / mean)))
            if i % 3 == 0:
                chunks = []
                n = 0
                while n < size:
                    w = rng.choice(words)
                    chunks.append(w)
                    n += len(w) + 1
                data = b" ".join(chunks)[:size]
                name = folder + "file%04d.txt" % i
            else:
                data = rng.randbytes(size)
                name = folder + "file%04d.dll" % i
            info = zipfile.ZipInfo(name, (2024, 5, 17, 9, 30, (i % 30) * 2))
            info.compress_type = zipfile.ZIP_DEFLATED
            info.external_attr = 0x20
            z.writestr(info, data)


if __name__ == "__main__":
    main()
