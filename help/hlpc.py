#!/usr/bin/env python3
"""Compiles the copier's help source (UTF-8 text, format below) into a WinHelp
help file and the matching WinHelp 4 contents file, both in Shift-JIS.

Source format, one directive or paragraph per line:

    ; a comment line
    @help-title TEXT        title of the help file and caption of its window
    @contents-topic NAME    the topic shown first (Help Topics, Contents)
    @face NAME              the font face of all text
    @macro MACRO            a help macro run when the file opens
    @book LEVEL TEXT        a heading of the contents file, at this place
    @topic NAME             starts a topic with this context name
    @title TEXT             the topic's title (shown at its top, in lists)
    @toc LEVEL              the topic's line in the contents file
    @keywords A; B; C       index keywords of the topic
    @map NUMBER             the application's context number for the topic

Topic body: each other non-blank line is one paragraph.
    ## TEXT                 a sub-heading
    - TEXT                  a bulleted item
    1. TEXT                 a numbered item (the number is kept as written)
    > TEXT                  an indented paragraph
    **TEXT**                bold, inside any paragraph
    [[TEXT|NAME]]           a jump to the topic NAME
"""

import argparse
import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import hlpformat as fmt  # noqa: E402

ENCODING = 'cp932'

FONT_BODY = 0
FONT_TITLE = 1
FONT_HEADING = 2
FONT_BOLD = 3

# Spacing and indents are in half-points.
SPACE_PARAGRAPH = 6
SPACE_HEADING = 16
SPACE_AFTER_TITLE = 8
LIST_INDENT = 24
QUOTE_INDENT = 24


class SourceError(Exception):
    def __init__(self, line, message):
        super().__init__('line %d: %s' % (line, message) if line else message)
        self.line = line


def encode(text, line):
    try:
        return text.encode(ENCODING)
    except UnicodeEncodeError as e:
        raise SourceError(line, 'character %r has no Shift-JIS form' % text[e.start])


class Topic:
    def __init__(self, name, line):
        self.name = name
        self.line = line
        self.title = None
        self.toc_level = None
        self.keywords = []
        self.map_numbers = []
        self.body = []          # (line number, text)


class Document:
    def __init__(self):
        self.help_title = None
        self.contents_topic = None
        self.face = 'ＭＳ Ｐゴシック'
        self.macros = []
        self.topics = []
        self.toc = []           # ('book', level, text) or ('topic', level, Topic)


def parse_source(text):
    doc = Document()
    topic = None
    for number, raw in enumerate(text.splitlines(), start=1):
        line = raw.rstrip()
        if not line.strip() or line.lstrip().startswith(';'):
            continue
        if line.startswith('@'):
            keyword, _, value = line[1:].partition(' ')
            value = value.strip()
            topic = _directive(doc, topic, keyword, value, number)
        elif topic is None:
            raise SourceError(number, 'text before the first @topic')
        else:
            topic.body.append((number, line))
    _check(doc)
    return doc


def read_source(path):
    """The help source at `path` (UTF-8), parsed."""
    with open(path, encoding='utf-8') as f:
        return parse_source(f.read())


def _level(value, number):
    if not value.isdigit() or not 1 <= int(value) <= 9:
        raise SourceError(number, 'contents level must be 1 to 9')
    return int(value)


def _directive(doc, topic, keyword, value, number):
    if keyword == 'topic':
        if not fmt.is_valid_context_name(value):
            raise SourceError(number, 'context name may hold only A-Z, a-z, 0-9, "." and "_"')
        topic = Topic(value, number)
        doc.topics.append(topic)
        return topic
    if keyword == 'book':
        level, _, title = value.partition(' ')
        if not title.strip():
            raise SourceError(number, '@book needs a level and a text')
        doc.toc.append(('book', _level(level, number), title.strip()))
        return topic
    file_level = {'help-title': 'help_title', 'contents-topic': 'contents_topic', 'face': 'face'}
    if keyword in file_level:
        if not value:
            raise SourceError(number, '@%s needs a value' % keyword)
        setattr(doc, file_level[keyword], value)
        return topic
    if keyword == 'macro':
        doc.macros.append(value)
        return topic
    if topic is None:
        raise SourceError(number, '@%s belongs inside a topic' % keyword)
    if keyword == 'title':
        topic.title = value
    elif keyword == 'toc':
        topic.toc_level = _level(value, number)
        doc.toc.append(('topic', topic.toc_level, topic))
    elif keyword == 'keywords':
        topic.keywords += [k.strip() for k in value.split(';') if k.strip()]
    elif keyword == 'map':
        try:
            topic.map_numbers.append(int(value, 0))
        except ValueError:
            raise SourceError(number, 'context number expected')
    else:
        raise SourceError(number, 'unknown directive @%s' % keyword)
    return topic


