"""Checks the delay-loaded imports of a built setup.exe or htmlayout.dll by reading it as a PE
file, so that a program that would call address 0 at its first delay-loaded call is caught on a
machine that cannot run it:

  check_delay_imports.py <image> <DLLs it delay-loads, comma-separated> <DLL folder>...

Every delay-import slot must hold the address of a loading thunk in an executable section of the
image, a thunk that hands the loader exactly that slot; every imported name must be exported,
undecorated, by the DLL of that name in one of the folders (the system's DLLs for that
architecture, and our engine's folder); and the DLLs must be those expected. Exit code 0 when all
hold."""

import os
import re
import struct
import sys


class Image:
    def __init__(self, path):
        with open(path, 'rb') as f:
            self.data = f.read()
        pe = struct.unpack_from('<I', self.data, 0x3C)[0]
        count, optional_size = struct.unpack_from('<H12xH', self.data, pe + 6)
        optional = pe + 24
        self.wide = struct.unpack_from('<H', self.data, optional)[0] == 0x20B
        self.pointer = 8 if self.wide else 4
        self.base = struct.unpack_from('<Q' if self.wide else '<I', self.data, optional + (24 if self.wide else 28))[0]
        self.exports_rva = struct.unpack_from('<I', self.data, optional + (112 if self.wide else 96))[0]
        # (start, size, file offset, file size, executable) of each section
        self.sections = [(rva, max(size, raw_size), raw, raw_size, bool(flags & 0x20000000)) for size, rva, raw_size, raw, flags in
                         (struct.unpack_from('<IIII12xI', self.data, optional + optional_size + 40 * i + 8)
                          for i in range(count))]

    def offset(self, rva):
        for start, size, raw, raw_size, _ in self.sections:
            if start <= rva < start + size and rva - start < raw_size:
                return raw + rva - start
        raise ValueError('address 0x%x is in no section' % rva)

    def executable(self, rva):
        return any(start <= rva < start + size and code for start, size, _, _, code in self.sections)

    def string(self, rva):
        at = self.offset(rva)
        return self.data[at:self.data.index(b'\0', at)].decode('ascii')

    def word(self, rva):
        return struct.unpack_from('<Q' if self.wide else '<I', self.data, self.offset(rva))[0]

    def exports(self):
        if not self.exports_rva:
            return set()
        count, _, names = struct.unpack_from('<III', self.data, self.offset(self.exports_rva) + 24)
        return {self.string(struct.unpack_from('<I', self.data, self.offset(names) + 4 * i)[0]) for i in range(count)}


def thunk_slot(image, rva):
    """The slot a loading thunk at rva hands to the loader, or None when the code there is no
    such thunk: i686 "mov eax, <slot>; jmp", x86_64 "lea rax, [rip+<slot>]; jmp"."""
    code = image.data[image.offset(rva):image.offset(rva) + 12]
    if not image.wide and code[0] == 0xB8 and code[5] == 0xE9:
        return struct.unpack_from('<I', code, 1)[0] - image.base
    if image.wide and code[:3] == b'\x48\x8d\x05' and code[7] == 0xE9:
        return rva + 7 + struct.unpack_from('<i', code, 3)[0]
    return None


def descriptors(image):
    """(DLL, first slot, first name entry) of every delay-import descriptor. GNU ld leaves the
    image's delay-import directory empty, so they are found by their shape: attributes 1
    (addresses are RVAs), a DLL name, three more RVAs inside the image and three zero words."""
    for start, size, raw, raw_size, _ in image.sections:
        for at in range(raw, raw + min(size, raw_size) - 31, 4):
            attributes, name, handle, slots, names, bound, unload, stamp = struct.unpack_from('<8I', image.data, at)
            if attributes != 1 or bound or unload or stamp or not name:
                continue
            try:
                dll = image.string(name)
                image.offset(handle), image.offset(slots), image.offset(names)
            except (ValueError, UnicodeDecodeError):
                continue
            if re.fullmatch(r'[\w.-]+\.dll', dll, re.I):
                yield dll, slots, names


def check(path, expected, folders):
    image, faults, count, libraries = Image(path), [], 0, {}
    for dll, slot, entry in descriptors(image):
        found = next((os.path.join(f, n) for f in folders for n in os.listdir(f) if n.lower() == dll.lower()), None)
        exported = libraries.setdefault(dll.lower(), Image(found).exports() if found else None)
        if exported is None:
            faults.append('%s: no DLL of that name in %s' % (dll, ', '.join(folders)))
        while image.word(entry):
            named = image.word(entry)
            function = '#%d' % (named & 0xFFFF) if named >> (8 * image.pointer - 1) else image.string(named + 2)
            target, where = image.word(slot) - image.base, '%s!%s' % (dll, function)
            if not image.executable(target):
                faults.append('%s: its slot holds 0x%x, outside the code' % (where, image.word(slot)))
            elif thunk_slot(image, target) != slot:
                faults.append('%s: the code its slot points to is no loading thunk of that slot' % where)
            if exported is not None and function not in exported:
                faults.append('%s: %s exports no such name' % (where, dll))
            slot, entry, count = slot + image.pointer, entry + image.pointer, count + 1
    if sorted(libraries) != sorted(expected):
        faults.append('delay-loads %s instead of %s' % (', '.join(sorted(libraries)) or 'nothing', ', '.join(sorted(expected))))
    for fault in faults:
        print('%s: %s' % (path, fault))
    print('%s: %d delay-loaded imports from %s, %d faults' % (path, count, ', '.join(sorted(libraries)) or 'no DLL',
                                                               len(faults)))
    return not faults


if __name__ == '__main__':
    sys.exit(0 if check(sys.argv[1], [n.lower() + '.dll' for n in sys.argv[2].split(',') if n], sys.argv[3:]) else 1)
