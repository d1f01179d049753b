"""Tests of the help compiler: every structure it writes is read back by the
independent reader in hlpdump.py (beside this file), which walks the file by the format's rules."""

import os
import random
import re
import struct
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))

import hlpc  # noqa: E402
import hlpdump  # noqa: E402
import hlpformat as fmt  # noqa: E402
import sjis_text  # noqa: E402


def signed32(v):
    v &= 0xFFFFFFFF
    return v - (1 << 32) if v >= 1 << 31 else v


class ContextHash(unittest.TestCase):
    def test_character_values_follow_the_documented_table(self):
        # Digits 1-9 count as themselves, 0 as 10, "." 12, "_" 13, letters
        # 17 to 42 whatever their case.
        cases = {'1': 1, '9': 9, '0': 10, '.': 12, '_': 13, 'A': 17, 'a': 17, 'Z': 42, 'z': 42}
        for name, value in cases.items():
            self.assertEqual(fmt.context_hash(name), value, name)

    def test_each_character_multiplies_the_hash_by_43(self):
        self.assertEqual(fmt.context_hash('ab'), 17 * 43 + 18)
        self.assertEqual(fmt.context_hash('a1_'), (17 * 43 + 1) * 43 + 13)
        self.assertEqual(fmt.context_hash('Contents'), fmt.context_hash('CONTENTS'))

    def test_long_names_wrap_to_a_signed_32_bit_value(self):
        name = 'copy_dialog_of_the_copier'
        values = [fmt._hash_value(c) for c in name]
        polynomial = sum(v * 43 ** (len(values) - 1 - i) for i, v in enumerate(values))
        self.assertEqual(fmt.context_hash(name), signed32(polynomial))
        # Past 2^31 the value is negative, as the viewer's signed arithmetic has it.
        self.assertEqual(fmt.context_hash('copy_dialog'), -1191427536)

    def test_names_outside_the_alphabet_are_refused(self):
        for name in ('', 'two words', 'ä', 'a-b'):
            with self.assertRaises(fmt.HelpFormatError, msg=name):
                fmt.context_hash(name)


