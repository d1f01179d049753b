#!/usr/bin/env python3
"""Compiles the copier's help source (the format read by hlpc.py) into a
compiled HTML Help file: one Shift-JIS page per topic, the contents (.hhc)
and index (.hhk) in the source's order, and the project (.hhp) whose [ALIAS]
and [MAP] sections carry the same context numbers as the WinHelp file, so the
copier asks both kinds of help for the same topics. The project is compiled
with chmcmd (Free Pascal's HTML Help compiler)."""

import argparse
import html
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import hlpc  # noqa: E402

ENCODING = 'cp932'
LANGUAGE = '0x411 Japanese'


def _head(*extra):
    """The start of a page in Shift-JIS, up to its body."""
    return (['<html><head>', '<meta http-equiv="Content-Type" content="text/html; charset=Shift_JIS">']
            + list(extra) + ['</head><body>'])


def page_name(topic_name):
    return topic_name.lower() + '.htm'


def _inline(text):
    """The paragraph's text with its bold runs and jumps as HTML."""
    out = []
    for piece in hlpc.INLINE.split(text):
        if not piece:
            continue
        jump = hlpc.JUMP.fullmatch(piece)
        if jump:
            out.append('<a href="%s">%s</a>' % (page_name(jump.group(2).strip()),
                                                html.escape(jump.group(1))))
        elif piece.startswith('**') and piece.endswith('**') and len(piece) > 4:
            out.append('<b>%s</b>' % html.escape(piece[2:-2]))
        else:
            out.append(html.escape(piece))
    return ''.join(out)


def topic_page(topic):
    """A topic as a page: its title, then its paragraphs in order; runs of
    bullets and of numbered items become lists."""
    lines = _head('<title>%s</title>' % html.escape(topic.title)) + ['<h1>%s</h1>' % html.escape(topic.title)]
    open_list = None
    for _, line in topic.body:
        numbered = hlpc.NUMBERED.fullmatch(line)
        kind = 'ul' if line.startswith('- ') else 'ol' if numbered else None
        if open_list and kind != open_list:
            lines.append('</%s>' % open_list)
            open_list = None
        if kind and not open_list:
            lines.append('<%s>' % kind)
            open_list = kind
        if line.startswith('## '):
            lines.append('<h2>%s</h2>' % _inline(line[3:].strip()))
        elif kind == 'ul':
            lines.append('<li>%s</li>' % _inline(line[2:].strip()))
        elif kind == 'ol':
            lines.append('<li value="%s">%s</li>' % (numbered.group(1)[:-1], _inline(numbered.group(2).strip())))
        elif line.startswith('> '):
            lines.append('<blockquote>%s</blockquote>' % _inline(line[2:].strip()))
        else:
            lines.append('<p>%s</p>' % _inline(line.strip()))
    if open_list:
        lines.append('</%s>' % open_list)
    lines.append('</body></html>')
    return '\r\n'.join(lines) + '\r\n'


def _sitemap_object(name, local=None):
    params = ['<param name="Name" value="%s">' % html.escape(name)]
    if local:
        params.append('<param name="Local" value="%s">' % local)
    return '<li><object type="text/sitemap">%s</object>' % ''.join(params)


def contents(doc):
    """The contents as nested lists: a book opens a level, a topic line at
    level n sits under the last book of level n - 1."""
    lines = _head() + ['<ul>']
    depth = 1
    for kind, level, item in doc.toc:
        # A book holds the lines after it; its own level is where it stands.
        stand = level
        while depth > stand:
            lines.append('</ul>')
            depth -= 1
        while depth < stand:
            lines.append('<ul>')
            depth += 1
        if kind == 'book':
            lines.append(_sitemap_object(item))
            lines.append('<ul>')
            depth += 1
        else:
            lines.append(_sitemap_object(item.title, page_name(item.name)))
    while depth > 0:
        lines.append('</ul>')
        depth -= 1
    lines.append('</body></html>')
    return '\r\n'.join(lines) + '\r\n'


