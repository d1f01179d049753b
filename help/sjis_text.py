#!/usr/bin/env python3
"""Recodes a UTF-8 text file into the Shift-JIS text that Windows of the
copier's time reads: code page 932, CR LF line ends, a final line end. A
character without a Shift-JIS form stops the build with its line number,
rather than turning into a question mark in the shipped file."""

import os
import sys


class TextError(Exception):
    pass


def to_sjis(text):
    lines = text.replace('\r\n', '\n').replace('\r', '\n').split('\n')
    if lines and lines[-1] == '':
        lines.pop()
    out = []
    for number, line in enumerate(lines, start=1):
        line = line.rstrip()
        try:
            out.append(line.encode('cp932'))
        except UnicodeEncodeError as e:
            raise TextError('line %d: character %r has no Shift-JIS form'
                            % (number, line[e.start]))
    return b''.join(line + b'\r\n' for line in out)


def main(argv):
    if len(argv) != 3:
        print('usage: sjis_text.py INPUT.txt OUTPUT.txt', file=sys.stderr)
        return 2
    try:
        with open(argv[1], encoding='utf-8') as f:
            data = to_sjis(f.read())
    except (TextError, UnicodeDecodeError) as e:
        print('%s: %s' % (argv[1], e), file=sys.stderr)
        return 1
    with open(argv[2] + '.tmp', 'wb') as f:
        f.write(data)
    os.replace(argv[2] + '.tmp', argv[2])
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
