#!/usr/bin/env python3
"""Packs the tables of the shared corpus into seed inputs for the fuzz targets.

Each seed is a sequence of parts (4-byte little-endian length, bytes), one per companion file in
the order the target expects; see FuzzInput.h. Large tables are left out to keep runs fast.
"""
import os
import struct
import sys

TARGETS = {
    "Paradox": ([".DB", ".PX", ".MB", ".X02", ".Y02", ".XG0", ".YG0"], "paradox"),
    "DBase": ([".DBF", ".DBT", ".MDX"], "dbase"),
}
LIMIT = 64 * 1024


def companions(path, extensions):
    folder, name = os.path.split(path)
    stem = os.path.splitext(name)[0].upper()
    present = {os.path.splitext(f)[1].upper(): os.path.join(folder, f)
               for f in os.listdir(folder) if os.path.splitext(f)[0].upper() == stem}
    return [present.get(ext) for ext in extensions]


def pack(files):
    while files and files[-1] is None:
        files.pop()
    out = b""
    for f in files:
        data = open(f, "rb").read() if f else b""
        out += struct.pack("<I", len(data)) + data
    return out


def main(corpus, out_dir):
    for target, (extensions, sub) in TARGETS.items():
        target_dir = os.path.join(out_dir, target)
        os.makedirs(target_dir, exist_ok=True)
        for root, _, names in os.walk(os.path.join(corpus, sub)):
            for name in names:
                if os.path.splitext(name)[1].upper() != extensions[0]:
                    continue
                seed = pack(companions(os.path.join(root, name), extensions))
                if len(seed) <= LIMIT:
                    open(os.path.join(target_dir, name + ".seed"), "wb").write(seed)
    ascii_dir = os.path.join(out_dir, "Ascii")
    os.makedirs(ascii_dir, exist_ok=True)
    schema = (b"[T]\r\nFILETYPE=VARYING\r\nCHARSET=ANSIINTL\r\nDELIMITER=\"\r\nSEPARATOR=,\r\n"
              b"FIELD1=NAME,CHAR,20,00,00\r\nFIELD2=N,FLOAT,20,02,20\r\nFIELD3=D,DATE,11,00,40\r\n")
    data = b"\"M\xfcller\",1.5,01/02/2003\r\n\"X\",,\r\n"
    open(os.path.join(ascii_dir, "varying.seed"), "wb").write(
        struct.pack("<I", len(data)) + data + struct.pack("<I", len(schema)) + schema)
    sql_dir = os.path.join(out_dir, "Sql")
    os.makedirs(sql_dir, exist_ok=True)
    for i, s in enumerate(['ALTER TABLE "T.DB" ADD "T.DB"."F" CHARACTER(10)',
                           'ALTER TABLE "T" DROP "T"."A""B"', 'ALTER TABLE "T" ADD "T"."M" BLOB(100,1)']):
        open(os.path.join(sql_dir, "s%d.seed" % i), "w").write(s)
    num_dir = os.path.join(out_dir, "WholeNumber")
    os.makedirs(num_dir, exist_ok=True)
    for i, s in enumerate(["  -12", "$7FFFFFFF", "0x10", "+42", "2147483648"]):
        open(os.path.join(num_dir, "n%d.seed" % i), "w").write(s)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
