"""Writing the WinHelp 4 help-file format: the internal file system, its B+ trees
and the internal files that the help viewer reads (|SYSTEM, |TOPIC, |FONT,
|CONTEXT, |CTXOMAP, |TTLBTREE, |KWBTREE, |KWDATA, |KWMAP).

Everything here works on bytes; the text is already Shift-JIS when it arrives.
The layout decisions that are not obvious from the structures themselves are
explained where they are made.
"""

import struct

FILE_MAGIC = 0x00035F3F
BTREE_MAGIC = 0x293B
SYSTEM_MAGIC = 0x036C

# |SYSTEM version 33 is the Windows 95 help format: it is the version that
# carries the character-set, locale and contents-file records.
SYSTEM_MINOR = 33
SYSTEM_MAJOR = 1
# Flags 4: the topic blocks are 4 KB and LZ77-compressed, so a topic position
# splits into a 16 KB decompressed block and an offset within it. The
# uncompressed layout would address blocks in 4084-byte steps, which viewers
# do not agree on; the compressed one is read the same way everywhere.
SYSTEM_FLAGS_LZ77_4K = 4

TOPIC_BLOCK_SIZE = 4096
TOPIC_BLOCK_HEADER_SIZE = 12
TOPIC_BLOCK_DATA_SIZE = TOPIC_BLOCK_SIZE - TOPIC_BLOCK_HEADER_SIZE
DECOMPRESSED_BLOCK_SIZE = 0x4000

TOPICLINK_HEADER_SIZE = 21
TOPICHEADER_SIZE = 28
RECORD_TOPIC_HEADER = 0x02
RECORD_DISPLAY = 0x20

# System record types.
SYS_TITLE = 1
SYS_COPYRIGHT = 2
SYS_CONTENTS = 3
SYS_CONFIG = 4
SYS_WINDOW = 6
SYS_LCID = 9
SYS_CNT = 10
SYS_CHARSET = 11

SHIFTJIS_CHARSET = 128
LANG_JAPANESE = 0x0411

NO_POSITION = 0xFFFFFFFF

# Character-formatting commands inside a paragraph record.
CMD_FONT = 0x80
CMD_END_PARAGRAPH = 0x82
CMD_TOPIC_JUMP = 0xE3
CMD_END_HOTSPOT = 0x89
CMD_END = 0xFF

# Paragraph-format bits.
PARA_SPACE_ABOVE = 0x0002
PARA_SPACE_BELOW = 0x0004
PARA_LEFT_INDENT = 0x0010
PARA_FIRST_LINE_INDENT = 0x0040

# Font families of the |FONT descriptors (not the Windows FF_ values).
FAMILY_MODERN = 0x01
FAMILY_ROMAN = 0x02
FAMILY_SWISS = 0x03

FONT_BOLD = 0x01
FONT_ITALIC = 0x02
FONT_UNDERLINE = 0x04

FACE_NAME_SIZE = 32


class HelpFormatError(Exception):
    """A help file that cannot be written as asked (too long, duplicate names)."""


# --- small encoders ---------------------------------------------------------

def u8(v):
    return struct.pack('<B', v)


def u16(v):
    return struct.pack('<H', v & 0xFFFF)


def i16(v):
    return struct.pack('<h', v)


def u32(v):
    return struct.pack('<I', v & 0xFFFFFFFF)


def i32(v):
    return struct.pack('<i', v)


def compressed_ushort(v):
    """One byte for values below 128, two bytes (odd first byte) otherwise."""
    if not 0 <= v < 0x8000:
        raise HelpFormatError('compressed unsigned short out of range: %d' % v)
    if v < 0x80:
        return u8(v * 2)
    return u16(v * 2 + 1)


def compressed_short(v):
    """Signed: one byte biased by 64, or two bytes biased by 16384."""
    if -0x40 <= v < 0x40:
        return u8((v + 0x40) * 2)
    if not -0x4000 <= v < 0x4000:
        raise HelpFormatError('compressed short out of range: %d' % v)
    return u16((v + 0x4000) * 2 + 1)


def compressed_long(v):
    """Signed, two bytes biased by 16384. The four-byte form is described with
    two different biases; nothing here needs it (a paragraph is far shorter
    than a topic block), so it is refused rather than guessed."""
    if not -0x4000 <= v < 0x4000:
        raise HelpFormatError('compressed long out of range: %d' % v)
    return u16((v + 0x4000) * 2)