class Lz77(unittest.TestCase):
    def round_trip(self, data):
        packed = fmt.lz77_compress(data)
        self.assertEqual(hlpdump.decompress(packed), data)
        self.assertEqual(fmt.lz77_decompress(packed), data)
        return packed

    def test_round_trips(self):
        rng = random.Random(7)
        samples = [
            b'',
            b'a',
            b'abc' * 2000,                                   # overlapping references
            bytes(rng.randrange(256) for _ in range(5000)),  # nothing to match
            'スキャンモードとスキャン速度。'.encode('cp932') * 300,
            bytes(rng.choice(b'ab') for _ in range(9000)),   # references at the window's edge
        ]
        for data in samples:
            self.round_trip(data)

    def test_repetition_shrinks(self):
        self.assertLess(len(self.round_trip(b'\0' * 16384)), 16384 // 8)

    def test_decodes_a_hand_made_stream(self):
        # Flags 0b010: a literal "a", then a reference of length 3 at distance 1.
        self.assertEqual(fmt.lz77_decompress(bytes([0x02, ord('a'), 0x00, 0x00])), b'aaaa')
        with self.assertRaises(fmt.HelpFormatError):
            fmt.lz77_decompress(bytes([0x01, 0x05, 0x00]))   # reaches before the start


class CompressedNumbers(unittest.TestCase):
    def test_unsigned_short(self):
        for v in (0, 1, 127, 128, 300, 0x7FFF):
            data = fmt.compressed_ushort(v)
            self.assertEqual(len(data), 1 if v < 128 else 2)
            self.assertEqual(hlpdump.read_cushort(data + b'\xff', 0), (v, len(data)))
        with self.assertRaises(fmt.HelpFormatError):
            fmt.compressed_ushort(0x8000)

    def test_signed_short(self):
        for v in (-64, -1, 0, 63, 64, -65, 200, -16384, 16383):
            data = fmt.compressed_short(v)
            self.assertEqual(len(data), 1 if -64 <= v < 64 else 2)
            self.assertEqual(hlpdump.read_cshort(data + b'\xff', 0), (v, len(data)))
        with self.assertRaises(fmt.HelpFormatError):
            fmt.compressed_short(16384)

    def test_signed_long(self):
        for v in (0, 1, -16384, 16383, 4000):
            data = fmt.compressed_long(v)
            self.assertEqual(hlpdump.read_clong(data + b'\xff\xff', 0), (v, 2))
        with self.assertRaises(fmt.HelpFormatError):
            fmt.compressed_long(16384)


class BTree(unittest.TestCase):
    @staticmethod
    def string_tree(words, page_size):
        entries = []
        for w in sorted(words):
            key = w + b'\0'
            entries.append((key, key + struct.pack('<I', len(w))))
        return fmt.build_btree(entries, page_size, 'z4')

    def search(self, tree, word):
        def compare(page, o):
            other = page[o:page.index(b'\0', o)]
            return (other > word) - (other < word)
        return tree.search(compare, lambda p, o: p.index(b'\0', o) - o + 5)

    def test_many_entries_make_several_levels_and_are_all_found(self):
        words = [('key%05d' % (i * 7)).encode() for i in range(600)]
        tree = hlpdump.BTree(self.string_tree(words, 128), lambda p, o: p.index(b'\0', o) - o + 1)
        self.assertGreaterEqual(tree.levels, 3)
        records = tree.leaf_entries(lambda p, o: p.index(b'\0', o) - o + 5)
        self.assertEqual([r.split(b'\0')[0] for r in records], sorted(words))
        for w in words:
            record = self.search(tree, w)
            self.assertIsNotNone(record, w)
            self.assertEqual(struct.unpack_from('<I', record, len(w) + 1)[0], len(w))
        for absent in (b'a', b'key00001', b'key99999', b'zzz'):
            self.assertIsNone(self.search(tree, absent), absent)

    def test_one_page_and_empty_trees(self):
        tree = hlpdump.BTree(self.string_tree([b'only'], 1024), lambda p, o: 5)
        self.assertEqual((tree.levels, tree.total_pages, tree.count), (1, 1, 1))
        self.assertIsNotNone(self.search(tree, b'only'))
        empty = hlpdump.BTree(self.string_tree([], 1024), lambda p, o: 5)
        self.assertEqual(empty.count, 0)
        self.assertIsNone(self.search(empty, b'only'))

    def test_leaf_map_counts_the_entries_before_each_leaf(self):
        words = [('w%03d' % i).encode() for i in range(100)]
        data = self.string_tree(words, 64)
        pages = fmt.leaf_page_numbers(data)
        self.assertEqual(pages[0], (0, 0))
        counts = [b - a for (a, _), (b, _) in zip(pages, pages[1:])]
        self.assertTrue(all(c > 0 for c in counts))
        self.assertLess(pages[-1][0], 100)


class FileSystem(unittest.TestCase):
    def test_directory_finds_every_internal_file(self):
        files = {'|SYSTEM': b'system', '|TOPIC': b'', '|bm1': b'\x01' * 3000,
                 '|CONTEXT': b'context'}
        fs = hlpdump.FileSystem(fmt.build_help_file(files))
        self.assertEqual(set(fs.files), set(files))
        for name, content in files.items():
            self.assertEqual(fs.file(name), content, name)
        self.assertIsNone(fs.file('|MISSING'))


class System(unittest.TestCase):
    def test_records_read_back(self):
        title = 'ヘルプ'.encode('cp932')
        data = fmt.build_system(title, 0x1234, 1000, config_macros=[b'BrowseButtons()'],
                                window_caption=title, cnt_name=b'Kopiwa.cnt')
        fs = fmt.build_help_file({'|SYSTEM': data})
        h = hlpdump.FileSystem(fs)
        s = h.file('|SYSTEM')
        self.assertEqual(struct.unpack_from('<HHHIH', s, 0), (0x036C, 33, 1, 1000, 4))
        records = {}
        o = 12
        while o < len(s):
            kind, size = struct.unpack_from('<HH', s, o)
            records.setdefault(kind, []).append(s[o + 4:o + 4 + size])
            o += 4 + size
        self.assertEqual(records[1], [title + b'\0'])
        self.assertEqual(struct.unpack('<I', records[3][0])[0], 0x1234)
        self.assertEqual(records[4], [b'BrowseButtons()\0'])
        window = records[6][0]
        self.assertEqual(len(window), 90)
        self.assertEqual(window[12:21].rstrip(b'\0'), b'main')
        self.assertEqual(window[21:72].rstrip(b'\0'), title)
        self.assertEqual(struct.unpack('<H', records[9][0][:2])[0], 0x0411)
        self.assertEqual(records[10], [b'Kopiwa.cnt\0'])
        self.assertEqual(struct.unpack('<H', records[11][0])[0], 128)   # Shift-JIS


SAMPLE = '''\
@help-title 試験ヘルプ
@contents-topic top
@macro BrowseButtons()
@book 1 本
@topic top
@title 最初
@toc 2
@keywords 始め; Alpha
@map 7
表示の前に**太字**と[[次のページ|second]]へのジャンプ。
- 箇条書き
1. 番号付き
> 字下げ
## 見出し
@topic second
@title 二番目
@toc 1
@map 0x20066
[[最初に戻る|top]]
'''


def compile_source(source, cnt_name='t.cnt'):
    doc = hlpc.parse_source(source)
    return doc, hlpdump.HelpFile(hlpc.compile_help(doc, 0, cnt_name))


class Topics(unittest.TestCase):
    def test_small_document_reads_back(self):
        doc, h = compile_source(SAMPLE)
        self.assertEqual([t['title'].decode('cp932') for t in h.topics], ['最初', '二番目'])
        top, second = h.topics
        self.assertEqual(h.contents_offset, top['offset'])
        self.assertEqual(h.ctxomap(), {7: top['offset'], 0x20066: second['offset']})
        self.assertEqual(h.context_offset(fmt.context_hash('top')), top['offset'])
        self.assertEqual(h.context_offset(fmt.context_hash('SECOND')), second['offset'])
        self.assertIsNone(h.context_offset(fmt.context_hash('third')))
        self.assertEqual(h.titles(), [(top['offset'], '最初'.encode('cp932')),
                                      (second['offset'], '二番目'.encode('cp932'))])
        self.assertEqual(h.keywords(), {b'Alpha': [top['offset']],
                                        '始め'.encode('cp932'): [top['offset']]})
        text = [p.decode('cp932') for p in top['paragraphs']]
        self.assertEqual(text[0], '最初\n')          # every topic opens with its title
        self.assertEqual(text[1], '表示の前に太字と次のページへのジャンプ。\n')
        self.assertEqual(text[2:5], ['・箇条書き\n', '1. 番号付き\n', '字下げ\n'])
        self.assertEqual(top['jumps'], [fmt.context_hash('second')])
        self.assertEqual(second['jumps'], [fmt.context_hash('top')])
        self.assertEqual(h.windows()[0]['caption'].decode('cp932'), '試験ヘルプ')
        self.assertEqual(h.charset, 128)
        fonts = h.fonts()
        self.assertEqual(fonts[0]['face'].decode('cp932'), 'ＭＳ Ｐゴシック')
        self.assertEqual(fonts[0]['half_points'], 20)

    def test_many_topics_span_blocks_and_every_offset_agrees(self):
        rng = random.Random(3)
        kana = 'あいうえおかきくけこさしすせそたちつてとなにぬねのアイウエオ漢字表示能力予定'
        lines = ['@help-title 大きなヘルプ']
        for i in range(80):
            lines += ['@topic t%d' % i, '@title 題%d' % i, '@map %d' % (1000 + i),
                      '@keywords 語%d' % i]
            for _ in range(8):
                lines.append(''.join(rng.choice(kana) for _ in range(rng.randrange(20, 200))))
            lines.append('[[次|t%d]]' % ((i + 1) % 80))
        doc, h = compile_source('\n'.join(lines))

        self.assertGreater(len(h.blocks), 4)
        for header, data in h.blocks:
            self.assertLessEqual(len(data), 0x4000 + 4084)   # the zero fill decompresses too
        raw = h.file('|TOPIC')
        self.assertEqual(len(raw) % 4096, 0)

        self.assertEqual(len(h.topics), 80)
        offsets = [t['offset'] for t in h.topics]
        self.assertEqual(len(set(offsets)), 80)
        keywords = h.keywords()
        context_numbers = h.ctxomap()
        for i, topic in enumerate(h.topics):
            self.assertEqual(topic['title'].decode('cp932'), '題%d' % i)
            # What the reader counted is what the lookup files hold.
            self.assertEqual(h.context_offset(fmt.context_hash('t%d' % i)), topic['offset'])
            self.assertEqual(context_numbers[1000 + i], topic['offset'])
            self.assertEqual(keywords[('語%d' % i).encode('cp932')], [topic['offset']])
            # Browse sequence and next-topic links of the topic header.
            size, back, forward, number, non_scroll, scroll, next_topic = \
                struct.unpack('<7I', topic['header'])
            self.assertEqual(number, i)
            self.assertEqual(back, offsets[i - 1] if i else 0xFFFFFFFF)
            self.assertEqual(forward, offsets[i + 1] if i < 79 else 0xFFFFFFFF)
            self.assertEqual(next_topic, h.topics[i + 1]['position'] if i < 79 else 0xFFFFFFFF)
            self.assertEqual(non_scroll, 0xFFFFFFFF)
            self.assertNotEqual(scroll, 0xFFFFFFFF)
            self.assertEqual(h.context_offset(topic['jumps'][0]), offsets[(i + 1) % 80])
        self.assertEqual([o for o, _ in h.titles()], sorted(offsets))

    def test_block_headers_point_at_records(self):
        lines = ['@help-title x']
        for i in range(40):
            lines += ['@topic t%d' % i, '@title t%d' % i] + \
                     [('%d' % (i * 31 + j)) * 60 for j in range(10)]
        _, h = compile_source('\n'.join(lines))
        starts = [t['position'] for t in h.topics]
        previous_last = 0xFFFFFFFF
        for number, (header, data) in enumerate(h.blocks):
            last_link, first_link, last_topic = header
            self.assertEqual(last_link, previous_last)
            self.assertEqual((first_link - 12) // 0x4000, number)
            before = [p for p in starts if (p - 12) // 0x4000 < number]
            self.assertEqual(last_topic, before[-1] if before else 0xFFFFFFFF)
            # The last record of this block is where the next block's header points back.
            position = first_link
            while True:
                following = struct.unpack_from('<I', data, (position - 12) % 0x4000 + 12)[0]
                if following == 0xFFFFFFFF or (following - 12) // 0x4000 != number:
                    break
                position = following
            previous_last = position


class SourceErrors(unittest.TestCase):
    def expect_error(self, source, line, words):
        with self.assertRaises(hlpc.SourceError) as caught:
            hlpc.parse_source(source)
        self.assertEqual(caught.exception.line, line, str(caught.exception))
        self.assertIn(words, str(caught.exception))

    def test_broken_sources_are_refused_with_their_line(self):
        head = '@help-title t\n'
        self.expect_error(head + '@topic a\n@title A\n[[x|nowhere]]\n', 4, 'unknown topic')
        self.expect_error(head + '@topic a\n@title A\ntext\n@topic A\n@title B\nx\n', 5,
                          'defined twice')
        self.expect_error(head + '@topic a\ntext\n', 2, 'no @title')
        self.expect_error(head + 'text\n', 2, 'before the first @topic')
        self.expect_error(head + '@topic a-b\n', 2, 'context name')
        self.expect_error(head + '@topic a\n@title A\n@map 5\nx\n@topic b\n@title B\n@map 5\nx\n',
                          6, 'used twice')
        self.expect_error(head + '@topic a\n@title A\n@colour red\n', 4, 'unknown directive')
        self.expect_error('@topic a\n@title A\nx\n', 0, '@help-title')

    def test_characters_without_shift_jis_form_are_refused(self):
        # U+2014 EM DASH has no place in code page 932 (its dash is U+2015).
        doc = hlpc.parse_source('@help-title t\n@topic a\n@title A\n25\u2014400\n')
        with self.assertRaises(hlpc.SourceError) as caught:
            hlpc.compile_help(doc, 0)
        self.assertEqual(caught.exception.line, 4)


class ContentsFile(unittest.TestCase):
    def test_books_and_topics_in_source_order(self):
        doc = hlpc.parse_source(SAMPLE)
        data = hlpc.contents_file(doc, 'T.HLP')
        self.assertNotIn(b'\n', data.replace(b'\r\n', b''))
        lines = data.decode('cp932').split('\r\n')
        self.assertEqual(lines, [':Base T.HLP', ':Title 試験ヘルプ', '1 本', '2 最初=top',
                                 '1 二番目=second', ''])


class ShiftJisText(unittest.TestCase):
    def test_recodes_with_cr_lf(self):
        data = sjis_text.to_sjis('表示\nｺﾋﾟｰ  \r\nC:\\Program Files\n')
        self.assertEqual(data, b'\x95\x5c\x8e\xa6\r\n\xba\xcb\xdf\xb0\r\nC:\\Program Files\r\n')
        self.assertEqual(sjis_text.to_sjis('no final newline'), b'no final newline\r\n')

    def test_refuses_characters_without_shift_jis_form(self):
        with self.assertRaises(sjis_text.TextError) as caught:
            sjis_text.to_sjis('ok\n25\u2014400\n')
        self.assertIn('line 2', str(caught.exception))


SOURCE = os.path.join(os.path.dirname(HERE), 'kopiwa_help.txt')
README = os.path.join(os.path.dirname(HERE), 'readme.txt')


class ShippedHelp(unittest.TestCase):
    """The copier's own help: what the program asks of it, and what the
    viewer under Wine cannot cope with."""

    @classmethod
    def setUpClass(cls):
        with open(SOURCE, encoding='utf-8') as f:
            cls.doc, cls.help = compile_source(f.read(), 'Kopiwa.cnt')

    def title_at(self, offset):
        return self.help.topic_at(offset)['title'].decode('cp932')

    def test_contents_and_the_copy_dialogs_context_number(self):
        self.assertEqual(self.title_at(self.help.contents_offset), '目次')
        self.assertEqual(self.title_at(self.help.ctxomap()[0x20066]), 'KOPIWAの画面')
        self.assertEqual(self.help.windows()[0]['caption'].decode('cp932'), 'KOPIWA ヘルプ')

    def test_every_jump_lands_on_a_topic(self):
        for topic in self.help.topics:
            for h in topic['jumps']:
                offset = self.help.context_offset(h)
                self.assertIsNotNone(offset, topic['title'].decode('cp932'))
                self.assertIsNotNone(self.help.topic_at(offset))

    def test_each_keyword_names_one_topic(self):
        # Wine's index refuses keywords with more than one topic.
        for word, offsets in self.help.keywords().items():
            self.assertEqual(len(offsets), 1, word.decode('cp932'))

    def test_every_topic_is_in_the_contents_file(self):
        listed = {t.name for kind, _, t in self.doc.toc if kind == 'topic'}
        self.assertEqual(listed, {t.name for t in self.doc.topics})

    def test_settings_keys_are_described(self):
        text = ''.join(p.decode('cp932') for t in self.help.topics for p in t['paragraphs'])
        for words in ('HKEY_CURRENT_USER\\Software\\Harbel\\Kopiwa\\Status',
                      'HKEY_CURRENT_USER\\Software\\Harbel\\Kopiwa\\Printer',
                      'Scale', 'ColorSelect', 'SpeedSelect', 'UISelect', 'XPos',
                      'Hbuninst.exe" -u', '25 から 400 までの整数を入力してください。'):
            self.assertIn(words, text)


class BuiltDocuments(unittest.TestCase):
    """The files that the build put into the distribution folder."""

    def setUp(self):
        self.dist = os.environ.get('KOPIWA_DIST_DIR')
        if not self.dist:
            self.skipTest('KOPIWA_DIST_DIR is not set (run through ctest)')

    def read(self, name):
        with open(os.path.join(self.dist, name), 'rb') as f:
            return f.read()

    def test_contents_file_agrees_with_the_help_file(self):
        h = hlpdump.HelpFile(self.read('Kopiwa.hlp'))
        cnt = self.read('Kopiwa.cnt')
        self.assertTrue(cnt.endswith(b'\r\n'))
        self.assertNotIn(b'\n', cnt.replace(b'\r\n', b''))
        lines = cnt.decode('cp932').split('\r\n')[:-1]
        self.assertEqual(lines[0], ':Base Kopiwa.hlp')
        self.assertEqual(lines[1], ':Title ' + h.title.decode('cp932'))
        self.assertEqual([d for k, d in h.records if k == 10], [b'Kopiwa.cnt\0'])
        topics = 0
        for line in lines[2:]:
            level, _, rest = line.partition(' ')
            self.assertTrue(level.isdigit(), line)
            if '=' in rest:
                title, _, context = rest.rpartition('=')
                offset = h.context_offset(fmt.context_hash(context))
                self.assertIsNotNone(offset, line)
                self.assertEqual(h.topic_at(offset)['title'].decode('cp932'), title)
                topics += 1
        self.assertEqual(topics, len(h.topics))

    def chm_file(self, name):
        """An internal file of Kopiwa.chm as chmls extracts it."""
        with tempfile.TemporaryDirectory() as folder:
            out = os.path.join(folder, 'out')
            subprocess.run(['chmls', 'extract', os.path.join(self.dist, 'Kopiwa.chm'), name, out],
                           check=True, capture_output=True, env=dict(os.environ, LC_ALL='C'))
            with open(out, 'rb') as f:
                return f.read()

    def test_compiled_html_help_maps_each_context_number_to_the_same_topic(self):
        # Each page's title, its topic's in the help file; the context numbers
        # go through the string table to a page inside the file.
        h = hlpdump.HelpFile(self.read('Kopiwa.hlp'))
        title = lambda page: re.search('<h1>(.*)</h1>', self.chm_file(page).decode('cp932')).group(1)
        pages = ['/' + t.name.lower() + '.htm' for t in hlpc.read_source(SOURCE).topics]
        self.assertEqual(sorted(title(p) for p in pages), sorted(t['title'].decode('cp932') for t in h.topics))
        ivb, strings = self.chm_file('/#IVB'), self.chm_file('/#STRINGS')
        mapped = {number: title(strings[offset:strings.index(b'\0', offset)].decode('ascii'))
                  for number, offset in struct.iter_unpack('<II', ivb[4:4 + struct.unpack_from('<I', ivb)[0]])}
        self.assertEqual(mapped, {n: h.topic_at(o)['title'].decode('cp932') for n, o in h.ctxomap().items()})
        self.assertIn(b'contents.htm', self.chm_file('/#SYSTEM'), 'the contents topic opens first')

    def test_readme_is_shift_jis_with_cr_lf(self):
        data = self.read('Readme.txt')
        self.assertNotIn(b'\n', data.replace(b'\r\n', b''))
        self.assertTrue(data.endswith(b'\r\n'))
        text = data.decode('cp932')
        with open(README, encoding='utf-8') as f:
            self.assertEqual(text.replace('\r\n', '\n'),
                             '\n'.join(l.rstrip() for l in f.read().splitlines()) + '\n')
        for words in ('Setup.exe', 'Setup.exe -s', 'Hbuninst.exe" -u',
                      'C:\\Program Files\\Harbel\\Kopiwa', 'アプリケーションの追加と削除',
                      'Software\\Harbel\\Kopiwa\\Status', 'Windows NT 4.0', 'TWAIN'):
            self.assertIn(words, text)
        # The programs need no C runtime DLL, so the read-me asks for none.
        self.assertNotIn('MSVCRT', text)


if __name__ == '__main__':
    unittest.main()