def index(doc):
    """The keyword index: each keyword once, pointing at every topic with it."""
    keywords = {}
    for topic in doc.topics:
        for k in topic.keywords:
            keywords.setdefault(k, []).append(topic)
    lines = _head() + ['<ul>']
    for k in sorted(keywords):
        params = ['<param name="Name" value="%s">' % html.escape(k)]
        for topic in keywords[k]:
            params.append('<param name="Name" value="%s">' % html.escape(topic.title))
            params.append('<param name="Local" value="%s">' % page_name(topic.name))
        lines.append('<li><object type="text/sitemap">%s</object>' % ''.join(params))
    lines.append('</ul></body></html>')
    return '\r\n'.join(lines) + '\r\n'


def project(doc, chm_name):
    """The project: options, the pages, and the context numbers as aliases
    (a symbol per topic) with their values."""
    default = page_name(doc.contents_topic or doc.topics[0].name)
    lines = ['[OPTIONS]',
             'Compatibility=1.1 or later',
             'Compiled file=%s' % chm_name,
             'Contents file=contents.hhc',
             'Index file=index.hhk',
             'Default topic=%s' % default,
             'Display compile progress=No',
             'Full-text search=Yes',
             'Language=%s' % LANGUAGE,
             'Title=%s' % doc.help_title,
             '', '[FILES]']
    lines += [page_name(t.name) for t in doc.topics]
    mapped = [(t, n) for t in doc.topics for n in t.map_numbers]
    lines += ['', '[ALIAS]']
    lines += ['IDH_%X=%s' % (n, page_name(t.name)) for t, n in mapped]
    lines += ['', '[MAP]']
    lines += ['#define IDH_%X 0x%X' % (n, n) for _, n in mapped]
    # Line feeds alone: chmcmd keeps a carriage return in an alias's page name.
    return '\n'.join(lines) + '\n'


def write_project(doc, folder, chm_name):
    def write(name, text):
        with open(os.path.join(folder, name), 'wb') as f:
            f.write(hlpc.encode(text, 0))
    for topic in doc.topics:
        write(page_name(topic.name), topic_page(topic))
    write('contents.hhc', contents(doc))
    write('index.hhk', index(doc))
    write('project.hhp', project(doc, chm_name))


def _run_chmcmd(chmcmd, folder):
    """chmcmd with the project folder as the root of the file system: it
    stores a context number's page under the page's full path on disk, and
    only at the root is that the page's name inside the file ("/page.htm",
    which the help engine looks up). The root is made in a private mount
    namespace of the user's own (unshare), with the system's /usr and /etc
    bound in for the compiler and its libraries."""
    script = ('set -e; for d in usr etc; do mkdir -p "$1/$d"; mount --rbind "/$d" "$1/$d"; done; '
              'for l in bin lib lib64 sbin; do if [ -L "/$l" ]; then ln -sfn "usr/$l" "$1/$l"; fi; done; '
              'cd "$1"; chroot "$1" "$2" /project.hhp')
    return subprocess.run(['unshare', '--mount', '--map-root-user', 'sh', '-c', script, 'sh', folder, chmcmd],
                          capture_output=True, text=True, env=dict(os.environ, LC_ALL='C'))


def compile_chm(doc, output):
    chmcmd = shutil.which('chmcmd')
    if not chmcmd:
        raise hlpc.SourceError(0, 'chmcmd (package fp-utils) is not installed')
    chmcmd = os.path.realpath(chmcmd)
    with tempfile.TemporaryDirectory() as folder:
        name = os.path.basename(output)
        write_project(doc, folder, name)
        result = _run_chmcmd(chmcmd, folder)
        built = os.path.join(folder, name)
        if result.returncode != 0 or not os.path.exists(built):
            raise hlpc.SourceError(0, 'chmcmd failed:\n' + result.stdout + result.stderr)
        with open(built, 'rb') as f:
            hlpc.write_file(output, f.read())


def main(argv=None):
    parser = argparse.ArgumentParser(description='Compile a help source into a .chm file')
    parser.add_argument('source')
    parser.add_argument('--chm', required=True, help='compiled help file to write')
    parser.add_argument('--project', help='also keep the project in this folder')
    args = parser.parse_args(argv)
    try:
        doc = hlpc.read_source(args.source)
        if args.project:
            os.makedirs(args.project, exist_ok=True)
            write_project(doc, args.project, os.path.basename(args.chm))
        compile_chm(doc, args.chm)
    except hlpc.SourceError as e:
        print('%s: %s' % (args.source, e), file=sys.stderr)
        return 1
    return 0


if __name__ == '__main__':
    sys.exit(main())