def to_signed32(v):
    v &= 0xFFFFFFFF
    return v - 0x100000000 if v & 0x80000000 else v


# --- context names ----------------------------------------------------------

def _hash_value(ch):
    """The value a character adds to a context hash. Context names are limited
    to the characters that every help compiler and viewer hashes alike."""
    if '1' <= ch <= '9':
        return ord(ch) - ord('0')
    if ch == '0':
        return 10
    if ch == '.':
        return 12
    if ch == '_':
        return 13
    if 'A' <= ch <= 'Z':
        return ord(ch) - ord('A') + 17
    if 'a' <= ch <= 'z':
        return ord(ch) - ord('a') + 17
    return None


def is_valid_context_name(name):
    return bool(name) and all(_hash_value(c) is not None for c in name)


def context_hash(name):
    """The viewer looks topics up by this hash of the context name, never by
    the name itself: h = h * 43 + value(c), kept to 32 bits, signed."""
    if not is_valid_context_name(name):
        raise HelpFormatError('invalid context name: %r' % name)
    h = 0
    for ch in name:
        h = (h * 43 + _hash_value(ch)) & 0xFFFFFFFF
    return to_signed32(h)


# --- LZ77 -------------------------------------------------------------------

LZ_WINDOW = 4096
LZ_MIN_MATCH = 3
LZ_MAX_MATCH = 18


def lz77_compress(data):
    """Greedy LZ77 as the help format decodes it: a flag byte announces eight
    items; a set bit is a two-byte back reference (12-bit distance - 1, 4-bit
    length - 3), a clear bit a literal byte. References never reach before the
    start of `data`, because every topic block is decompressed on its own."""
    out = bytearray()
    n = len(data)
    heads = {}
    chain = [0] * n
    pos = 0
    flag_index = -1
    bit = 8

    def start_item():
        nonlocal flag_index, bit
        if bit == 8:
            flag_index = len(out)
            out.append(0)
            bit = 0

    def insert(p):
        if p + LZ_MIN_MATCH <= n:
            key = bytes(data[p:p + LZ_MIN_MATCH])
            chain[p] = heads.get(key, -1)
            heads[key] = p

    while pos < n:
        best_len = 0
        best_pos = 0
        if pos + LZ_MIN_MATCH <= n:
            candidate = heads.get(bytes(data[pos:pos + LZ_MIN_MATCH]), -1)
            tries = 256
            limit = min(LZ_MAX_MATCH, n - pos)
            while candidate >= 0 and pos - candidate <= LZ_WINDOW and tries:
                length = 0
                while length < limit and data[candidate + length] == data[pos + length]:
                    length += 1
                if length > best_len:
                    best_len = length
                    best_pos = candidate
                    if length == limit:
                        break
                candidate = chain[candidate]
                tries -= 1
        start_item()
        if best_len >= LZ_MIN_MATCH:
            out[flag_index] |= 1 << bit
            code = ((best_len - LZ_MIN_MATCH) << 12) | (pos - best_pos - 1)
            out += u16(code)
            for p in range(pos, pos + best_len):
                insert(p)
            pos += best_len
        else:
            out.append(data[pos])
            insert(pos)
            pos += 1
        bit += 1
    return bytes(out)


def lz77_decompress(data):
    out = bytearray()
    i = 0
    n = len(data)
    while i < n:
        flags = data[i]
        i += 1
        for b in range(8):
            if i >= n:
                break
            if flags & (1 << b):
                if i + 1 >= n:
                    raise HelpFormatError('truncated LZ77 reference')
                code = data[i] | (data[i + 1] << 8)
                i += 2
                length = (code >> 12) + LZ_MIN_MATCH
                distance = (code & 0xFFF) + 1
                if distance > len(out):
                    raise HelpFormatError('LZ77 reference before the start')
                for _ in range(length):
                    out.append(out[-distance])
            else:
                out.append(data[i])
                i += 1
    return bytes(out)


# --- B+ trees ---------------------------------------------------------------

LEAF_HEADER_SIZE = 8
INDEX_HEADER_SIZE = 6


