#!/usr/bin/env python3
"""Writes the damaged and re-encrypted copies of real legacy workbooks for test_xls (run by
make_xls_fixtures.sh, after the copies it converts exist):

    short_sector.xls       biff5_numbers_gnumeric.xls's stream in a compound file that ends right
                           after the stream's last byte, inside its last sector (Excel reads it)
    short_sector_cut.xls   the same cut one byte into the stream's own bytes (damaged)
    sst_overcount.xls      invoice_libreoffice.xls whose string table declares 5 more strings
                           than it holds
    sst_missing.xls        the same, with cell B3 referring to one of the missing strings
    biff5_bad_label.xls    biff5_invoice_gnumeric.xls with cell A1's text longer than its record
    velvet_cryptoapi.xls   numbers.xls encrypted with RC4 CryptoAPI (SHA-1 key, 128 bits) and
                           Excel's default password, as Excel 2002-2003 encrypts
    velvet_cryptoapi40.xls the same with a 40-bit key (the form Apache POI writes)
    wrong_password.xls     numbers.xls encrypted with RC4 CryptoAPI and the password "clave"

The compound file is read and written here with the format's own rules, independently of the
reader under test.
"""

import hashlib
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
END = 0xFFFFFFFE
FREE = 0xFFFFFFFF


class Compound:
    def __init__(self, data):
        self.data = data
        self.shift = struct.unpack_from("<H", data, 0x1E)[0]
        self.size = 1 << self.shift
        nfat = struct.unpack_from("<I", data, 0x2C)[0]
        fat_sectors = list(struct.unpack_from("<109I", data, 0x4C))[:nfat]
        self.fat = []
        for s in fat_sectors:
            self.fat += struct.unpack_from("<%dI" % (self.size // 4), data, self.offset(s))
        self.cutoff = struct.unpack_from("<I", data, 0x38)[0]
        directory = b"".join(self.sector(s) for s in self.chain(struct.unpack_from("<I", data, 0x30)[0]))
        self.entries = {}
        for e in range(0, len(directory), 128):
            n = struct.unpack_from("<H", directory, e + 0x40)[0]
            if n < 2:
                continue
            name = directory[e:e + n - 2].decode("utf-16-le")
            start, size = struct.unpack_from("<II", directory, e + 0x74)
            self.entries[name] = (directory[e + 0x42], start, size)
        minifat_start = struct.unpack_from("<I", data, 0x3C)[0]
        self.minifat = []
        for s in self.chain(minifat_start) if minifat_start < END else []:
            self.minifat += struct.unpack_from("<%dI" % (self.size // 4), data, self.offset(s))

    def offset(self, s):
        return (s + 1) << self.shift

    def sector(self, s):
        return self.data[self.offset(s):self.offset(s) + self.size]

    def chain(self, s, table=None):
        table = self.fat if table is None else table
        out = []
        while s < 0xFFFFFFFA:
            out.append(s)
            s = table[s]
        return out

    def file_offsets(self, name):
        """The file offset of every byte of a stream."""
        _, start, size = self.entries[name]
        if size >= self.cutoff:
            return [self.offset(s) + i for s in self.chain(start) for i in range(self.size)][:size]
        root = self.file_offsets_root()
        return [root[s * 64 + i] for s in self.chain(start, self.minifat) for i in range(64)][:size]

    def file_offsets_root(self):
        _, start, size = self.entries["Root Entry"]
        return [self.offset(s) + i for s in self.chain(start) for i in range(self.size)][:size]

    def stream(self, name):
        return bytes(self.data[o] for o in self.file_offsets(name))

    def patch(self, name, at, data):
        offsets = self.file_offsets(name)
        out = bytearray(self.data)
        for i, b in enumerate(data):
            out[offsets[at + i]] = b
        return bytes(out)


def single_stream_file(name, stream):
    """A compound file of one stream kept in regular sectors (at least the 4096-byte cutoff), its
    sectors last."""
    size = len(stream)
    stream = stream + b"\0" * ((-len(stream)) % 512)
    assert size >= 4096
    n = len(stream) // 512
    assert n + 2 <= 128
    header = bytearray(b"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1" + b"\0" * 16)
    header += struct.pack("<HHHHH", 0x3E, 3, 0xFFFE, 9, 6) + b"\0" * 10
    header += struct.pack("<IIIIIIIII", 1, 1, 0, 4096, END, 0, END, 0, 0)
    header += struct.pack("<I", FREE) * ((512 - len(header)) // 4)
    fat = [0xFFFFFFFD, END] + [s + 3 if s + 1 < n else END for s in range(n)]
    fat += [FREE] * (128 - len(fat))

    def entry(entry_name, kind, child, start, size):
        e = entry_name.encode("utf-16-le").ljust(64, b"\0")
        e += struct.pack("<HBB", (len(entry_name) + 1) * 2, kind, 1)
        e += struct.pack("<III", FREE, FREE, child)
        e = e.ljust(0x74, b"\0") + struct.pack("<III", start, size, 0)
        return e

    directory = entry("Root Entry", 5, 1, END, 0) + entry(name, 2, FREE, 2, size)
    return bytes(header) + struct.pack("<128I", *fat) + directory.ljust(512, b"\0") + stream


def records(stream):
    pos = 0
    while pos + 4 <= len(stream):
        kind, length = struct.unpack_from("<HH", stream, pos)
        yield pos, kind, length
        pos += 4 + length


def rc4(key, data):
    s = list(range(256))
    j = 0
    for i in range(256):
        j = (j + s[i] + key[i % len(key)]) & 0xFF
        s[i], s[j] = s[j], s[i]
    out = bytearray()
    i = j = 0
    for b in data:
        i = (i + 1) & 0xFF
        j = (j + s[i]) & 0xFF
        s[i], s[j] = s[j], s[i]
        out.append(b ^ s[(s[i] + s[j]) & 0xFF])
    return bytes(out)


def cryptoapi_key(password, salt, block, bits):
    h0 = hashlib.sha1(salt + password.encode("utf-16-le")).digest()
    h = hashlib.sha1(h0 + struct.pack("<I", block)).digest()
    return h[:5] + b"\0" * 11 if bits == 40 else h[:bits // 8]


PLAIN = {0x0809, 0x002F, 0x0194, 0x0195, 0x00E1, 0x0196, 0x0138}


def encrypt_cryptoapi(stream, password, bits):
    """A FILEPASS record (RC4 CryptoAPI) after the BOF, absolute offsets moved past it, and every
    record encrypted in 1024-byte blocks of the stream, as Excel writes."""
    salt = bytes(range(0x10, 0x20))
    verifier = bytes(range(0xA0, 0xB0))
    csp = "Microsoft Enhanced Cryptographic Provider v1.0".encode("utf-16-le") + b"\0\0"
    header = struct.pack("<IIIIIIII", 0x04, 0, 0x6801, 0x8004, bits, 1, 0, 0) + csp
    key0 = cryptoapi_key(password, salt, 0, bits)
    encrypted = rc4(key0, verifier + hashlib.sha1(verifier).digest())
    body = struct.pack("<HHH", 1, 4, 2) + struct.pack("<II", 0x04, len(header)) + header
    body += struct.pack("<I", 16) + salt + encrypted[:16] + struct.pack("<I", 20) + encrypted[16:]
    filepass = struct.pack("<HH", 0x002F, len(body)) + body

    bof_end = 4 + struct.unpack_from("<H", stream, 2)[0]
    delta = len(filepass)
    out = bytearray(stream[:bof_end] + filepass + stream[bof_end:])
    for pos, kind, length in list(records(bytes(out))):
        d = pos + 4
        if kind == 0x0085:  # BOUNDSHEET: its sheet's offset
            struct.pack_into("<I", out, d, struct.unpack_from("<I", out, d)[0] + delta)
        elif kind == 0x020B:  # INDEX: DEFCOLWIDTH's and every DBCELL's offset
            for at in range(d + 12, d + length, 4):
                struct.pack_into("<I", out, at, struct.unpack_from("<I", out, at)[0] + delta)
        elif kind == 0x00FF:  # EXTSST: the offsets of every eighth string
            for at in range(d + 2, d + length, 8):
                struct.pack_into("<I", out, at, struct.unpack_from("<I", out, at)[0] + delta)
    mask = bytearray(len(out))
    for pos, kind, length in records(bytes(out)):
        if kind in PLAIN:
            continue
        start = pos + 4 + (4 if kind == 0x0085 else 0)
        for i in range(start, pos + 4 + length):
            mask[i] = 1
    for block in range(0, (len(out) + 1023) // 1024):
        stream_bytes = rc4(cryptoapi_key(password, salt, block, bits), bytes(1024))
        for i in range(block * 1024, min(len(out), block * 1024 + 1024)):
            if mask[i]:
                out[i] ^= stream_bytes[i - block * 1024]
    return bytes(out)


def read(name):
    with open(os.path.join(HERE, name), "rb") as f:
        return f.read()


def write(name, data):
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(data)


def main():
    # A short last sector: a writer that puts the stream last and stops after its last byte.
    data = single_stream_file("Book", Compound(read("biff5_numbers_gnumeric.xls")).stream("Book"))
    cf = Compound(data)
    used = max(cf.file_offsets("Book"))
    assert len(data) - 512 < used + 1 < len(data)
    write("short_sector.xls", data[:used + 1])
    write("short_sector_cut.xls", data[:used])

    # A string table declaring more strings than it holds; then a cell using a missing one.
    data = read("invoice_libreoffice.xls")
    cf = Compound(data)
    stream = cf.stream("Workbook")
    sst = next(pos for pos, kind, _ in records(stream) if kind == 0x00FC)
    unique = struct.unpack_from("<I", stream, sst + 8)[0]
    over = cf.patch("Workbook", sst + 8, struct.pack("<I", unique + 5))
    write("sst_overcount.xls", over)
    label = next(pos for pos, kind, _ in records(stream)
                 if kind == 0x00FD and struct.unpack_from("<HH", stream, pos + 4) == (2, 1))
    write("sst_missing.xls", Compound(over).patch("Workbook", label + 10, struct.pack("<I", unique + 3)))

    # A BIFF5 text longer than its record.
    data = read("biff5_invoice_gnumeric.xls")
    cf = Compound(data)
    stream = cf.stream("Book")
    label = next(pos for pos, kind, _ in records(stream)
                 if kind == 0x0204 and struct.unpack_from("<HH", stream, pos + 4) == (0, 0))
    write("biff5_bad_label.xls", cf.patch("Book", label + 10, struct.pack("<H", 200)))

    # RC4 CryptoAPI.
    stream = Compound(read("numbers.xls")).stream("Workbook")
    write("velvet_cryptoapi.xls", single_stream_file("Workbook", encrypt_cryptoapi(stream, "VelvetSweatshop", 128)))
    write("velvet_cryptoapi40.xls", single_stream_file("Workbook", encrypt_cryptoapi(stream, "VelvetSweatshop", 40)))
    write("wrong_password.xls", single_stream_file("Workbook", encrypt_cryptoapi(stream, "clave", 128)))


if __name__ == "__main__":
    main()
