#!/usr/bin/env python3
"""Reads a WinHelp help file back: the internal file system, |SYSTEM, the
topics with their text and jumps, and the lookup files. It follows the format's
own rules (walking TOPICLINKs, counting characters for topic offsets,
searching B+ trees from the root) so that it checks what the compiler wrote
rather than repeating its bookkeeping. Run it on a file to print a summary.
"""

import struct
import sys


class ReadError(Exception):
    pass


def u16(b, o):
    return struct.unpack_from('<H', b, o)[0]


def i16(b, o):
    return struct.unpack_from('<h', b, o)[0]


def u32(b, o):
    return struct.unpack_from('<I', b, o)[0]


def i32(b, o):
    return struct.unpack_from('<i', b, o)[0]


def cstring(b, o):
    end = b.index(b'\0', o)
    return b[o:end], end + 1


def decompress(data):
    out = bytearray()
    i = 0
    while i < len(data):
        flags = data[i]
        i += 1
        for bit in range(8):
            if i >= len(data):
                break
            if flags >> bit & 1:
                code = u16(data, i)
                i += 2
                distance = (code & 0xFFF) + 1
                if distance > len(out):
                    raise ReadError('back reference before the block start')
                for _ in range((code >> 12) + 3):
                    out.append(out[-distance])
            else:
                out.append(data[i])
                i += 1
    return bytes(out)


# Compressed numbers of paragraph records.
def read_cushort(b, o):
    if b[o] & 1:
        return u16(b, o) // 2, o + 2
    return b[o] // 2, o + 1


def read_cshort(b, o):
    if b[o] & 1:
        return u16(b, o) // 2 - 0x4000, o + 2
    return b[o] // 2 - 0x40, o + 1


def read_clong(b, o):
    if b[o] & 1:
        return u32(b, o) // 2 - 0x40000000, o + 4
    return u16(b, o) // 2 - 0x4000, o + 2


class BTree:
    """A B+ tree inside an internal file."""

    def __init__(self, data, key_size):
        if u16(data, 0) != 0x293B:
            raise ReadError('bad B+ tree magic')
        self.data = data
        self.page_size = u16(data, 4)
        self.structure = data[6:22].rstrip(b'\0').decode('ascii')
        self.root = u16(data, 26)
        self.total_pages = u16(data, 30)
        self.levels = u16(data, 32)
        self.count = u32(data, 34)
        self.key_size = key_size   # function(bytes, offset) -> size of the key

    def page(self, n):
        if n >= self.total_pages:
            raise ReadError('page number out of range')
        start = 38 + n * self.page_size
        return self.data[start:start + self.page_size]

    def first_leaf(self):
        n = self.root
        for _ in range(self.levels - 1):
            n = u16(self.page(n), 4)
        return n

    def leaf_entries(self, record_size):
        """All leaf records in order, following the leaves' next-page links."""
        result = []
        n = self.first_leaf()
        while n != 0xFFFF:
            page = self.page(n)
            count = i16(page, 2)
            o = 8
            for _ in range(count):
                size = record_size(page, o)
                result.append(page[o:o + size])
                o += size
            n = u16(page, 6)
        if len(result) != self.count:
            raise ReadError('entry count does not match the header')
        return result

    def search(self, compare, record_size):
        """Searches from the root as a viewer does. `compare(page, offset)` is
        negative while the entry's key is below the wanted one."""
        n = self.root
        for _ in range(self.levels - 1):
            page = self.page(n)
            count = i16(page, 2)
            child = u16(page, 4)
            o = 6
            for _ in range(count):
                if compare(page, o) > 0:
                    break
                o += self.key_size(page, o)
                child = u16(page, o)
                o += 2
            n = child
        page = self.page(n)
        o = 8
        for _ in range(i16(page, 2)):
            c = compare(page, o)
            if c == 0:
                return page[o:o + record_size(page, o)]
            if c > 0:
                return None
            o += record_size(page, o)
        return None


def _string_key(page, o):
    return page.index(b'\0', o) - o + 1