def build_btree(entries, page_size, structure, flags=0x0002):
    """A B+ tree as one byte string (header and pages).

    `entries` are (key, leaf_record) pairs already sorted in the order the
    reader compares them; `key` is the byte form that index pages repeat
    (a name with its NUL, or a 4-byte number). Leaves are filled in order and
    linked both ways; each index level holds, per page, its first child in the
    header and (first key, page) pairs for the others."""
    if len(structure) > 15:
        raise HelpFormatError('B+ tree structure string too long')
    pages = []          # bytes of each page, by page number
    level_pages = []    # (page number, first key) of the level being built

    # Leaves.
    groups = []
    current = []
    used = LEAF_HEADER_SIZE
    for key, record in entries:
        if LEAF_HEADER_SIZE + len(record) > page_size:
            raise HelpFormatError('B+ tree entry larger than a page')
        if current and used + len(record) > page_size:
            groups.append(current)
            current, used = [], LEAF_HEADER_SIZE
        current.append((key, record))
        used += len(record)
    groups.append(current)
    first_leaf = len(pages)
    for index, group in enumerate(groups):
        body = b''.join(record for _, record in group)
        previous = first_leaf + index - 1 if index else 0xFFFF
        following = first_leaf + index + 1 if index + 1 < len(groups) else 0xFFFF
        header = u16(page_size - LEAF_HEADER_SIZE - len(body)) + u16(len(group)) + \
            u16(previous) + u16(following)
        pages.append((header + body).ljust(page_size, b'\0'))
        level_pages.append((first_leaf + index, group[0][0] if group else b''))

    levels = 1
    while len(level_pages) > 1:
        levels += 1
        parents = []
        i = 0
        while i < len(level_pages):
            first_child, first_key = level_pages[i]
            i += 1
            body = b''
            count = 0
            while i < len(level_pages):
                child, key = level_pages[i]
                item = key + u16(child)
                if INDEX_HEADER_SIZE + len(body) + len(item) > page_size:
                    break
                body += item
                count += 1
                i += 1
            if count == 0 and i < len(level_pages):
                raise HelpFormatError('B+ tree key larger than an index page')
            header = u16(page_size - INDEX_HEADER_SIZE - len(body)) + u16(count) + \
                u16(first_child)
            parents.append((len(pages), first_key))
            pages.append((header + body).ljust(page_size, b'\0'))
        level_pages = parents

    root = level_pages[0][0]
    header = u16(BTREE_MAGIC) + u16(flags) + u16(page_size) + \
        structure.encode('ascii').ljust(16, b'\0') + \
        u16(0) + u16(0) + u16(root) + u16(0xFFFF) + u16(len(pages)) + \
        u16(levels) + u32(len(entries))
    return header + b''.join(pages)


def leaf_page_numbers(tree):
    """Page numbers of the leaves in key order, with the number of entries
    before each (what |KWMAP records)."""
    page_size = struct.unpack_from('<H', tree, 4)[0]
    pages = tree[38:]
    # Leaves are written first, in order, linked by their next-page field.
    result = []
    page = 0
    before = 0
    while page != 0xFFFF:
        count, _previous, following = struct.unpack_from('<hHH', pages, page * page_size + 2)
        result.append((before, page))
        before += count
        page = following
    return result


# --- internal file system -----------------------------------------------------

def internal_file(content):
    """An internal file: its header (reserved space, used space, flags) and
    content. Nothing is reserved beyond what is used."""
    return u32(len(content) + 9) + u32(len(content)) + u8(4) + content


def build_help_file(files):
    """The whole help file from {name: content}. The directory is a B+ tree of
    NUL-terminated names sorted bytewise, as the viewer compares them."""
    names = sorted(files, key=lambda n: n.encode('ascii'))
    offset = 16
    blobs = []
    entries = []
    for name in names:
        blob = internal_file(files[name])
        key = name.encode('ascii') + b'\0'
        entries.append((key, key + u32(offset)))
        blobs.append(blob)
        offset += len(blob)
    directory = build_btree(entries, 0x0400, 'z4', flags=0x0402)
    directory_start = offset
    dir_blob = internal_file(directory)
    total = directory_start + len(dir_blob)
    header = u32(FILE_MAGIC) + u32(directory_start) + u32(NO_POSITION) + u32(total)
    return header + b''.join(blobs) + dir_blob