JUMP = re.compile(r'\[\[([^\]|]+)\|([^\]]+)\]\]')


def _check(doc):
    if not doc.help_title:
        raise SourceError(0, '@help-title is missing')
    if not doc.topics:
        raise SourceError(0, 'no topics')
    names = {}
    numbers = {}
    hashes = {}
    for topic in doc.topics:
        key = topic.name.lower()
        if key in names:
            raise SourceError(topic.line, 'topic %s defined twice' % topic.name)
        names[key] = topic
        h = fmt.context_hash(topic.name)
        if h in hashes:
            raise SourceError(topic.line, 'context names %s and %s hash alike'
                              % (hashes[h].name, topic.name))
        hashes[h] = topic
        if not topic.title:
            raise SourceError(topic.line, 'topic %s has no @title' % topic.name)
        if not topic.body:
            raise SourceError(topic.line, 'topic %s has no text' % topic.name)
        for n in topic.map_numbers:
            if n in numbers:
                raise SourceError(topic.line, 'context number %#x used twice' % n)
            numbers[n] = topic
    if doc.contents_topic and doc.contents_topic.lower() not in names:
        raise SourceError(0, 'contents topic %s does not exist' % doc.contents_topic)
    for topic in doc.topics:
        for number, line in topic.body:
            for match in JUMP.finditer(line):
                if match.group(2).strip().lower() not in names:
                    raise SourceError(number, 'jump to unknown topic %s' % match.group(2))


# --- building paragraphs --------------------------------------------------------

INLINE = re.compile(r'(\[\[[^\]|]+\|[^\]]+\]\]|\*\*[^*]+\*\*)')


def _inline(paragraph, text, number, base_font):
    for piece in INLINE.split(text):
        if not piece:
            continue
        jump = JUMP.fullmatch(piece)
        if jump:
            paragraph.jump(jump.group(2).strip(), encode(jump.group(1), number), base_font)
        elif piece.startswith('**') and piece.endswith('**') and len(piece) > 4:
            paragraph.font(FONT_BOLD)
            paragraph.text(encode(piece[2:-2], number))
            paragraph.font(base_font)
        else:
            paragraph.text(encode(piece, number))


NUMBERED = re.compile(r'(\d+\.)\s+(.*)')


