#!/usr/bin/env python3
"""Checks the version a Windows program carries against the expected one.

    pe-version.py VERSION FILE.exe [--dialog ID]

The version record (fixed part and the FileVersion/ProductVersion texts) must
say VERSION; with --dialog, that dialog template must hold the version line
"Pontaro Version MAJOR.MINOR". Exit status 1 with a message when not.
"""
import re
import struct
import sys

RT_DIALOG = 5
RT_VERSION = 16


class PeFile:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise ValueError("not an MZ executable")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("no PE header")
        sections, opt_size = struct.unpack_from("<2xH12xH", data, pe + 4)
        opt = pe + 24
        magic = struct.unpack_from("<H", data, opt)[0]
        dirs = opt + (96 if magic == 0x10B else 112)
        self.rsrc_rva = struct.unpack_from("<I", data, dirs + 2 * 8)[0]
        self.sections = []
        for i in range(sections):
            s = opt + opt_size + 40 * i
            vsize, vaddr, rawsize, rawptr = struct.unpack_from("<IIII", data, s + 8)
            self.sections.append((vaddr, max(vsize, rawsize), rawptr))

    def offset(self, rva):
        for vaddr, size, rawptr in self.sections:
            if vaddr <= rva < vaddr + size:
                return rawptr + rva - vaddr
        raise ValueError("address %#x outside every section" % rva)

    def _entries(self, table):
        named, ids = struct.unpack_from("<HH", self.data, table + 12)
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", self.data, table + 16 + 8 * i)
            yield name, target

    def resource(self, type_id, name_id=None):
        """The first language's bytes of a resource, or None."""
        if not self.rsrc_rva:
            return None
        root = self.offset(self.rsrc_rva)
        node = root
        for want in (type_id, name_id, None):
            for name, target in self._entries(node):
                if want is None or name == want:
                    break
            else:
                return None
            node = root + (target & 0x7FFFFFFF)
            if not target & 0x80000000:
                rva, size = struct.unpack_from("<II", self.data, node)
                start = self.offset(rva)
                return self.data[start:start + size]
        return None


def utf16_text(blob):
    return blob.decode("utf-16-le", errors="replace")


def holds_text(blob, text):
    """Whether the resource holds `text` as a whole zero-ended string (the
    words in front of a string are lengths, types or class ordinals, never
    printable ASCII)."""
    return re.search("(?<![ -~])" + re.escape(text) + "\0", utf16_text(blob)) is not None


def main(argv):
    if len(argv) not in (3, 5) or (len(argv) == 5 and argv[3] != "--dialog"):
        sys.exit(__doc__)
    version, path = argv[1], argv[2]
    errors = []
    pe = PeFile(open(path, "rb").read())

    record = pe.resource(RT_VERSION)
    if record is None:
        errors.append("no version record")
    else:
        fixed = record.find(struct.pack("<I", 0xFEEF04BD))
        if fixed < 0:
            errors.append("version record without its fixed part")
        else:
            fms, fls, pms, pls = struct.unpack_from("<IIII", record, fixed + 8)
            for label, ms, ls in (("FILEVERSION", fms, fls), ("PRODUCTVERSION", pms, pls)):
                got = "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
                if got != version:
                    errors.append("%s is %s" % (label, got))
        for key in ("FileVersion", "ProductVersion"):
            found = re.search(key + "\0+([^\0]*)\0", utf16_text(record))
            got = found.group(1) if found else None
            if got != version:
                errors.append("%s text is %r" % (key, got))

    if len(argv) == 5:
        line = "Pontaro Version " + ".".join(version.split(".")[:2])
        dialog = pe.resource(RT_DIALOG, int(argv[4]))
        if dialog is None:
            errors.append("no dialog %s" % argv[4])
        elif not holds_text(dialog, line):
            errors.append("dialog %s lacks %r" % (argv[4], line))

    for e in errors:
        print("%s: %s, expected %s" % (path, e, version), file=sys.stderr)
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