# --- |SYSTEM ------------------------------------------------------------------

def system_record(kind, data):
    return u16(kind) + u16(len(data)) + data


def window_record(name, caption):
    """A window definition: only its name and caption are given, so the viewer
    keeps its own position, size and colours."""
    name = name.encode('ascii')
    if len(name) > 8 or len(caption) > 50:
        raise HelpFormatError('window name or caption too long')
    flags = 0x0002 | 0x0004
    data = u16(flags) + b'\0' * 10 + name.ljust(9, b'\0') + caption.ljust(51, b'\0') + \
        i16(0) * 5 + u32(0) + u32(0)
    assert len(data) == 90
    return system_record(SYS_WINDOW, data)


def build_system(title, contents_offset, gen_date, config_macros=(), window_caption=None,
                 cnt_name=None, charset=SHIFTJIS_CHARSET, lcid=LANG_JAPANESE):
    out = u16(SYSTEM_MAGIC) + u16(SYSTEM_MINOR) + u16(SYSTEM_MAJOR) + u32(gen_date) + \
        u16(SYSTEM_FLAGS_LZ77_4K)
    out += system_record(SYS_TITLE, title + b'\0')
    out += system_record(SYS_CONTENTS, u32(contents_offset))
    for macro in config_macros:
        out += system_record(SYS_CONFIG, macro + b'\0')
    if window_caption is not None:
        out += window_record('main', window_caption)
    # The locale record: the language first, then sort and comparison flags
    # left at their defaults.
    out += system_record(SYS_LCID, u16(lcid) + u16(0) + u16(0) + u16(0))
    if cnt_name:
        out += system_record(SYS_CNT, cnt_name + b'\0')
    # The viewer picks the code page of every text from this record.
    out += system_record(SYS_CHARSET, u16(charset))
    return out


# --- |FONT --------------------------------------------------------------------

def build_font(face_names, descriptors):
    """Face names as fixed 32-byte slots, then 11-byte descriptors:
    attributes, half-points, family, face index, colour, background."""
    header_size = 8
    for name in face_names:
        if len(name) >= FACE_NAME_SIZE:
            raise HelpFormatError('face name too long')
    faces = b''.join(name.ljust(FACE_NAME_SIZE, b'\0') for name in face_names)
    desc = b''
    for d in descriptors:
        r, g, b = d['color']
        desc += u8(d['attributes']) + u8(d['half_points']) + u8(d['family']) + \
            u16(d['face']) + bytes([r, g, b]) + bytes([255, 255, 255])
    return u16(len(face_names)) + u16(len(descriptors)) + u16(header_size) + \
        u16(header_size + len(faces)) + faces + desc


# --- paragraphs and topic records ------------------------------------------------

class Paragraph:
    """One displayable paragraph: its format and a list of items, each either
    text bytes or a formatting command (bytes starting with a command code)."""

    def __init__(self, font, space_above=0, space_below=0, left_indent=0,
                 first_line_indent=0):
        self.items = [('cmd', u8(CMD_FONT) + u16(font))]
        self.space_above = space_above
        self.space_below = space_below
        self.left_indent = left_indent
        self.first_line_indent = first_line_indent

    def text(self, data):
        if b'\0' in data:
            raise HelpFormatError('NUL in paragraph text')
        if data:
            self.items.append(('text', data))

    def font(self, font):
        self.items.append(('cmd', u8(CMD_FONT) + u16(font)))

    def jump(self, context_name, data, font_after):
        """A jump hotspot: the viewer finds the target by the hash of its
        context name."""
        self.items.append(('cmd', u8(CMD_TOPIC_JUMP) + i32(context_hash(context_name))))
        self.text(data)
        self.items.append(('cmd', u8(CMD_END_HOTSPOT)))
        self.font(font_after)

    def link_data(self):
        """(LinkData1, LinkData2). Each command follows the text before it;
        the text strings and the commands alternate, the last command being
        the end of the formatting."""
        strings = []
        commands = bytearray()
        current = b''
        for kind, data in self.items + [('cmd', u8(CMD_END_PARAGRAPH)), ('cmd', u8(CMD_END))]:
            if kind == 'text':
                current += data
            else:
                strings.append(current)
                commands += data
                current = b''
        text = b''.join(s + b'\0' for s in strings)

        bits = 0
        fields = b''
        if self.space_above:
            bits |= PARA_SPACE_ABOVE
            fields += compressed_short(self.space_above)
        if self.space_below:
            bits |= PARA_SPACE_BELOW
            fields += compressed_short(self.space_below)
        if self.left_indent:
            bits |= PARA_LEFT_INDENT
            fields += compressed_short(self.left_indent)
        if self.first_line_indent:
            bits |= PARA_FIRST_LINE_INDENT
            fields += compressed_short(self.first_line_indent)
        # Text size and character count: every character and NUL counts, which
        # is also what the topic offsets count.
        format_data = compressed_long(len(text)) + compressed_ushort(len(text)) + \
            u8(0) + u8(0x80) + u16(0) + u16(bits) + fields + bytes(commands)
        return format_data, text