def build_paragraphs(topic):
    title = fmt.Paragraph(FONT_TITLE, space_below=SPACE_AFTER_TITLE)
    title.text(encode(topic.title, topic.line))
    paragraphs = [title]
    for number, line in topic.body:
        numbered = NUMBERED.fullmatch(line)
        if line.startswith('## '):
            p = fmt.Paragraph(FONT_HEADING, space_above=SPACE_HEADING)
            _inline(p, line[3:].strip(), number, FONT_HEADING)
        elif line.startswith('- '):
            p = fmt.Paragraph(FONT_BODY, space_above=SPACE_PARAGRAPH,
                              left_indent=LIST_INDENT, first_line_indent=-LIST_INDENT // 2)
            _inline(p, '・' + line[2:].strip(), number, FONT_BODY)
        elif numbered:
            p = fmt.Paragraph(FONT_BODY, space_above=SPACE_PARAGRAPH,
                              left_indent=LIST_INDENT, first_line_indent=-LIST_INDENT // 2)
            _inline(p, numbered.group(1) + ' ' + numbered.group(2).strip(), number, FONT_BODY)
        elif line.startswith('> '):
            p = fmt.Paragraph(FONT_BODY, space_above=SPACE_PARAGRAPH, left_indent=QUOTE_INDENT)
            _inline(p, line[2:].strip(), number, FONT_BODY)
        else:
            p = fmt.Paragraph(FONT_BODY, space_above=SPACE_PARAGRAPH)
            _inline(p, line.strip(), number, FONT_BODY)
        paragraphs.append(p)
    return paragraphs


def fonts(face):
    face = encode(face, 0)
    black = (0, 0, 0)
    descriptors = [
        {'attributes': 0, 'half_points': 20, 'family': fmt.FAMILY_SWISS, 'face': 0,
         'color': black},
        {'attributes': fmt.FONT_BOLD, 'half_points': 28, 'family': fmt.FAMILY_SWISS,
         'face': 0, 'color': (0, 0, 128)},
        {'attributes': fmt.FONT_BOLD, 'half_points': 22, 'family': fmt.FAMILY_SWISS,
         'face': 0, 'color': (0, 64, 128)},
        {'attributes': fmt.FONT_BOLD, 'half_points': 20, 'family': fmt.FAMILY_SWISS,
         'face': 0, 'color': black},
    ]
    return fmt.build_font([face], descriptors)


# --- output files ---------------------------------------------------------------

def compile_help(doc, gen_date, cnt_name=None):
    """The help file's bytes."""
    layout = fmt.TopicLayout([
        (encode(t.title, t.line), [], build_paragraphs(t)) for t in doc.topics])
    topic_data = layout.build()
    offsets = {t.name.lower(): o for t, o in zip(doc.topics, layout.topic_offsets())}

    contents = doc.contents_topic or doc.topics[0].name
    title = encode(doc.help_title, 0)
    system = fmt.build_system(
        title, offsets[contents.lower()], gen_date,
        config_macros=[encode(m, 0) for m in doc.macros],
        window_caption=title,
        cnt_name=encode(cnt_name, 0) if cnt_name else None)

    keywords = {}
    for topic in doc.topics:
        for k in topic.keywords:
            keywords.setdefault(encode(k, topic.line), []).append(offsets[topic.name.lower()])
    kwbtree, kwdata, kwmap = fmt.build_keywords(keywords)

    files = {
        '|SYSTEM': system,
        '|TOPIC': topic_data,
        '|FONT': fonts(doc.face),
        '|CONTEXT': fmt.build_context(
            [(fmt.context_hash(t.name), offsets[t.name.lower()]) for t in doc.topics]),
        '|CTXOMAP': fmt.build_ctxomap(
            [(n, offsets[t.name.lower()]) for t in doc.topics for n in t.map_numbers]),
        '|TTLBTREE': fmt.build_ttlbtree(
            [(offsets[t.name.lower()], encode(t.title, t.line)) for t in doc.topics]),
        '|KWBTREE': kwbtree,
        '|KWDATA': kwdata,
        '|KWMAP': kwmap,
    }
    return fmt.build_help_file(files)


def contents_file(doc, hlp_name):
    """The WinHelp 4 contents file: base file, title, then books (headings)
    and topic lines "level title=context" in source order."""
    lines = [':Base ' + hlp_name, ':Title ' + doc.help_title]
    for kind, level, item in doc.toc:
        if kind == 'book':
            lines.append('%d %s' % (level, item))
        else:
            lines.append('%d %s=%s' % (level, item.title, item.name))
    return encode('\r\n'.join(lines) + '\r\n', 0)


def generation_date(source_path):
    """Seconds since 1970: SOURCE_DATE_EPOCH when the build sets it (so that
    rebuilds are identical), else the source's modification time."""
    epoch = os.environ.get('SOURCE_DATE_EPOCH')
    if epoch and epoch.isdigit():
        return int(epoch) & 0xFFFFFFFF
    return int(os.path.getmtime(source_path)) & 0xFFFFFFFF


def write_file(path, data):
    with open(path + '.tmp', 'wb') as f:
        f.write(data)
    os.replace(path + '.tmp', path)


def main(argv=None):
    parser = argparse.ArgumentParser(description='Compile a help source into .hlp and .cnt')
    parser.add_argument('source')
    parser.add_argument('--hlp', required=True, help='help file to write')
    parser.add_argument('--cnt', help='contents file to write')
    args = parser.parse_args(argv)
    try:
        doc = read_source(args.source)
        cnt_name = os.path.basename(args.cnt) if args.cnt else None
        data = compile_help(doc, generation_date(args.source), cnt_name)
        write_file(args.hlp, data)
        if args.cnt:
            write_file(args.cnt, contents_file(doc, os.path.basename(args.hlp)))
    except (SourceError, fmt.HelpFormatError) as e:
        print('%s: %s' % (args.source, e), file=sys.stderr)
        return 1
    return 0


if __name__ == '__main__':
    sys.exit(main())