class FileSystem:
    """The help file's container: header, directory and internal files."""

    def __init__(self, data):
        self.data = data
        if u32(data, 0) != 0x00035F3F:
            raise ReadError('not a help file')
        if u32(data, 12) != len(data):
            raise ReadError('file size in the header does not match')
        self.directory = self._internal(u32(data, 4))
        self.tree = BTree(self.directory, _string_key)
        self.files = {}
        for record in self.tree.leaf_entries(lambda p, o: _string_key(p, o) + 4):
            name, end = cstring(record, 0)
            self.files[name.decode('ascii')] = u32(record, end)

    def _internal(self, offset):
        reserved = u32(self.data, offset)
        used = u32(self.data, offset + 4)
        if reserved < used + 9 or offset + reserved > len(self.data):
            raise ReadError('internal file does not fit')
        return self.data[offset + 9:offset + 9 + used]

    def file(self, name):
        """An internal file by name, found by searching the directory tree."""
        key = name.encode('ascii')

        def compare(page, o):
            other = page[o:page.index(b'\0', o)]
            return (other > key) - (other < key)
        record = self.tree.search(compare, lambda p, o: _string_key(p, o) + 4)
        if record is None:
            return None
        _, end = cstring(record, 0)
        return self._internal(u32(record, end))


class HelpFile(FileSystem):
    """A help file: |SYSTEM, the topics and the lookup files."""

    def __init__(self, data):
        super().__init__(data)
        self._read_system()
        self._read_topics()

    # |SYSTEM ------------------------------------------------------------------

    def _read_system(self):
        s = self.file('|SYSTEM')
        if s is None or u16(s, 0) != 0x036C or u16(s, 4) != 1:
            raise ReadError('bad |SYSTEM')
        self.minor = u16(s, 2)
        self.gen_date = u32(s, 6)
        self.flags = u16(s, 10)
        self.records = []
        o = 12
        while o + 4 <= len(s):
            kind, size = u16(s, o), u16(s, o + 2)
            self.records.append((kind, s[o + 4:o + 4 + size]))
            o += 4 + size
        if o != len(s):
            raise ReadError('|SYSTEM records overrun')

    def system(self, kind):
        return [data for k, data in self.records if k == kind]

    @property
    def title(self):
        return cstring(self.system(1)[0], 0)[0]

    @property
    def contents_offset(self):
        return u32(self.system(3)[0], 0)

    @property
    def charset(self):
        return u16(self.system(11)[0], 0)

    def windows(self):
        result = []
        for data in self.system(6):
            if len(data) != 90:
                raise ReadError('window record of the wrong size')
            flags = u16(data, 0)
            result.append({'flags': flags,
                           'name': data[12:21].split(b'\0')[0],
                           'caption': data[21:72].split(b'\0')[0]})
        return result

    # |TOPIC ---------------------------------------------------------------------

    def _read_topics(self):
        if self.flags != 4 or self.minor <= 16:
            raise ReadError('only LZ77 topic blocks of 4 KB are read here')
        raw = self.file('|TOPIC')
        self.blocks = []
        for start in range(0, len(raw), 4096):
            block = raw[start:start + 4096]
            header = struct.unpack_from('<III', block, 0)
            data = decompress(block[12:])
            self.blocks.append((header, data))
        self.topics = []
        position = 12
        seen = set()
        characters = {}
        topic = None
        while position != 0xFFFFFFFF:
            if position in seen:
                raise ReadError('topic links loop')
            seen.add(position)
            block, offset = (position - 12) // 0x4000, (position - 12) % 0x4000
            data = self.blocks[block][1]
            link = data[offset:]
            block_size, len2, _prev, following, len1, kind = struct.unpack_from('<IIIIIB', link, 0)
            if block_size != len1 + len2:
                raise ReadError('phrase-compressed text is not read here')
            data1 = link[21:len1]
            data2 = link[len1:len1 + len2]
            count = characters.get(block, 0)
            if kind == 2:
                topic = {'position': position, 'offset': block * 0x8000 + count,
                         'title': cstring(data2, 0)[0], 'header': data1,
                         'paragraphs': [], 'jumps': []}
                self.topics.append(topic)
            elif kind == 0x20:
                if topic is None:
                    raise ReadError('paragraph before the first topic')
                text, jumps, length = self._paragraph(data1, data2)
                topic['paragraphs'].append(text)
                topic['jumps'] += jumps
                characters[block] = count + length
            else:
                raise ReadError('unexpected record type %#x' % kind)
            position = following

    @staticmethod
    def _paragraph(data1, data2):
        """Plain text, jump hashes and character count of a paragraph."""
        _size, o = read_clong(data1, 0)
        length, o = read_cushort(data1, o)
        o += 4
        bits = u16(data1, o)
        o += 2
        if bits & 0x0001:
            _, o = read_clong(data1, o)
        for flag in (0x0002, 0x0004, 0x0008, 0x0010, 0x0020, 0x0040):
            if bits & flag:
                _, o = read_cshort(data1, o)
        if bits & 0x0300:
            raise ReadError('borders and tabs are not read here')
        strings = data2.split(b'\0')[:-1]
        text = b''
        jumps = []
        for s in strings:
            text += s
            command = data1[o]
            if command == 0xFF:
                break
            if command == 0x80:
                o += 3
            elif command in (0x81, 0x82):
                text += b'\n'
                o += 1
            elif command == 0x89:
                o += 1
            elif command in (0xE2, 0xE3, 0xE6, 0xE7):
                jumps.append(i32(data1, o + 1))
                o += 5
            else:
                raise ReadError('unexpected formatting command %#x' % command)
        return text, jumps, length

    def topic_at(self, offset):
        for t in self.topics:
            if t['offset'] == offset:
                return t
        return None

    # Lookup files ------------------------------------------------------------------

    def context_offset(self, h):
        tree = BTree(self.file('|CONTEXT'), lambda p, o: 4)

        def compare(page, o):
            other = i32(page, o)
            return (other > h) - (other < h)
        record = tree.search(compare, lambda p, o: 8)
        return None if record is None else u32(record, 4)

    def context_entries(self):
        tree = BTree(self.file('|CONTEXT'), lambda p, o: 4)
        return [(i32(r, 0), u32(r, 4)) for r in tree.leaf_entries(lambda p, o: 8)]

    def ctxomap(self):
        data = self.file('|CTXOMAP')
        n = u16(data, 0)
        return {u32(data, 2 + 8 * i): u32(data, 6 + 8 * i) for i in range(n)}

    def titles(self):
        tree = BTree(self.file('|TTLBTREE'), lambda p, o: 4)
        entries = tree.leaf_entries(lambda p, o: 4 + _string_key(p, o + 4))
        return [(u32(r, 0), cstring(r, 4)[0]) for r in entries]

    def keywords(self):
        tree = BTree(self.file('|KWBTREE'), _string_key)
        data = self.file('|KWDATA')
        result = {}
        for r in tree.leaf_entries(lambda p, o: _string_key(p, o) + 6):
            word, end = cstring(r, 0)
            count, where = u16(r, end), u32(r, end + 2)
            result[word] = [u32(data, where + 4 * i) for i in range(count)]
        return result

    def fonts(self):
        data = self.file('|FONT')
        faces, descriptors, face_at, desc_at = struct.unpack_from('<HHHH', data, 0)
        size = (desc_at - face_at) // faces
        names = [data[face_at + i * size:face_at + (i + 1) * size].split(b'\0')[0]
                 for i in range(faces)]
        result = []
        for i in range(descriptors):
            d = data[desc_at + 11 * i:desc_at + 11 * (i + 1)]
            result.append({'attributes': d[0], 'half_points': d[1], 'family': d[2],
                           'face': names[u16(d, 3)], 'color': tuple(d[5:8])})
        return result


def main(path):
    with open(path, 'rb') as f:
        h = HelpFile(f.read())
    enc = 'cp932'
    print('files:', ', '.join(sorted(h.files)))
    print('title:', h.title.decode(enc), ' charset:', h.charset, ' version:', h.minor)
    print('contents at %#x' % h.contents_offset)
    for t in h.topics:
        print('%#07x %s (%d paragraphs)' % (t['offset'], t['title'].decode(enc),
                                            len(t['paragraphs'])))
    for number, offset in sorted(h.ctxomap().items()):
        print('context number %#x -> %#x' % (number, offset))
    for word, offsets in sorted(h.keywords().items()):
        print('keyword %s -> %s' % (word.decode(enc), ' '.join('%#x' % o for o in offsets)))
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1]))