class TopicRecord:
    """A TOPICLINK whose bytes depend on where the records end up."""

    def __init__(self, kind, link_data1_size, link_data2, topic=None, paragraph_format=None):
        self.kind = kind
        self.link_data1_size = link_data1_size
        self.link_data2 = link_data2
        self.topic = topic
        self.paragraph_format = paragraph_format
        self.position = 0           # TOPICPOS, once laid out
        self.block = 0
        self.characters_before = 0  # characters of the block's records before it

    @property
    def size(self):
        return TOPICLINK_HEADER_SIZE + self.link_data1_size + len(self.link_data2)

    @property
    def character_count(self):
        return len(self.link_data2) if self.kind == RECORD_DISPLAY else 0


class TopicLayout:
    """Topics laid out in |TOPIC: their records, positions and offsets."""

    def __init__(self, topics):
        """`topics`: list of (title bytes, macros list, [Paragraph])."""
        self.records = []
        self.topics = []
        for number, (title, macros, paragraphs) in enumerate(topics):
            if not paragraphs:
                raise HelpFormatError('a topic needs at least one paragraph')
            entry = {'number': number, 'title': title, 'records': []}
            data2 = title + b'\0' + b''.join(m + b'\0' for m in macros)
            header = TopicRecord(RECORD_TOPIC_HEADER, TOPICHEADER_SIZE, data2, topic=entry)
            entry['records'].append(header)
            self.records.append(header)
            for paragraph in paragraphs:
                data1, data2 = paragraph.link_data()
                record = TopicRecord(RECORD_DISPLAY, len(data1), data2, topic=entry,
                                     paragraph_format=data1)
                entry['records'].append(record)
                self.records.append(record)
            self.topics.append(entry)
        self.blocks = []

    # Positions ------------------------------------------------------------

    def _assign(self, blocks):
        for block_number, (first, last) in enumerate(blocks):
            offset = 0
            characters = 0
            for record in self.records[first:last]:
                record.block = block_number
                record.position = block_number * DECOMPRESSED_BLOCK_SIZE + offset + \
                    TOPIC_BLOCK_HEADER_SIZE
                record.characters_before = characters
                offset += record.size
                characters += record.character_count
        for topic in self.topics:
            header = topic['records'][0]
            # A topic's offset counts the characters of the block's records
            # before it, in the block where its header starts.
            topic['offset'] = header.block * 0x8000 + header.characters_before

    def _record_bytes(self, index):
        record = self.records[index]
        previous = self.records[index - 1].position if index else NO_POSITION
        following = self.records[index + 1].position if index + 1 < len(self.records) \
            else NO_POSITION
        if record.kind == RECORD_TOPIC_HEADER:
            data1 = self._topic_header(record.topic)
        else:
            data1 = record.paragraph_format
        data_len1 = TOPICLINK_HEADER_SIZE + len(data1)
        link = u32(data_len1 + len(record.link_data2)) + u32(len(record.link_data2)) + \
            u32(previous) + u32(following) + u32(data_len1) + u8(record.kind)
        return link + data1 + record.link_data2

    def _topic_header(self, topic):
        records = topic['records']
        number = topic['number']
        previous = self.topics[number - 1]['offset'] if number else NO_POSITION
        following = self.topics[number + 1]['offset'] if number + 1 < len(self.topics) \
            else NO_POSITION
        next_header = self.topics[number + 1]['records'][0].position \
            if number + 1 < len(self.topics) else NO_POSITION
        size = sum(r.size for r in records)
        # Every topic is one browse sequence in source order; the whole topic
        # scrolls (no non-scrolling region).
        return u32(size) + u32(previous) + u32(following) + u32(number) + \
            u32(NO_POSITION) + u32(records[1].position) + u32(next_header)

    # Blocks -----------------------------------------------------------------

    def _block_data(self, first, last):
        return b''.join(self._record_bytes(i) for i in range(first, last))

    def _fits(self, first, last, margin):
        size = sum(r.size for r in self.records[first:last])
        if size > DECOMPRESSED_BLOCK_SIZE:
            return False
        compressed = lz77_compress(self._block_data(first, last))
        return len(compressed) <= TOPIC_BLOCK_DATA_SIZE - margin

    def _pack(self, margin):
        """Whole records per block: a record never continues into the next
        block, because the rest of a block after its compressed data is filled
        with zeros, which decompress into zeros."""
        blocks = []
        first = 0
        count = len(self.records)
        while first < count:
            # Positions are not known yet; sizes are, and the compressed size
            # hardly depends on the position values, hence the margin.
            if not self._fits(first, first + 1, margin):
                raise HelpFormatError('a paragraph is too long for one topic block')
            low, high = first + 1, count
            while low < high:
                middle = (low + high + 1) // 2
                if self._fits(first, middle, margin):
                    low = middle
                else:
                    high = middle - 1
            blocks.append((first, low))
            first = low
        return blocks

    def build(self):
        """The |TOPIC file content."""
        for topic in self.topics:
            topic['offset'] = 0
        for margin in (32, 128, 512, 1024):
            blocks = self._pack(margin)
            self._assign(blocks)
            out = bytearray()
            ok = True
            last_header = NO_POSITION
            for number, (first, last) in enumerate(blocks):
                compressed = lz77_compress(self._block_data(first, last))
                if len(compressed) > TOPIC_BLOCK_DATA_SIZE:
                    ok = False
                    break
                previous_last = self.records[first - 1].position if first else NO_POSITION
                header = u32(previous_last) + u32(self.records[first].position) + \
                    u32(last_header)
                out += header + compressed.ljust(TOPIC_BLOCK_DATA_SIZE, b'\0')
                for record in self.records[first:last]:
                    if record.kind == RECORD_TOPIC_HEADER:
                        last_header = record.position
            if ok:
                self.blocks = blocks
                return bytes(out)
        raise HelpFormatError('topic blocks do not fit')

    def topic_offsets(self):
        return [t['offset'] for t in self.topics]


# --- lookup files ---------------------------------------------------------------

def build_context(pairs):
    """|CONTEXT from (hash, topic offset) pairs, ordered by the hash as a
    signed number, which is how the viewer compares it."""
    seen = {}
    for h, offset in pairs:
        if h in seen:
            raise HelpFormatError('two context names with the same hash')
        seen[h] = offset
    entries = [(i32(h), i32(h) + u32(offset)) for h, offset in sorted(seen.items())]
    return build_btree(entries, 0x0800, 'L4')


def build_ctxomap(pairs):
    """|CTXOMAP: context numbers for the application's context help."""
    out = u16(len(pairs))
    for number, offset in sorted(pairs):
        out += u32(number) + u32(offset)
    return out


def build_ttlbtree(pairs):
    """|TTLBTREE: topic titles by topic offset."""
    entries = [(u32(offset), u32(offset) + title + b'\0') for offset, title in sorted(pairs)]
    return build_btree(entries, 0x0800, 'Lz')


def keyword_sort_key(keyword):
    """Keywords sort without regard to ASCII case; other bytes by value."""
    return keyword.lower()


def build_keywords(keywords):
    """(|KWBTREE, |KWDATA, |KWMAP) from {keyword bytes: [topic offsets]}."""
    data = b''
    entries = []
    for keyword in sorted(keywords, key=keyword_sort_key):
        offsets = sorted(set(keywords[keyword]))
        key = keyword + b'\0'
        entries.append((key, key + u16(len(offsets)) + u32(len(data))))
        data += b''.join(u32(o) for o in offsets)
    tree = build_btree(entries, 0x0800, 'F24')
    kwmap = b''.join(u32(before) + u16(page) for before, page in leaf_page_numbers(tree))
    return tree, data, kwmap
